#pragma once
// The send queue: carries every plot file from the watch folder through the translate step
// into the dispose folder, sends the page files one by one over the configured link and keeps
// the history and recycle bin. Runs on Qt Core: one timer on the owning thread drives it, with
// at most one translate worker and one transfer worker beside it. The workers, the watcher and
// the queue's state live behind the class, in its own units.
#include <QObject>
#include <QString>
#include <QStringList>

#include <ctime>
#include <functional>
#include <memory>

#include "config/modes.h"
#include "intake/file_list_model.h"
#include "intake/queue_failure.h"
#include "intake/translator.h"
#include "links/transfer_link.h"
#include "platform/clock.h"

namespace qel::intake {

// Status panes of the main window.
enum StatusPane { kPaneWaiting = 0, kPaneTranslated = 1, kPaneSent = 2, kPaneMessage = 3 };

enum class QueueList { Waiting, SendQueue, History, RecycleBin };

// What a status pane shows; the window words it in the interface language (the count goes
// with the three counters; NoLink carries the transfer type that has no link).
enum class QueueStatus { Waiting, Translated, Sent, WaitingToSend, BackupSuccess, BackupFail, NoLink };

// The queue's own message boxes; a and b are the file paths of the width message.
// LeftoversUnsent: page files of an earlier run that were never sent went to the recycle bin at
// start (a is their list).
enum class QueueMessage { TranslateThreadFailed, TransferThreadFailed, WidthOutOfRange, LinkMessage, LeftoversUnsent };

class CSendQueue : public QObject, public links::TransferOwner {
  Q_OBJECT
 public:
  struct Services {
    Translator* translator = nullptr;             // not owned
    links::LinkFactory links;                     // the links by Xitong_TT
    platform::Clock* clock = nullptr;             // waits of the workers; the system clock when null
    int tickMs = 600;
    std::function<std::tm()> localTime;           // the stamps' clock; local time when empty
    // Unattended front ends (qelcut watch): after the machine was out of reach the queue
    // resumes by itself, with growing waits (Resume_FirstWait, Resume_MaxWait). Off in the
    // desktop program, where the operator continues.
    bool autoResume = false;
    // The directory watcher beside the scans. Tests of the queue's own steps turn it off, so
    // that the kernel's notifications arrive at no unforeseen moment.
    bool watcher = true;
  };

  CSendQueue(QString homeDir, Services services, QObject* parent = nullptr);
  ~CSendQueue() override;

  // Start-up: dispose folder, leftovers into the recycle bin, watch folder scan, watcher and
  // the timer.
  void start();
  // Stops the timer and the watcher and waits for running workers (their waits are cut short).
  void stop();

  // The folder field of the main window: the watch folder from now on.
  void setWatchDir(const QString& dir);
  // Reads the queue's settings again (after the settings window); the lists stay.
  void reloadSettings();
  // Page mode CcdCut: the transfer step hands the first queued file to this (the CCD cut
  // window, shown modally) instead of a link.
  // It returns the number of patterns it sent, which the Sent count takes on.
  void setCcdCutHandler(std::function<int(const QString& path)> handler);

  // One heartbeat: scan, watcher, translate step, transfer step.
  void Tick();
  void ScanFolder(const QString& dir);
  void AfterTranslate(bool ok, const QString& source, const QString& stamp, const QStringList& outputs);
  void AfterSend(bool ok, const QString& path);
  // "+": translates a chosen file at once, on the translate worker; false while one runs. A
  // file from outside the watch folder is copied into it first: the operator's own file stays.
  bool translateNow(const QString& fullPath);
  void TogglePause();
  void ToggleTransferPause();
  void refreshWaitingStatus();
  void refreshSendQueueStatus();

  // The list moves of the context menus. False with a reason in *error when refused.
  bool moveRow(QueueList from, int row, QueueList to, QString* error = nullptr);
  // After the print preview sent a file of the send queue or the recycle bin (row `row`): the
  // file moves into the printed folder and its row to the history. False when it cannot.
  bool recordPreviewSend(QueueList from, int row);
  // "Modify name" of a history row: renames the file within the printed folder.
  bool modifyName(int historyRow, const QString& newName, QString* error = nullptr);

