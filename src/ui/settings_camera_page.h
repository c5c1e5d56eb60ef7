#pragma once
// The "Camera&&Machine" page of the settings window (CameraSetting): the calibration sets with
// their 22 values, the camera offset, the mark target, the head's motion limits and the capture
// delay. Rules and storing are in logic/settings_camera.h and logic/settings_calibration.h.
#include <QWidget>

#include <array>
#include <vector>

#include "ui/logic/settings_calibration.h"
#include "ui/logic/settings_camera.h"
#include "ui/settings_fields.h"

class QGroupBox;
class QLabel;
class QPushButton;
class QStackedWidget;

namespace qel::ui {

class CameraSetting : public QWidget {
  Q_OBJECT
 public:
  CameraSetting(const QString& homeDir, const config::CIniConfig& cfg, QWidget* parent = nullptr);

  CameraForm form() const;
  // The checks of the settings window's "Save"; a refusal shows its message (title "Error").
  bool check();
  // Checks, then stores the page and the chosen set; a refusal stores nothing.
  bool save(config::CIniConfig& cfg);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void build();
  QWidget* buildCalibration();
  QWidget* buildRight();
  void retranslate();
  std::vector<TextBinding<CameraForm>> texts() const;
  TargetType target() const;
  void fill(const CameraForm& f);
  void showValues(const CalibrationTexts& values);
  CalibrationTexts shownValues() const;
  void showSets();
  void showEditing(bool editing);
  void applyTargetType();
  QString labelOf(const std::string& field) const;

  void onSetChosen(int index);
  void onEdit();
  void onAdd();
  void onOk();
  void onCancel();
  void onDelete();
  void onAutoLoad();

  CalibrationSets sets_;

  QGroupBox *calibrationBox_, *offsetBox_, *markBox_, *moveBox_, *timeBox_, *coordinateBox_;
  QStackedWidget* setRow_;
  QComboBox* setBox_;
  QLineEdit* nameBox_;
  QPushButton *edit_, *add_, *del_, *ok_, *cancel_, *autoLoad_;
  std::array<QLineEdit*, kCalibrationFieldCount> values_{};

  QLineEdit *cx_, *cy_, *markTime_, *radius_, *tolerance_, *markSp_;
  QLineEdit *blockXLow_, *blockXHigh_, *blockYLow_, *blockYHigh_, *speed_, *accel_, *delay_, *axisY_;
  QComboBox* target_;
  QCheckBox *autoFirst_, *share_;
  QLabel *targetLabel_, *markTimeLabel_, *radiusLabel_, *spLabel_, *blockXLabel_, *blockYLabel_, *blockXTo_, *blockYTo_;
  QLabel *speedLabel_, *accelLabel_, *delayLabel_, *axisYLabel_;
};

}  // namespace qel::ui
