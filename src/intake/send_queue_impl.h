#pragma once
// The send queue's own state and stages, behind CSendQueue: its lists, folders, the timer and
// the two workers. Only the queue's units include this; windows see send_queue.h alone.
// Everything here belongs to the queue's thread except where a member says otherwise.
#include <QHash>
#include <QTimer>

#include <atomic>
#include <deque>
#include <map>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "intake/dir_watcher.h"
#include "intake/file_settle.h"
#include "intake/queue_naming.h"
#include "intake/send_queue.h"
#include "platform/open_writers.h"

namespace qel::intake {

struct CSendQueue::Impl {
  Impl(CSendQueue& queue, QString homeDir, Services services);

  // Settings, status and start-up (send_queue.cpp).
  void loadSettings();
  void setWatchDir(const QString& dir);
  void start();
  void stop();
  void Tick();
  std::tm now() const;
  void status(QueueStatus what, int count = 0);
  void refreshWaitingStatus();
  void refreshSendQueueStatus();
  void TogglePause();
  void ToggleTransferPause();
  // Pauses or resumes both steps (the big button's effect, without its bookkeeping).
  void setPaused(bool paused);
  // The queue pauses itself for a failure; unattended, it schedules its own resumption.
  void pauseFor(PauseCause cause, const QueueFailure& failure);
  void resumeWhenDue();
  // Waits on the queue's clock in short steps; a shutdown cuts it short. Runs on a worker.
  void waitMs(std::int64_t ms);
  void log(const QString& line) { emit q.logLine(line); }

  // Folder scanning and the watcher (queue_scan.cpp).
  void ScanFolder(const QString& dir);
  void scanInto(const QString& dir, QStringList& rows, std::unordered_set<std::string>& seen);
  QString rowFor(const QString& fullPath) const;
  // Settled (file_settle.h) and held open for writing by no process: the file may be taken. A
  // file still held by its writer counts as being written from now on.
  bool isStable(const QString& fullPath);
  bool takeable(const std::string& path, std::int64_t nowMs);
  void startWatcher();
  void collectLeftovers();
  // The history as the printed folder holds it: its sent files, oldest first.
  void rebuildHistory();
  void appendQueued(const QString& row);

  // Stamped names in the dispose folder (queue_naming.cpp). The new send-queue row, or empty.
  QString moveToDisposeStamped(const QString& fullPath, const QString& relative);

  // The translate job (translate_job.cpp).
  void translateStep();
  bool translateNow(const QString& fullPath);
  // copyFrom: a file outside the watch folder, copied to fullPath first ("+").
  void startTranslate(const QString& fullPath, std::optional<FileLook> expected, const QString& copyFrom = {});
  // Runs on the translate worker.
  void translateWorker(QString source, std::optional<FileLook> expected, QString copyFrom);
  void failOnWorker(const QString& source, FailureKind kind, const QString& detail);
  TranslateResult runTranslator(const std::string& src, const QString& stamp);
  void reportNotices(const QString& source, const TranslateResult& r);
  void reportRejected(const QString& source, const TranslateResult& r);
  void translateDone();
  void AfterTranslate(bool ok, const QString& source, const QString& stamp, const QStringList& outputs);
  void translateFailed(const QueueFailure& failure);

  // Jobs of a front end (queue_jobs.cpp).
  struct Job {
    quint64 id = 0;
    QString file;       // in jobDir_ until it is disposed of
    QStringList pages;  // its send-queue rows not yet sent, in order
    int pageCount = 0;
    QString backup;     // its source in the printed folder, once disposed of
    JobStage stage = JobStage::Queued;
    bool cancelled = false;
    // 1-based: the page on the link, or the next one to go.
    int nextPage() const { return pageCount - static_cast<int>(pages.size()) + 1; }
  };
  bool enqueueJob(quint64 id, const QString& file, QString* error);
  void cancelJob(quint64 id);
  bool startNextJob();
  Job* jobOfFile(const QString& file);
  Job* jobOfRow(const QString& row);
  void report(const Job& job, JobReport r);
  void reportQueued();
  // A job's translate step failed: reported and ended instead of going back to the waiting
  // list. False when `failure.file` is no job's file.
  bool jobTranslateFailed(const QueueFailure& failure);
  void jobTranslated(const QString& source, const QStringList& rows, const QString& backup);
  void jobSendStarting(const QString& row);
  void jobSent(const QString& path);
  // A send of a job's page failed (or was stopped): the job ends, unless the pause stopped it.
  void jobSendFailed(const QueueFailure& failure);
  // Ends a job: its rows still queued (and, when a page stayed unsent, its source backup) go to
  // the recycle bin.
  void finishJob(quint64 id, JobStage stage, const QueueFailure& failure = {});

