#include "ui/settings_camera_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <initializer_list>

#include "config/ini_config.h"
#include "ui/message_service.h"
#include "ui/settings_fields.h"

namespace qel::ui {

namespace {

// The Auto Load button stands upright beside the values: one word (or one character) a line.
QString upright(const QString& text) {
  if (text.contains(QLatin1Char(' '))) return QString(text).replace(QLatin1Char(' '), QLatin1Char('\n'));
  QStringList chars;
  for (const QChar c : text) chars << QString(c);
  return chars.join(QLatin1Char('\n'));
}

QLabel* groupTitle(const char* text, QWidget* parent) {
  // The names of the calibration groups are those of the calibration file's keys.
  auto* l = new QLabel(QString::fromLatin1(text), parent);
  QFont f = l->font();
  f.setBold(true);
  l->setFont(f);
  return l;
}

QPushButton* namedButton(QWidget* parent, const char* name) {
  auto* b = new QPushButton(parent);
  b->setObjectName(QString::fromLatin1(name));
  b->setAutoDefault(false);
  return b;
}

// The set line: the box or the name, stretching, then its buttons.
void lineUp(QWidget* line, QWidget* box, std::initializer_list<QPushButton*> buttons) {
  auto* row = new QHBoxLayout(line);
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(box, 1);
  for (QPushButton* b : buttons) row->addWidget(b);
}

}  // namespace

CameraSetting::CameraSetting(const QString& homeDir, const config::CIniConfig& cfg, QWidget* parent)
    : QWidget(parent), sets_(homeDir.toStdString()) {
  build();
  retranslate();
  fill(loadCamera(cfg));
  for (const auto& b : texts())
    if (const auto rule = cameraRule(b.field->objectName().toStdString())) applyRule(b.field, *rule);
  for (QLineEdit* v : values_) applyRule(v, kCalibrationValueRule);
  const CalibrationTexts values = sets_.open();
  showSets();
  showValues(values);
  showEditing(false);
  connect(target_, &QComboBox::currentIndexChanged, this, &CameraSetting::applyTargetType);
  connect(setBox_, &QComboBox::currentIndexChanged, this, &CameraSetting::onSetChosen);
  connect(edit_, &QPushButton::clicked, this, &CameraSetting::onEdit);
  connect(add_, &QPushButton::clicked, this, &CameraSetting::onAdd);
  connect(ok_, &QPushButton::clicked, this, &CameraSetting::onOk);
  connect(cancel_, &QPushButton::clicked, this, &CameraSetting::onCancel);
  connect(del_, &QPushButton::clicked, this, &CameraSetting::onDelete);
  connect(autoLoad_, &QPushButton::clicked, this, &CameraSetting::onAutoLoad);
}

void CameraSetting::build() {
  auto* layout = new QHBoxLayout(this);
  layout->addWidget(buildCalibration(), 3);
  layout->addWidget(buildRight(), 2);
}

QWidget* CameraSetting::buildCalibration() {
  calibrationBox_ = new QGroupBox(this);
  auto* grid = new QGridLayout(calibrationBox_);

  setRow_ = new QStackedWidget(calibrationBox_);
  auto* choosing = new QWidget(setRow_);
  setBox_ = namedCombo(choosing, "calibrationSet");
  edit_ = namedButton(choosing, "edit");
  add_ = namedButton(choosing, "add");
  del_ = namedButton(choosing, "del");
  lineUp(choosing, setBox_, {edit_, add_, del_});
  auto* naming = new QWidget(setRow_);
  nameBox_ = namedField(naming, "calibrationName");
  ok_ = namedButton(naming, "ok");
  cancel_ = namedButton(naming, "cancel");
  lineUp(naming, nameBox_, {ok_, cancel_});
  setRow_->addWidget(choosing);
  setRow_->addWidget(naming);
  setRow_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  grid->addWidget(setRow_, 0, 0, 1, 8);

  int row = 1;
  auto fieldRows = [&](const char* title, std::initializer_list<int> fields, int perRow) {
    if (title) grid->addWidget(groupTitle(title, calibrationBox_), row++, 0, 1, 7);
    int column = 0;
    for (int index : fields) {
      const auto& spec = kCalibrationFields[index];
      values_[index] = namedField(calibrationBox_, spec.label);
      grid->addWidget(new QLabel(QString::fromLatin1(spec.label), calibrationBox_), row, 2 * column + 1, Qt::AlignRight);
      grid->addWidget(values_[index], row, 2 * column + 2);
      if (++column == perRow) column = 0, ++row;
    }
    if (column != 0) ++row;
  };
  const int firstFieldRow = row;
  fieldRows("INTRINSIC", {0, 1, 2, 3}, 2);
  fieldRows("DISTORTION", {4, 5, 6, 7}, 2);
  fieldRows("ROTATION", {8, 9, 10, 11, 12, 13, 14, 15, 16}, 3);
  fieldRows("TRANSLATION", {17, 18, 19}, 3);
  fieldRows(nullptr, {20, 21}, 2);
  autoLoad_ = namedButton(calibrationBox_, "autoLoad");
  autoLoad_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
  grid->addWidget(autoLoad_, firstFieldRow, 7, row - firstFieldRow, 1);
  for (int c = 2; c <= 6; c += 2) grid->setColumnStretch(c, 1);
  grid->setRowStretch(row, 1);
  return calibrationBox_;
}

QWidget* CameraSetting::buildRight() {
  auto* right = new QWidget(this);
  auto* column = new QVBoxLayout(right);
  column->setContentsMargins(0, 0, 0, 0);
  auto mm = [](QWidget* parent) { return new QLabel(QStringLiteral("mm"), parent); };

  offsetBox_ = new QGroupBox(right);
  auto* offset = new QGridLayout(offsetBox_);
  cx_ = namedField(offsetBox_, "cameraCx");
  cy_ = namedField(offsetBox_, "cameraCy");
  offset->addWidget(new QLabel(QStringLiteral("Cx:"), offsetBox_), 0, 0);
  offset->addWidget(cx_, 0, 1);
  offset->addWidget(mm(offsetBox_), 0, 2);
  offset->addWidget(new QLabel(QStringLiteral("Cy:"), offsetBox_), 0, 3);
  offset->addWidget(cy_, 0, 4);
  offset->addWidget(mm(offsetBox_), 0, 5);
  offset->setColumnStretch(1, 1);
  offset->setColumnStretch(4, 1);
  column->addWidget(offsetBox_);

  markBox_ = new QGroupBox(right);
  auto* mark = new QGridLayout(markBox_);
  targetLabel_ = new QLabel(markBox_);
  target_ = namedCombo(markBox_, "targetType");
  target_->addItems({QString(), QString()});
  markTimeLabel_ = new QLabel(markBox_);
  markTime_ = namedField(markBox_, "markTime");
  radiusLabel_ = new QLabel(markBox_);
  radius_ = namedField(markBox_, "radius");
  tolerance_ = namedField(markBox_, "tolerance");
  spLabel_ = new QLabel(markBox_);
  markSp_ = namedField(markBox_, "markSp");
  autoFirst_ = namedCheck(markBox_, "autoFirstPoint");
  share_ = namedCheck(markBox_, "shareMark");
  mark->addWidget(targetLabel_, 0, 0);
  mark->addWidget(target_, 0, 1, 1, 4);
  mark->addWidget(markTimeLabel_, 1, 0);
  mark->addWidget(markTime_, 1, 1, 1, 4);
  mark->addWidget(radiusLabel_, 2, 0);
  mark->addWidget(radius_, 2, 1);
  mark->addWidget(new QLabel(QStringLiteral("±"), markBox_), 2, 2);
  mark->addWidget(tolerance_, 2, 3);
  mark->addWidget(mm(markBox_), 2, 4);
  mark->addWidget(spLabel_, 3, 0);
  mark->addWidget(markSp_, 3, 1, 1, 4);
  mark->addWidget(autoFirst_, 4, 0, 1, 5);
  mark->addWidget(share_, 5, 0, 1, 5);
  mark->setColumnStretch(1, 1);
  mark->setColumnStretch(3, 1);
  column->addWidget(markBox_);

  moveBox_ = new QGroupBox(right);
  auto* move = new QGridLayout(moveBox_);
  blockXLabel_ = new QLabel(moveBox_);
  blockYLabel_ = new QLabel(moveBox_);
  blockXTo_ = new QLabel(moveBox_);
  blockYTo_ = new QLabel(moveBox_);
  blockXLow_ = namedField(moveBox_, "blockXLow");
  blockXHigh_ = namedField(moveBox_, "blockXHigh");
  blockYLow_ = namedField(moveBox_, "blockYLow");
  blockYHigh_ = namedField(moveBox_, "blockYHigh");
  speedLabel_ = new QLabel(moveBox_);
  accelLabel_ = new QLabel(moveBox_);
  speed_ = namedField(moveBox_, "speed");
  accel_ = namedField(moveBox_, "accel");
  move->addWidget(blockXLabel_, 0, 0);
  move->addWidget(blockXLow_, 0, 1);
  move->addWidget(blockXTo_, 0, 2);
  move->addWidget(blockXHigh_, 0, 3);
  move->addWidget(blockYLabel_, 1, 0);
  move->addWidget(blockYLow_, 1, 1);
  move->addWidget(blockYTo_, 1, 2);
  move->addWidget(blockYHigh_, 1, 3);
  move->addWidget(speedLabel_, 2, 0);
  move->addWidget(speed_, 2, 1, 1, 3);
  move->addWidget(accelLabel_, 3, 0);
  move->addWidget(accel_, 3, 1, 1, 3);
  move->setColumnStretch(1, 1);
  move->setColumnStretch(3, 1);
  column->addWidget(moveBox_);

  timeBox_ = new QGroupBox(right);
  auto* time = new QGridLayout(timeBox_);
  delay_ = addFieldRow(time, 0, delayLabel_, "captureDelay", QStringLiteral("ms"));
  time->setColumnStretch(1, 1);
  column->addWidget(timeBox_);

  coordinateBox_ = new QGroupBox(right);
  auto* coordinate = new QGridLayout(coordinateBox_);
  axisY_ = addFieldRow(coordinate, 0, axisYLabel_, "axisYRotate", QStringLiteral("°"));
  coordinate->setColumnStretch(1, 1);
  column->addWidget(coordinateBox_);
  column->addStretch(1);
  return right;
}

void CameraSetting::retranslate() {
  calibrationBox_->setTitle(tr("Calibration"));
  edit_->setText(tr("Edit"));
  add_->setText(tr("Add"));
  ok_->setText(tr("OK"));
  cancel_->setText(tr("Cancel"));
  del_->setText(tr("Del"));
  autoLoad_->setText(upright(tr("Auto Load")));
  offsetBox_->setTitle(tr("Camera offset"));
  markBox_->setTitle(tr("Mark"));
  targetLabel_->setText(tr("Target Type:"));
  target_->setItemText(static_cast<int>(TargetType::Circle), tr("Circle"));
  target_->setItemText(static_cast<int>(TargetType::Cross), tr("Cross"));
  markTimeLabel_->setText(tr("Mark times limit:"));
  radiusLabel_->setText(tr("Mark Radius:"));
  spLabel_->setText(tr("SP: "));
  autoFirst_->setText(tr("Try to find first point automatically"));
  share_->setText(tr("Share between Pieces"));
  moveBox_->setTitle(tr("Move"));
  blockXLabel_->setText(tr("Block_X:"));
  blockYLabel_->setText(tr("Block_Y:"));
  blockXTo_->setText(tr("to"));
  blockYTo_->setText(tr("to"));
  speedLabel_->setText(tr("Speed:"));
  accelLabel_->setText(tr("Accel/Decel:"));
  timeBox_->setTitle(tr("Time"));
  delayLabel_->setText(tr("Mark point delay:"));
  coordinateBox_->setTitle(tr("Coordinate"));
  axisYLabel_->setText(tr("Y axis deflection:"));
}

std::vector<TextBinding<CameraForm>> CameraSetting::texts() const {
  return {{cx_, &CameraForm::cameraCx},         {cy_, &CameraForm::cameraCy},
          {markTime_, &CameraForm::markTime},   {radius_, &CameraForm::radius},
          {tolerance_, &CameraForm::tolerance}, {markSp_, &CameraForm::markSp},
          {blockXLow_, &CameraForm::blockXLow}, {blockXHigh_, &CameraForm::blockXHigh},
          {blockYLow_, &CameraForm::blockYLow}, {blockYHigh_, &CameraForm::blockYHigh},
          {speed_, &CameraForm::speed},         {accel_, &CameraForm::accel},
          {delay_, &CameraForm::captureDelay},  {axisY_, &CameraForm::axisYRotate}};
}

void CameraSetting::fill(const CameraForm& f) {
  showTexts(texts(), f);
  target_->setCurrentIndex(static_cast<int>(f.target));
  autoFirst_->setChecked(f.autoFirstPoint);
  share_->setChecked(f.shareMark);
  applyTargetType();
}

CameraForm CameraSetting::form() const {
  CameraForm f;
  readTexts(texts(), f);
  f.target = target();
  f.autoFirstPoint = autoFirst_->isChecked();
  f.shareMark = share_->isChecked();
  return f;
}

TargetType CameraSetting::target() const {
  return target_->currentIndex() == static_cast<int>(TargetType::Cross) ? TargetType::Cross : TargetType::Circle;
}

void CameraSetting::applyTargetType() {
  const bool enabled = radiusEnabled(target());
  radius_->setEnabled(enabled);
  tolerance_->setEnabled(enabled);
}

void CameraSetting::showValues(const CalibrationTexts& values) {
  for (int i = 0; i < kCalibrationFieldCount; ++i) setText(values_[i], values[i]);
}

CalibrationTexts CameraSetting::shownValues() const {
  CalibrationTexts t;
  for (int i = 0; i < kCalibrationFieldCount; ++i) t[i] = textOf(values_[i]);
  return t;
}

void CameraSetting::showSets() {
  const QSignalBlocker block(setBox_);
  setBox_->clear();
  for (const std::string& name : sets_.names()) setBox_->addItem(QString::fromStdString(name));
  setBox_->setCurrentIndex(sets_.chosen());
}

void CameraSetting::showEditing(bool editing) { setRow_->setCurrentIndex(editing ? 1 : 0); }

void CameraSetting::onSetChosen(int index) { showValues(sets_.choose(index)); }

void CameraSetting::onEdit() {
  const auto name = sets_.beginEdit();
  if (!name) return;
  nameBox_->setText(QString::fromStdString(*name));
  showEditing(true);
  nameBox_->setFocus();
}

void CameraSetting::onAdd() {
  nameBox_->clear();
  showValues(sets_.beginAdd());
  showEditing(true);
  nameBox_->setFocus();
}

void CameraSetting::onOk() {
  switch (sets_.confirm(textOf(nameBox_), shownValues())) {
    case CalibrationSets::Confirm::EmptyName: warning(this, tr("Error"), tr("Name can't be empty !")); return;
    case CalibrationSets::Confirm::NotEditing: return;
    case CalibrationSets::Confirm::Done: break;
  }
  showSets();
  showEditing(false);
}

void CameraSetting::onCancel() {
  showValues(sets_.cancel());
  showEditing(false);
}

void CameraSetting::onDelete() {
  if (sets_.chosen() < 0) return;
  if (!question(this, tr("Tip"), tr("   Make sure to delete ?"))) return;
  CalibrationTexts values;
  if (!sets_.removeChosen(values)) return;
  showSets();
  showValues(values);
}

void CameraSetting::onAutoLoad() {
  const auto values = sets_.autoLoad();
  if (!values) {
    warning(this, tr("Error"), tr("No calibration file: calibration/Config.ini"));
    return;
  }
  showValues(*values);
}

QString CameraSetting::labelOf(const std::string& field) const {
  if (field == "cameraCx") return QStringLiteral("Cx");
  if (field == "cameraCy") return QStringLiteral("Cy");
  if (field == "markTime") return markTimeLabel_->text();
  if (field == "radius" || field == "tolerance") return radiusLabel_->text();
  if (field == "markSp") return spLabel_->text();
  if (field == "blockXLow" || field == "blockXHigh") return blockXLabel_->text();
  if (field == "blockYLow" || field == "blockYHigh") return blockYLabel_->text();
  if (field == "speed") return speedLabel_->text();
  if (field == "captureDelay") return delayLabel_->text();
  if (field == "axisYRotate") return axisYLabel_->text();
  return QString::fromStdString(field);
}

bool CameraSetting::check() {
  // The calibration values first: they are stored with the page.
  std::vector<FieldCheck> values;
  for (int i = 0; i < kCalibrationFieldCount; ++i)
    values.push_back({kCalibrationFields[i].label, textOf(values_[i]), kCalibrationValueRule, true});
  auto refused = firstRefusal(values);
  if (!refused) refused = cameraRefusal(form());
  if (refused) {
    if (auto* field = findChild<QLineEdit*>(QString::fromStdString(refused->field))) {
      field->setFocus();
      field->selectAll();
    }
    warning(this, tr("Error"), refusalText(labelOf(refused->field), *refused));
    return false;
  }
  switch (checkCamera(form())) {
    case CameraCheck::BlockXReversed:
      warning(this, tr("Error"), tr("Block_X: minimum value larger than maximal value"));
      return false;
    case CameraCheck::BlockYReversed:
      warning(this, tr("Error"), tr("Block_Y: minimum value larger than maximal value"));
      return false;
    case CameraCheck::AccelOutOfRange:
      warning(this, tr("Error"), tr("Accel/Decel value is out of range(1000~5000)"));
      return false;
    case CameraCheck::FieldRefused:  // said above
    case CameraCheck::Accepted: break;
  }
  return true;
}

bool CameraSetting::save(config::CIniConfig& cfg) {
  if (!check() || saveCamera(cfg, form()) != CameraCheck::Accepted) return false;
  sets_.store(shownValues());
  return true;
}

void CameraSetting::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  QWidget::changeEvent(event);
}

}  // namespace qel::ui
