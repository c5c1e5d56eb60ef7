#pragma once
// The "Display" page of the settings window (DisplaySetting): the interface language.
#include <QWidget>

class QComboBox;
class QLabel;

namespace qel::ui {

class DisplaySetting : public QWidget {
  Q_OBJECT
 public:
  // Shows the language of the process-wide flag (1 English, 0 Chinese).
  explicit DisplaySetting(QWidget* parent = nullptr);

  // The chosen Language_Type: the entry index, 0 Chinese, 1 English.
  int language() const;

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void retranslate();

  QLabel* label_;
  QComboBox* language_;
};

}  // namespace qel::ui
