// The own header by its relative path: the translation scanner learns the class's namespace there.
#include "settings_process_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
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
  applyEnables();
  connect(split_, &QComboBox::currentIndexChanged, this, &AdvancedSetting::applyEnables);
  connect(occ_, &QCheckBox::toggled, this, &AdvancedSetting::applyEnables);
  connect(tranCi_, &QCheckBox::toggled, this, &AdvancedSetting::applyEnables);
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
  int row = 0;
  auto fontRow = [&](QLabel*& label, QLineEdit*& field, const char* name, const QString& unit) {
    label = new QLabel(fontBox_);
    field = namedField(fontBox_, name);
    font->addWidget(label, row, 0);
    font->addWidget(field, row, 1);
    if (!unit.isEmpty()) font->addWidget(new QLabel(unit, fontBox_), row, 2);
    ++row;
  };
  fontRow(fontSpLabel_, fontSp_, "fontSp", QString());
  fontRow(fontScaleLabel_, fontScale_, "fontScale", QString());
  fontRow(fontSpaceLabel_, fontSpace_, "fontSpace", QString());
  fontRow(fontRotateLabel_, fontRotate_, "fontRotate", QStringLiteral("°"));
  fontRow(fontOffsetXLabel_, fontOffsetX_, "fontOffsetX", QStringLiteral("mm"));
  fontRow(fontOffsetYLabel_, fontOffsetY_, "fontOffsetY", QStringLiteral("mm"));
  font->setColumnStretch(1, 1);

  otherBox_ = new QGroupBox(this);
  tranCi_ = namedCheck(otherBox_, "tranCi");
  auto* other = new QGridLayout(otherBox_);
  other->addWidget(tranCi_, 0, 0, 1, 3);
  row = 1;
  auto otherRow = [&](QLabel*& label, QLineEdit*& field, const char* name, const QString& unit) {
    label = new QLabel(otherBox_);
    field = namedField(otherBox_, name);
    other->addWidget(label, row, 0);
    other->addWidget(field, row, 1);
    other->addWidget(new QLabel(unit, otherBox_), row, 2);
    ++row;
  };
  otherRow(arcLengthLabel_, arcLength_, "arcLength", QStringLiteral("mil"));
  otherRow(detalXLabel_, detalX_, "detalX", QStringLiteral("mm"));
  otherRow(detalYLabel_, detalY_, "detalY", QStringLiteral("mm"));
  other->setColumnStretch(1, 1);
  other->setRowStretch(row, 1);

  auto* grid = new QGridLayout(this);
  grid->addWidget(transferBox_, 0, 0);
  grid->addWidget(pageBox_, 0, 1);
  grid->addWidget(fontBox_, 1, 0);
  grid->addWidget(otherBox_, 1, 1);
  grid->setColumnStretch(0, 1);
  grid->setColumnStretch(1, 1);
  grid->setRowStretch(2, 1);
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
}

void AdvancedSetting::fill(const ProcessForm& f) {
  type_->setCurrentIndex(f.typeEntry);
  split_->setCurrentIndex(f.splitEntry);
  occ_->setChecked(f.outerContours);
  tranCi_->setChecked(f.transformCi);
  setText(spn_, f.spn);
  setText(fontSp_, f.fontSp);
  setText(fontScale_, f.fontScale);
  setText(fontSpace_, f.fontSpace);
  setText(fontRotate_, f.fontRotate);
  setText(fontOffsetX_, f.fontOffsetX);
  setText(fontOffsetY_, f.fontOffsetY);
  setText(arcLength_, f.arcLength);
  setText(detalX_, f.detalX);
  setText(detalY_, f.detalY);
}

ProcessForm AdvancedSetting::form() const {
  ProcessForm f;
  f.typeEntry = type_->currentIndex();
  f.splitEntry = split_->currentIndex();
  f.outerContours = occ_->isChecked();
  f.transformCi = tranCi_->isChecked();
  f.spn = textOf(spn_);
  f.fontSp = textOf(fontSp_);
  f.fontScale = textOf(fontScale_);
  f.fontSpace = textOf(fontSpace_);
  f.fontRotate = textOf(fontRotate_);
  f.fontOffsetX = textOf(fontOffsetX_);
  f.fontOffsetY = textOf(fontOffsetY_);
  f.arcLength = textOf(arcLength_);
  f.detalX = textOf(detalX_);
  f.detalY = textOf(detalY_);
  return f;
}

void AdvancedSetting::applyEnables() {
  const ProcessEnables e = processEnables(form());
  arcLength_->setEnabled(e.arcLength);
  occ_->setEnabled(e.outerContours);
  spn_->setEnabled(e.spn);
  detalX_->setEnabled(e.detal);
  detalY_->setEnabled(e.detal);
}

bool AdvancedSetting::save(config::CIniConfig& cfg) { return saveProcess(cfg, form()) == ProcessSave::Stored; }

void AdvancedSetting::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  QWidget::changeEvent(event);
}

}  // namespace qel::ui