  // The transfer job (transfer_job.cpp).
  void transferStep();
  void ccdCutStep();
  void transferWorker(QString path);  // runs on the transfer worker
  void transferDone();
  void AfterSend(bool ok, const QString& path);
  void sendFailed(const QString& path, FailureKind kind, const QString& detail);

  // List moves of the context menus (list_moves.cpp).
  QString folderOf(QueueList list) const;
  FileListModel* listOf(QueueList list);
  bool moveRow(QueueList from, int row, QueueList to, QString* error);
  bool recordPreviewSend(QueueList from, int row);
  bool modifyName(int historyRow, const QString& newName, QString* error);

  CSendQueue& q;  // the owner: its signals and its thread's event queue
  QString home_;
  Services services_;
  platform::Clock* clock_;

  // Fixed for the queue's life: the workers read them.
  QString disposeDir_, undisposedDir_;
  QString watchDir_, printedDir_, cancelledDir_;
  int splitMode_ = +config::PageMode::Rolling;
  bool printUnfinished_ = false;
  bool watcherEnabled_ = false;
  bool watcherSubDir_ = false;
  QString watcherFilter_;
  int language_ = 1;
  std::int64_t resumeFirstMs_ = 10000, resumeMaxMs_ = 300000;

  bool keepSent_ = true;
  bool translatePaused_ = false;
  bool transferPaused_ = false;
  bool translating_ = false;
  bool transferring_ = false;
  // Read by the workers and the links.
  std::atomic<bool> cancelRequest_{false};
  std::atomic<bool> previewTransfer_{false};
  std::atomic<bool> shuttingDown_{false};
  QString translatingFile_;
  QString sendingFile_;
  int sentCount_ = 0;

  FileListModel waiting_;
  FileListModel sendQueue_;
  FileListModel history_;
  FileListModel bin_;

  // Whether each file of the watch folder is complete (it may still be being written).
  FileSettle settle_;
  // The source of each page this run made (the send queue's row text), for failure reports.
  QHash<QString, QString> pageSource_;
  // The last failed send: the same file failing the same way kRepeatsBeforePause times pauses.
  QString lastFailedPage_;
  FailureKind lastFailure_ = FailureKind::None;
  int failuresInARow_ = 0;
  // Unattended resumption: when (queue clock) and how many times in a row.
  std::int64_t resumeAtMs_ = -1;
  int resumeTries_ = 0;
  // Sources that were processed but could not be moved away; not taken again this run.
  std::set<std::string> done_;
  // Files found still open for writing (said once each in the log), and who writes what, looked
  // up once per scan when a file is about to be taken.
  std::set<std::string> heldOpen_;
  std::optional<platform::OpenWriters> writers_;

  std::unique_ptr<CDirectoryChangeWatcher> watcher_;
  QTimer timer_;
  std::thread translateThread_;
  std::thread transferThread_;
  bool started_ = false;
  std::function<int(const QString&)> ccdCut_;
  Prompt prompt_;
  QString ccdNoticeFor_;

  QString jobDir_;
  std::map<quint64, Job> jobs_;
  std::deque<quint64> jobOrder_;  // jobs waiting for the translate step
  // Set while the page on the link belongs to a cancelled job: the link's stop test sees it.
  std::atomic<bool> cancelSend_{false};
  // The send-queue row on the link, from the transfer step until its outcome.
  QString rowOnLink_;
};

}  // namespace qel::intake
