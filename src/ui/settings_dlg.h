#pragma once
// The settings window: a modal dialog with the pages "Process", "Camera&&Machine" and
// "Display". "Save" stores the language and switches to it at once, then stores the other two
// pages and closes when both accept their values; "Cancel" closes and stores nothing. Whoever
// opened it reloads its settings afterwards.
#include <QDialog>
#include <QString>

class QPushButton;
class QTabWidget;

namespace qel::ui {

class AdvancedSetting;
class CameraSetting;
class DisplaySetting;

class CSettingDlg : public QDialog {
  Q_OBJECT
 public:
  // homeDir: the folder of Config.ini. The interface language is refreshed from Language_Type.
  explicit CSettingDlg(QString homeDir, QWidget* parent = nullptr);

  // The pages, in tab order.
  enum class Page { Process = 0, CameraMachine = 1, Display = 2 };
  void showPage(Page page);

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void retranslate();
  void onSave();

  QString home_;
  QTabWidget* tabs_;
  AdvancedSetting* process_;
  CameraSetting* camera_;
  DisplaySetting* display_;
  QPushButton *save_, *cancel_;
};

}  // namespace qel::ui
