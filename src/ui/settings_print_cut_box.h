#pragma once
// The print-and-cut group of the "Camera&&Machine" page: how far marks are searched for and how
// sure a measurement must be, when the head counts as standing, long media in segments, the job
// folder that the sheets' codes name, what a sheet without a usable code does to the run, and
// how long the sheet feeder may take. It shows and reads its part of the page's CameraForm.
#include <QGroupBox>

#include <string>
#include <vector>

#include "ui/logic/settings_camera.h"
#include "ui/settings_fields.h"

class QLabel;
class QPushButton;

namespace qel::ui {

class PrintCutBox : public QGroupBox {
  Q_OBJECT
 public:
  explicit PrintCutBox(QWidget* parent = nullptr);

  // The group's fields and the form texts they show; the numeric ones have a rule in
  // cameraRule, the job folder has none.
  std::vector<TextBinding<CameraForm>> texts() const;
  // The two lists (the texts go through texts()).
  void fill(const CameraForm& f);
  void read(CameraForm& f) const;
  // The label a refusal names one of the group's fields by; empty for any other field.
  QString labelOf(const std::string& field) const;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void retranslate();
  void chooseJobDir();

  QLineEdit *searchRadius_, *minConfidence_, *centreTolerance_, *standStill_, *segmentLength_, *feedTimeout_, *jobDir_;
  QLabel *searchRadiusLabel_, *minConfidenceLabel_, *centreToleranceLabel_, *standStillLabel_, *segmentLengthLabel_,
      *feedTimeoutLabel_, *jobDirLabel_, *unknownJobLabel_, *missingCodeLabel_;
  QComboBox *unknownJob_, *missingCode_;
  QPushButton* browse_;
};

}  // namespace qel::ui
