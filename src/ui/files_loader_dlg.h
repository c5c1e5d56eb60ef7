#pragma once
// CFilesLoaderDlg: the main window. It runs the send queue over the home folder and shows its
// lists (send queue, history, recycle bin), the status panes, the machine parameters and the
// watched folder, with the big pause button; it opens the print preview, the settings window
// and hides into the notification area when minimised.
#include <QDialog>
#include <QIdentityProxyModel>
#include <QPointer>

#include <functional>
#include <memory>

#include "intake/send_queue.h"
#include "links/transfer_link.h"
#include "ui/logic/message_queue.h"
#include "ui/print_preview.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QStatusBar;
class QTableView;

namespace qel::ui {

class CPrintPreView;
class PlaceKeeper;
class Prompter;
class Tray;

// Words a queue list for the window: column titles and row states in the interface language.
class QueueListWording : public QIdentityProxyModel {
  Q_OBJECT
 public:
  using QIdentityProxyModel::QIdentityProxyModel;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  void retranslate();
};

class CFilesLoaderDlg : public QDialog {
  Q_OBJECT
 public:
  struct Services {
    intake::CSendQueue::Services queue;  // translator, links, clock, tick
    Tray* tray = nullptr;                // not owned; the desktop's tray when null
    // The folder chooser of "..." (tests replace it): returns the chosen path, empty for Cancel.
    std::function<QString(QWidget* parent, const QString& caption, const QString& start)> chooseFolder;
    // The file chooser of "+".
    std::function<QString(QWidget* parent, const QString& filter)> chooseFile;
  };

  CFilesLoaderDlg(QString home, Services services, QWidget* parent = nullptr);
  ~CFilesLoaderDlg() override;

  intake::CSendQueue& queue() { return *queue_; }
  const QString& home() const { return home_; }
  bool queuePaused() const { return queue_->translatePaused(); }
  CPrintPreView* followPreview() const { return follow_; }
  Tray* tray() const { return tray_; }

  // The context menu of a list row, null while the queue runs (the menu does not open).
  QMenu* contextMenuFor(intake::QueueList list, int row);
  // Double click on a row: the checks, then the interactive preview, modal.
  void openPreview(intake::QueueList list, int row);
  // Re-reads the settings and words every text anew (after the settings window).
  void reloadSettings();
  // Status pane texts as shown.
  QString paneText(int pane) const;
  // The follow preview's wanted size and the least width it is shown at beside the window.
  static constexpr int kFollowWidth = 420, kFollowHeight = 360, kFollowMinWidth = 240;

 signals:
  // The interactive preview is about to run modally (tests drive it from here).
  void previewOpened(qel::ui::CPrintPreView* preview);
  // The settings window is about to run modally.
  void settingsOpened(QDialog* settings);

 protected:
  void changeEvent(QEvent* e) override;
  void moveEvent(QMoveEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void buildWindow();
  void retranslate();
  void onSave();
  void onAdvanced();
  void onBrowse();
  void onAdd();
  void onPause();
  void onStatus(int pane, intake::QueueStatus what, int count);
  void onMessage(intake::QueueMessage what, const QString& a, const QString& b);
  void onFailed(const intake::QueueFailure& failure);
  void onPausedFor(intake::PauseCause cause, const intake::QueueFailure& failure);
  // A pane's text, worded anew after each language switch.
  void setPane(int pane, std::function<QString()> words);
  // One message box at a time; what comes meanwhile is said in one box after it.
  void say(const QString& text);
  void onPausedChanged(bool paused, bool browseEnabled);
  void onFollowRequested(const QString& path);
  void closeFollow();
  void restoreFromTray();
  void placeFollow();
  QString statusWords(intake::QueueStatus what, int count) const;
  QTableView* makeList(intake::QueueList list, intake::FileListModel* model, QueueListWording** wording);

  QString home_;
  Services services_;
  links::LinkFactory links_;
  std::unique_ptr<intake::CSendQueue> queue_;
  std::shared_ptr<Prompter> prompter_;
  std::unique_ptr<Tray> ownTray_;
  Tray* tray_ = nullptr;
  bool debugConsole_ = false;
  // Nulls itself when the preview goes (it is closed with delete-on-close).
  QPointer<CPrintPreView> follow_;
  // What each pane says, kept as wording so a language switch words it anew.
  std::function<QString()> paneWords_[4];
  MessageQueue messages_;
  PlaceKeeper* place_ = nullptr;

  QGroupBox* queueBox_;
  QGroupBox* historyBox_;
  QGroupBox* binBox_;
  QGroupBox* paramBox_;
  QGroupBox* watchBox_;
  QTableView* queueView_;
  QTableView* historyView_;
  QTableView* binView_;
  QueueListWording* queueWording_;
  QueueListWording* historyWording_;
  QueueListWording* binWording_;
  QLabel* ipLabel_;
  QLabel* widthLabel_;
  QLabel* lengthLabel_;
  QLineEdit* ipField_;
  QLineEdit* widthField_;
  QLineEdit* lengthField_;
  QPushButton* saveButton_;
  QPushButton* advancedButton_;
  QLineEdit* folderField_;
  QPushButton* browseButton_;
  QPushButton* pauseButton_;
  QPushButton* addButton_;
  QStatusBar* statusBar_;
  QLabel* paneLabels_[4];
};

// "Modify name": one field with the current name; OK refuses an empty one.
class CModifyName : public QDialog {
  Q_OBJECT
 public:
  CModifyName(const QString& name, QWidget* parent = nullptr);
  QString name() const;
  void accept() override;

 private:
  QLineEdit* field_;
};

}  // namespace qel::ui
