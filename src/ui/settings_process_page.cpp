#include "ui/settings_process_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "config/ini_config.h"
#include "ui/settings_fields.h"

namespace qel::ui {

AdvancedSetting::AdvancedSetting(const config::CIniConfig& cfg, QWidget* parent) : QWidget(parent) {
  build();
  retranslate();
  fill(loadProcess(cfg));
  for (const auto& b : texts())
    if (const auto rule = processRule(b.field->objectName().toStdString())) applyRule(b.field, *rule);
  applyEnables();
  connect(split_, &QComboBox::currentIndexChanged, this, &AdvancedSetting::applyEnables);
  connect(occ_, &QCheckBox::toggled, this, &AdvancedSetting::applyEnables);
  connect(tranCi_, &QCheckBox::toggled, this, &AdvancedSetting::applyEnables);
  connect(weedBox_, &QCheckBox::toggled, this, &AdvancedSetting::applyEnables);
  connect(weedLines_, &QCheckBox::toggled, this, &AdvancedSetting::applyEnables);
  connect(knifeOffset_, &QLineEdit::textChanged, this, &AdvancedSetting::applyEnables);
}

void AdvancedSetting::build() {
  transferBox_ = new QGroupBox(this);
  typeLabel_ = new QLabel(transferBox_);
  type_ = namedCombo(transferBox_, "type");
  for (int i = 0; i < kTransferEntries; ++i) type_->addItem(QString());
  auto* transfer = new QGridLayout(transferBox_);
  transfer->addWidget(typeLabel_, 0, 0);
  transfer->addWidget(type_, 0, 1);
  transfer->setColumnStretch(1, 1);

  pageBox_ = new QGroupBox(this);
  splitLabel_ = new QLabel(pageBox_);
  split_ = namedCombo(pageBox_, "split");
  for (int i = 0; i < kSplitEntries; ++i) split_->addItem(QString());
  occ_ = namedCheck(pageBox_, "occ");
  spn_ = namedField(pageBox_, "spn");
  auto* page = new QGridLayout(pageBox_);
  page->addWidget(splitLabel_, 0, 0);
  page->addWidget(split_, 0, 1);
  page->addWidget(occ_, 1, 0);
  page->addWidget(spn_, 1, 1);
  page->setColumnStretch(1, 1);

  fontBox_ = new QGroupBox(this);
  auto* font = new QGridLayout(fontBox_);
  fontSp_ = addFieldRow(font, 0, fontSpLabel_, "fontSp");
  fontScale_ = addFieldRow(font, 1, fontScaleLabel_, "fontScale");
  fontSpace_ = addFieldRow(font, 2, fontSpaceLabel_, "fontSpace");
  fontRotate_ = addFieldRow(font, 3, fontRotateLabel_, "fontRotate", QStringLiteral("°"));
  fontOffsetX_ = addFieldRow(font, 4, fontOffsetXLabel_, "fontOffsetX", QStringLiteral("mm"));
  fontOffsetY_ = addFieldRow(font, 5, fontOffsetYLabel_, "fontOffsetY", QStringLiteral("mm"));
  font->setColumnStretch(1, 1);

  otherBox_ = new QGroupBox(this);
  tranCi_ = namedCheck(otherBox_, "tranCi");
  auto* other = new QGridLayout(otherBox_);
  other->addWidget(tranCi_, 0, 0, 1, 3);
  arcLength_ = addFieldRow(other, 1, arcLengthLabel_, "arcLength", QStringLiteral("mil"));
  detalX_ = addFieldRow(other, 2, detalXLabel_, "detalX", QStringLiteral("mm"));
  detalY_ = addFieldRow(other, 3, detalYLabel_, "detalY", QStringLiteral("mm"));
  other->setColumnStretch(1, 1);
  other->setRowStretch(4, 1);

  // Cut quality: the knife and the registration limit on the left, overcut and weeding on the right.
  cutBox_ = new QGroupBox(this);
  auto* cut = new QHBoxLayout(cutBox_);
  auto* knife = new QGridLayout;
  auto* weed = new QGridLayout;
  cut->addLayout(knife, 1);
  cut->addLayout(weed, 1);
  knifeOffset_ = addFieldRow(knife, 0, knifeOffsetLabel_, "knifeOffset", QStringLiteral("mm"));
  knifeCornerAngle_ = addFieldRow(knife, 1, knifeCornerAngleLabel_, "knifeCornerAngle", QStringLiteral("°"));
  maxMarkResidual_ = addFieldRow(knife, 2, maxMarkResidualLabel_, "maxMarkResidual", QStringLiteral("mm"));
  knife->setColumnStretch(1, 1);
  knife->setRowStretch(3, 1);
  overcut_ = addFieldRow(weed, 0, overcutLabel_, "overcut", QStringLiteral("mm"));
  weedBox_ = namedCheck(cutBox_, "weedBox");
  weedLines_ = namedCheck(cutBox_, "weedLines");
  weed->addWidget(weedBox_, 1, 0);
  weed->addWidget(weedLines_, 1, 1, 1, 2);
  weedMargin_ = addFieldRow(weed, 2, weedMarginLabel_, "weedMargin", QStringLiteral("mm"));
  weedPen_ = addFieldRow(weed, 3, weedPenLabel_, "weedPen");
  weed->setColumnStretch(1, 1);

  auto* grid = new QGridLayout(this);
  grid->addWidget(transferBox_, 0, 0);
  grid->addWidget(pageBox_, 0, 1);
  grid->addWidget(fontBox_, 1, 0);
  grid->addWidget(otherBox_, 1, 1);
  grid->addWidget(cutBox_, 2, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(3, 1);
}

void AdvancedSetting::retranslate() {
  transferBox_->setTitle(tr("Transfer"));
  pageBox_->setTitle(tr("Page"));
  fontBox_->setTitle(tr("Font"));
  otherBox_->setTitle(tr("Other"));
  typeLabel_->setText(tr("Type:"));
  // Product names: the same in every language.
  type_->setItemText(0, QStringLiteral("QEL DSP SYSTEM"));
  type_->setItemText(1, QStringLiteral("QEL ARM SYSTEM"));
  type_->setItemText(2, QStringLiteral("QEL MC SYSTEM"));
  splitLabel_->setText(tr("Split:"));
  split_->setItemText(0, tr("DF  Page Split"));
  split_->setItemText(1, QStringLiteral("DF"));
  split_->setItemText(2, tr("Rolling Split"));
  split_->setItemText(3, tr("SP  Page Split"));
  split_->setItemText(4, tr("LK  Page Split"));
  split_->setItemText(5, tr("CCD CUT"));
  occ_->setText(tr("Outer Contours to be:   SP"));
  fontSpLabel_->setText(tr("Font output to be: SP"));
  fontScaleLabel_->setText(tr("Font size scale:"));
  fontSpaceLabel_->setText(tr("Font space:"));
  fontRotateLabel_->setText(tr("Font rotate:"));
  fontOffsetXLabel_->setText(tr("Font offset_x:"));
  fontOffsetYLabel_->setText(tr("Font offset_y:"));
  tranCi_->setText(tr("Transform 'CI' cmd"));
  arcLengthLabel_->setText(tr("Arc Length:"));
  detalXLabel_->setText(tr("←detal_x:"));
  detalYLabel_->setText(tr("↓detal_y:"));
  cutBox_->setTitle(tr("Cut quality"));
  knifeOffsetLabel_->setText(tr("Knife offset:"));
  knifeOffsetLabel_->setToolTip(tr("Drag-knife tip behind its axis; 0 turns the compensation off"));
  knifeCornerAngleLabel_->setText(tr("Swivel above:"));
  knifeCornerAngleLabel_->setToolTip(tr("Corners turning more than this angle get a swivel arc"));
  maxMarkResidualLabel_->setText(tr("Max mark residual:"));
  maxMarkResidualLabel_->setToolTip(
      tr("CCD cut: a mark further off the fitted correction stops the cut; 0 means no limit"));
  overcutLabel_->setText(tr("Overcut:"));
  overcutLabel_->setToolTip(tr("Closed paths are cut past their start by this length; 0 is off"));
  weedBox_->setText(tr("Weeding box"));
  weedLines_->setText(tr("Weeding lines"));
  weedMarginLabel_->setText(tr("Weed margin:"));
  weedPenLabel_->setText(tr("Weed pen:"));
}

std::vector<TextBinding<ProcessForm>> AdvancedSetting::texts() const {
  return {{spn_, &ProcessForm::spn},
          {fontSp_, &ProcessForm::fontSp},
          {fontScale_, &ProcessForm::fontScale},
          {fontSpace_, &ProcessForm::fontSpace},
          {fontRotate_, &ProcessForm::fontRotate},
          {fontOffsetX_, &ProcessForm::fontOffsetX},
          {fontOffsetY_, &ProcessForm::fontOffsetY},
          {arcLength_, &ProcessForm::arcLength},
          {detalX_, &ProcessForm::detalX},
          {detalY_, &ProcessForm::detalY},
          {knifeOffset_, &ProcessForm::knifeOffset},
          {knifeCornerAngle_, &ProcessForm::knifeCornerAngle},
          {overcut_, &ProcessForm::overcut},
          {weedMargin_, &ProcessForm::weedMargin},
          {weedPen_, &ProcessForm::weedPen},
          {maxMarkResidual_, &ProcessForm::maxMarkResidual}};
}

void AdvancedSetting::fill(const ProcessForm& f) {
  type_->setCurrentIndex(f.typeEntry);
  split_->setCurrentIndex(f.splitEntry);
  occ_->setChecked(f.outerContours);
  tranCi_->setChecked(f.transformCi);
  weedBox_->setChecked(f.weedBox);
  weedLines_->setChecked(f.weedLines);
  showTexts(texts(), f);
}

ProcessForm AdvancedSetting::form() const {
  ProcessForm f;
  f.typeEntry = type_->currentIndex();
  f.splitEntry = split_->currentIndex();
  f.outerContours = occ_->isChecked();
  f.transformCi = tranCi_->isChecked();
  f.weedBox = weedBox_->isChecked();
  f.weedLines = weedLines_->isChecked();
  readTexts(texts(), f);
  return f;
}

void AdvancedSetting::applyEnables() {
  const ProcessEnables e = processEnables(form());
  arcLength_->setEnabled(e.arcLength);
  occ_->setEnabled(e.outerContours);
  spn_->setEnabled(e.spn);
  detalX_->setEnabled(e.detal);
  detalY_->setEnabled(e.detal);
  knifeCornerAngle_->setEnabled(e.knifeCorner);
  weedMargin_->setEnabled(e.weeding);
  weedPen_->setEnabled(e.weeding);
}

bool AdvancedSetting::acceptable() const { return processAcceptable(form()); }

QString AdvancedSetting::labelOf(const std::string& field) const {
  if (field == "spn") return occ_->text();
  for (QLabel* l : findChildren<QLabel*>())
    if (l->buddy() && l->buddy()->objectName().toStdString() == field) return l->text();
  return QString::fromStdString(field);
}

QString AdvancedSetting::refusal() {
  const auto r = processRefusal(form());
  if (!r) return {};
  if (auto* field = findChild<QLineEdit*>(QString::fromStdString(r->field))) {
    field->setFocus();
    field->selectAll();
  }
  return refusalText(labelOf(r->field), *r);
}

bool AdvancedSetting::save(config::CIniConfig& cfg) { return saveProcess(cfg, form()) == ProcessSave::Stored; }

void AdvancedSetting::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  QWidget::changeEvent(event);
}

}  // namespace qel::ui
