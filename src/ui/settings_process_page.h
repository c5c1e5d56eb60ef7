#pragma once
// The "Process" page of the settings window (AdvancedSetting): transfer type, page mode,
// outer contours, label options, the 'CI' transform and cut quality (knife, overcut, weeding and
// the registration limit). The page only binds its widgets to a
// ProcessForm; the rules and the storing are in logic/settings_process.h.
#include <QWidget>

#include <vector>

#include "ui/logic/settings_process.h"
#include "ui/settings_fields.h"

class QGroupBox;
class QLabel;

namespace qel::ui {

class AdvancedSetting : public QWidget {
  Q_OBJECT
 public:
  explicit AdvancedSetting(const config::CIniConfig& cfg, QWidget* parent = nullptr);

  ProcessForm form() const;
  // Empty when every field holds a number its rule takes; else why not, naming the field (the
  // field then has the focus).
  QString refusal();
  bool acceptable() const;
  // Stores the page; false (nothing stored) when it is not acceptable.
  bool save(config::CIniConfig& cfg);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void build();
  void retranslate();
  std::vector<TextBinding<ProcessForm>> texts() const;
  void fill(const ProcessForm& f);
  void applyEnables();
  // The label a field's refusal names it by.
  QString labelOf(const std::string& field) const;

  QGroupBox *transferBox_, *pageBox_, *fontBox_, *otherBox_, *cutBox_;
  QLabel *typeLabel_, *splitLabel_;
  QComboBox *type_, *split_;
  QCheckBox *occ_, *tranCi_;
  QLineEdit *spn_, *fontSp_, *fontScale_, *fontSpace_, *fontRotate_, *fontOffsetX_, *fontOffsetY_;
  QLineEdit *arcLength_, *detalX_, *detalY_;
  QLabel *fontSpLabel_, *fontScaleLabel_, *fontSpaceLabel_, *fontRotateLabel_, *fontOffsetXLabel_, *fontOffsetYLabel_;
  QLabel *arcLengthLabel_, *detalXLabel_, *detalYLabel_;
  QCheckBox *weedBox_, *weedLines_;
  QLineEdit *knifeOffset_, *knifeCornerAngle_, *overcut_, *weedMargin_, *weedPen_, *maxMarkResidual_;
  QLabel *knifeOffsetLabel_, *knifeCornerAngleLabel_, *overcutLabel_, *weedMarginLabel_, *weedPenLabel_,
      *maxMarkResidualLabel_;
};

}  // namespace qel::ui
