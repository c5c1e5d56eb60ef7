#include "ui/settings_print_cut_box.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace qel::ui {

namespace {

QLabel* pairedLabel(QWidget* parent, QWidget* field) {
  auto* l = new QLabel(parent);
  l->setBuddy(field);
  return l;
}

}  // namespace

PrintCutBox::PrintCutBox(QWidget* parent) : QGroupBox(parent) {
  // Two columns of "label, field, unit"; the lists below them, the job folder across.
  auto* grid = new QGridLayout(this);
  searchRadius_ = addFieldRow(grid, 0, searchRadiusLabel_, "searchRadius", QStringLiteral("mm"));
  minConfidence_ = addFieldRow(grid, 0, minConfidenceLabel_, "minConfidence", {}, 3);
  centreTolerance_ = addFieldRow(grid, 1, centreToleranceLabel_, "centreTolerance", QStringLiteral("px"));
  standStill_ = addFieldRow(grid, 1, standStillLabel_, "standStill", QStringLiteral("ms"), 3);
  segmentLength_ = addFieldRow(grid, 2, segmentLengthLabel_, "segmentLength", QStringLiteral("mm"));
  feedTimeout_ = addFieldRow(grid, 2, feedTimeoutLabel_, "feedTimeout", QStringLiteral("ms"), 3);

  unknownJob_ = namedCombo(this, "unknownJob");
  missingCode_ = namedCombo(this, "missingCode");
  for (QComboBox* c : {unknownJob_, missingCode_}) c->addItems({QString(), QString()});
  unknownJobLabel_ = pairedLabel(this, unknownJob_);
  missingCodeLabel_ = pairedLabel(this, missingCode_);
  grid->addWidget(unknownJobLabel_, 3, 0);
  grid->addWidget(unknownJob_, 3, 1, 1, 2);
  grid->addWidget(missingCodeLabel_, 3, 3);
  grid->addWidget(missingCode_, 3, 4, 1, 2);

  jobDir_ = namedField(this, "jobDir");
  jobDirLabel_ = pairedLabel(this, jobDir_);
  browse_ = new QPushButton(QStringLiteral("..."), this);
  browse_->setObjectName(QStringLiteral("browseJobDir"));
  browse_->setAutoDefault(false);
  auto* folder = new QHBoxLayout;
  folder->addWidget(jobDir_, 1);
  folder->addWidget(browse_);
  grid->addWidget(jobDirLabel_, 4, 0);
  grid->addLayout(folder, 4, 1, 1, 5);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(4, 1);

  connect(browse_, &QPushButton::clicked, this, &PrintCutBox::chooseJobDir);
  retranslate();
}

void PrintCutBox::retranslate() {
  setTitle(tr("Print and cut"));
  searchRadiusLabel_->setText(tr("Search radius:"));
  searchRadiusLabel_->setToolTip(
      tr("A mark not at its predicted place is searched for out to this distance; a first mark further off is not used"));
  minConfidenceLabel_->setText(tr("Min confidence:"));
  minConfidenceLabel_->setToolTip(tr("A mark measured with less confidence (0 to 1) is measured again"));
  centreToleranceLabel_->setText(tr("Centre tolerance:"));
  centreToleranceLabel_->setToolTip(
      tr("A mark this close to the picture's centre is taken where it lies; 0 always centres the head over it"));
  standStillLabel_->setText(tr("Stand still:"));
  standStillLabel_->setToolTip(tr("The head counts as standing when two position reads this far apart agree"));
  segmentLengthLabel_->setText(tr("Segment length:"));
  segmentLengthLabel_->setToolTip(tr("Long media are registered in segments of this length; 0 registers the plate as a whole"));
  feedTimeoutLabel_->setText(tr("Feed timeout:"));
  feedTimeoutLabel_->setToolTip(tr("The run stops when the sheet feeder has not answered within this time"));
  unknownJobLabel_->setText(tr("Unknown job:"));
  unknownJobLabel_->setToolTip(tr("A sheet whose code names no job in the job folder"));
  missingCodeLabel_->setText(tr("No code:"));
  missingCodeLabel_->setToolTip(tr("A sheet with marks but no job code"));
  for (QComboBox* c : {unknownJob_, missingCode_}) {
    c->setItemText(static_cast<int>(SheetFault::StopRun), tr("Stop the run"));
    c->setItemText(static_cast<int>(SheetFault::SkipSheet), tr("Skip the sheet"));
  }
  jobDirLabel_->setText(tr("Job folder:"));
  jobDirLabel_->setToolTip(tr("The cut files that the sheets' job codes name are read from this folder"));
}

std::vector<TextBinding<CameraForm>> PrintCutBox::texts() const {
  return {{searchRadius_, &CameraForm::searchRadius},   {minConfidence_, &CameraForm::minConfidence},
          {centreTolerance_, &CameraForm::centreTolerance}, {standStill_, &CameraForm::standStill},
          {segmentLength_, &CameraForm::segmentLength}, {feedTimeout_, &CameraForm::feedTimeout},
          {jobDir_, &CameraForm::jobDir}};
}

void PrintCutBox::fill(const CameraForm& f) {
  unknownJob_->setCurrentIndex(static_cast<int>(f.unknownJob));
  missingCode_->setCurrentIndex(static_cast<int>(f.missingCode));
}

void PrintCutBox::read(CameraForm& f) const {
  f.unknownJob = sheetFaultOf(unknownJob_->currentIndex());
  f.missingCode = sheetFaultOf(missingCode_->currentIndex());
}

QString PrintCutBox::labelOf(const std::string& field) const {
  for (QLabel* l : findChildren<QLabel*>())
    if (l->buddy() && l->buddy()->objectName().toStdString() == field) return l->text();
  return {};
}

void PrintCutBox::chooseJobDir() {
  const QString dir =
      QFileDialog::getExistingDirectory(this, tr("Select the job folder"), jobDir_->text(), QFileDialog::ShowDirsOnly);
  if (!dir.isEmpty()) jobDir_->setText(QDir::cleanPath(dir));
}

void PrintCutBox::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  QGroupBox::changeEvent(event);
}

}  // namespace qel::ui