  FileListModel* waitingList();
  FileListModel* sendQueueList();
  FileListModel* historyList();
  FileListModel* recycleBinList();

  QString watchDir() const;
  QString disposeDir() const;
  QString printedDir() const;
  QString cancelledDir() const;
  QString undisposedDir() const;
  bool translatePaused() const;
  bool transferPaused() const;
  bool translating() const;
  bool transferring() const;
  bool keepSent() const;
  bool watcherEnabled() const;
  int sentCount() const;
  // The stored page mode (CUT_FT), compared against config::PageMode.
  int splitMode() const;
  QString pauseButtonText() const;
  // The source plot file of a page row of the send queue, when this run made the page.
  QString sourceOf(const QString& pageRow) const;
  // When the queue will resume by itself (its clock, ms); -1 when it will not.
  std::int64_t resumeAtMs() const;
  bool isWatching() const;
  bool idle() const;

  // The run stamp of a local time, "20260105_093000" (platform::runStamp).
  static QString makeStamp(const std::tm& t);
  // Order of leftover page files: by the run stamp and page number at the end of the name.
  static QString leftoverKey(const QString& name);

  // links::TransferOwner
  // Shutting down stops a send under way like the pause button does.
  bool stopRequested() const override;
  void setStopRequest(bool on) override;
  bool previewTransferRunning() const override;
  void setPreviewTransfer(bool on);
  void setProgressRange(int low, int high) override { emit progressRange(low, high); }
  void setProgressPos(int pos) override { emit progressPos(pos); }
  void reportBytesSent(std::int64_t sent, std::int64_t total) override { emit bytesSent(sent, total); }
  int language() const override;
  std::string programDir() const override;
  // The links wait on the queue's clock (fast in tests, scaled in simulations).
  platform::Clock& clock() override;
  // A link's message goes to the window (or the log without one); the queue has no one to
  // ask, so a choice is answered with OK.
  // With a prompt set (the desktop program), the question goes to the operator; the prompt is
  // called on the link's thread and must not wait on anything the interface thread holds.
  bool showMessage(const std::string& title, const std::string& text, Buttons buttons = Buttons::Ok) override;
  using Prompt = std::function<bool(const QString& title, const QString& text, bool okCancel)>;
  void setPrompt(Prompt prompt);

 signals:
  // English text of a pane (for logs); statusEvent says the same for a window to word.
  void statusText(int pane, const QString& text);
  void statusEvent(int pane, qel::intake::QueueStatus what, int count);
  // paused: the big button reads "Continue"; browseEnabled: the folder button is usable.
  void pauseChanged(const QString& buttonText, bool browseEnabled);
  void pausedChanged(bool paused, bool browseEnabled);
  // English text of a message box; messageEvent says the same for a window to word. A link's
  // message arrives as LinkMessage with its text (already in the interface language) in a.
  void messageBox(const QString& text);
  void messageEvent(qel::intake::QueueMessage what, const QString& a, const QString& b);
  // One line per event of the queue, for consoles and logs.
  void logLine(const QString& line);
  // A file failed in the translate or the transfer step (also a send stopped part-way).
  void fileFailed(const qel::intake::QueueFailure& failure);
  // The queue paused, and why (the failure is empty for the operator's pause).
  void pausedFor(qel::intake::PauseCause cause, const qel::intake::QueueFailure& failure);
  // Unattended: the queue resumes by itself after waitMs (the attempt-th time in a row).
  void resumeScheduled(int attempt, qint64 waitMs);
  void progressRange(int low, int high);
  void progressPos(int pos);
  // Bytes of the file being sent that have gone out; emitted on the transfer worker.
  void bytesSent(qint64 sent, qint64 total);
  // The print preview: show the file being sent, learn of each sent file, close.
  void previewRequested(const QString& path);
  void previewSent(const QString& path);
  void previewClosed();

 private:
  struct Impl;
  std::unique_ptr<Impl> d_;
};

}  // namespace qel::intake
