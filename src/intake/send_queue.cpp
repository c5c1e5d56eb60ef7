// The send queue's heartbeat, settings, status panes, start and stop, and pausing; the stages
// live in queue_scan.cpp, queue_naming.cpp, translate_job.cpp, transfer_job.cpp and
// list_moves.cpp.
#include "intake/send_queue.h"

#include <QCoreApplication>

#include <algorithm>

#include "config/ini_config.h"
#include "intake/send_queue_impl.h"
#include "platform/run_stamp.h"

namespace qel::intake {

using namespace queue;

CSendQueue::Impl::Impl(CSendQueue& queue, QString homeDir, Services services)
    : q(queue),
      home_(stripTrailingSeparator(std::move(homeDir))),
      services_(std::move(services)),
      clock_(services_.clock ? services_.clock : &platform::SystemClock::instance()),
      disposeDir_(home_ + QStringLiteral("/DisposeDir")),
      undisposedDir_(home_ + QStringLiteral("/UnDisposeDir")),
      waiting_({}),
      sendQueue_({QStringLiteral("File Name"), QStringLiteral("Status")}),
      history_({QStringLiteral("File Name"), QStringLiteral("Status")}),
      bin_({QStringLiteral("File Name")}),
      jobDir_(home_ + QStringLiteral("/JobDir")) {}

CSendQueue::CSendQueue(QString homeDir, Services services, QObject* parent)
    : QObject(parent), d_(std::make_unique<Impl>(*this, std::move(homeDir), std::move(services))) {
  // The events carry these to front ends on other threads too.
  qRegisterMetaType<QueueFailure>();
  qRegisterMetaType<PauseCause>();
  qRegisterMetaType<RowNote>();
  d_->timer_.setParent(this);
  connect(&d_->timer_, &QTimer::timeout, this, &CSendQueue::Tick);
  d_->loadSettings();
}

CSendQueue::~CSendQueue() { stop(); }

// ---- the public face: each call goes to the queue's state ----

void CSendQueue::start() { d_->start(); }
void CSendQueue::stop() { d_->stop(); }
void CSendQueue::setWatchDir(const QString& dir) { d_->setWatchDir(dir); }
void CSendQueue::setCcdCutHandler(std::function<int(const QString& path)> handler) { d_->ccdCut_ = std::move(handler); }
void CSendQueue::Tick() { d_->Tick(); }
void CSendQueue::ScanFolder(const QString& dir) { d_->ScanFolder(dir); }
void CSendQueue::AfterTranslate(bool ok, const QString& source, const QString& stamp, const QStringList& outputs) {
  d_->AfterTranslate(ok, source, stamp, outputs);
}
void CSendQueue::AfterSend(bool ok, const QString& path) { d_->AfterSend(ok, path); }
bool CSendQueue::translateNow(const QString& fullPath) { return d_->translateNow(fullPath); }
void CSendQueue::TogglePause() { d_->TogglePause(); }
void CSendQueue::ToggleTransferPause() { d_->ToggleTransferPause(); }
void CSendQueue::refreshWaitingStatus() { d_->refreshWaitingStatus(); }
void CSendQueue::refreshSendQueueStatus() { d_->refreshSendQueueStatus(); }
bool CSendQueue::moveRow(QueueList from, int row, QueueList to, QString* error) { return d_->moveRow(from, row, to, error); }
bool CSendQueue::recordPreviewSend(QueueList from, int row) { return d_->recordPreviewSend(from, row); }
bool CSendQueue::modifyName(int historyRow, const QString& newName, QString* error) {
  return d_->modifyName(historyRow, newName, error);
}
QString CSendQueue::jobDir() const { return d_->jobDir_; }
bool CSendQueue::enqueueJob(quint64 id, const QString& file, QString* error) { return d_->enqueueJob(id, file, error); }
void CSendQueue::cancelJob(quint64 id) { d_->cancelJob(id); }
int CSendQueue::openJobs() const { return static_cast<int>(d_->jobs_.size()); }

FileListModel* CSendQueue::waitingList() { return &d_->waiting_; }
FileListModel* CSendQueue::sendQueueList() { return &d_->sendQueue_; }
FileListModel* CSendQueue::historyList() { return &d_->history_; }
FileListModel* CSendQueue::recycleBinList() { return &d_->bin_; }
QString CSendQueue::watchDir() const { return d_->watchDir_; }
QString CSendQueue::disposeDir() const { return d_->disposeDir_; }
QString CSendQueue::printedDir() const { return d_->printedDir_; }
QString CSendQueue::cancelledDir() const { return d_->cancelledDir_; }
QString CSendQueue::undisposedDir() const { return d_->undisposedDir_; }
bool CSendQueue::translatePaused() const { return d_->translatePaused_; }
bool CSendQueue::transferPaused() const { return d_->transferPaused_; }
bool CSendQueue::translating() const { return d_->translating_; }
bool CSendQueue::transferring() const { return d_->transferring_; }
bool CSendQueue::keepSent() const { return d_->keepSent_; }
bool CSendQueue::watcherEnabled() const { return d_->watcherEnabled_; }
int CSendQueue::sentCount() const { return d_->sentCount_; }
int CSendQueue::splitMode() const { return d_->splitMode_; }
QString CSendQueue::sourceOf(const QString& pageRow) const { return d_->pageSource_.value(pageRow); }
std::int64_t CSendQueue::resumeAtMs() const { return d_->resumeAtMs_; }
QString CSendQueue::pauseButtonText() const {
  return d_->translatePaused_ ? QStringLiteral("Continue") : QStringLiteral("Pause");
}
bool CSendQueue::isWatching() const { return d_->watcher_ && d_->watcher_->IsWatching(d_->watchDir_); }
bool CSendQueue::idle() const { return !d_->translating_ && !d_->transferring_; }

bool CSendQueue::stopRequested() const { return d_->cancelRequest_ || d_->shuttingDown_ || d_->cancelSend_; }
void CSendQueue::setStopRequest(bool on) { d_->cancelRequest_ = on; }
bool CSendQueue::previewTransferRunning() const { return d_->previewTransfer_; }
void CSendQueue::setPreviewTransfer(bool on) { d_->previewTransfer_ = on; }
int CSendQueue::language() const { return d_->language_; }
std::string CSendQueue::programDir() const { return d_->home_.toStdString(); }
platform::Clock& CSendQueue::clock() { return *d_->clock_; }
void CSendQueue::setPrompt(Prompt prompt) { d_->prompt_ = std::move(prompt); }

void CSendQueue::reloadSettings() {
  QString watch = d_->watchDir_;
  d_->loadSettings();
  std::swap(watch, d_->watchDir_);
  d_->setWatchDir(watch);
}

bool CSendQueue::showMessage(const std::string& title, const std::string& text, Buttons buttons) {
  const QString t = QString::fromStdString(title), m = QString::fromStdString(text);
  emit messageBox(t.isEmpty() ? m : t + QStringLiteral(": ") + m);
  if (d_->prompt_) return d_->prompt_(t, m, buttons == Buttons::OkCancel);
  emit messageEvent(QueueMessage::LinkMessage, m, t);
  return true;
}

// ---- settings and status ----

void CSendQueue::Impl::setWatchDir(const QString& dir) {
  if (dir == watchDir_) return;
  if (watcher_) watcher_->StopWatching(watchDir_);
  watchDir_ = dir;
  settle_.clear();
  if (started_) {
    ScanFolder(watchDir_);
    refreshWaitingStatus();
  }
}

void CSendQueue::Impl::loadSettings() {
  config::CIniConfig cfg(home_.toStdString());
  if (const config::ProfileFileCheck check = cfg.fileCheck(); check.unreadable())
    log(QStringLiteral("%1 cannot be read (%2): every setting has its default")
            .arg(fromNative(cfg.iniPath()), QString::fromStdString(check.reason)));
  namespace k = config::keys;
  watchDir_ = fromNative(cfg.read(k::Watcher_Dir));
  printedDir_ = stripTrailingSeparator(fromNative(cfg.read(k::SPD)));
  cancelledDir_ = stripTrailingSeparator(fromNative(cfg.read(k::SCD)));
  splitMode_ = cfg.read(k::CUT_FT);
  printUnfinished_ = cfg.read(k::Print_Unfinished) != 0;
  watcherEnabled_ = cfg.read(k::Watcher_Enabled) != 0;
  watcherSubDir_ = cfg.read(k::Watcher_SubDir) != 0;
  watcherFilter_ = fromNative(cfg.read(k::Watcher_Filter)).toUpper();
  // Drawings are taken as plot files are, also where the filter was stored before they were.
  if (!watcherFilter_.contains(QLatin1String("*.*"))) watcherFilter_ += QStringLiteral(";*.PDF;*.SVG");
  language_ = cfg.read(k::Language_Type);
  settle_.setSettleMs(cfg.read(k::Watcher_SettleMs));
  resumeFirstMs_ = std::int64_t(std::max(0, cfg.read(k::Resume_FirstWait))) * 1000;
  resumeMaxMs_ = std::max(resumeFirstMs_, std::int64_t(std::max(0, cfg.read(k::Resume_MaxWait))) * 1000);
}

std::tm CSendQueue::Impl::now() const {
  if (services_.localTime) return services_.localTime();
  return platform::localTimeOf(std::time(nullptr));
}

void CSendQueue::Impl::status(QueueStatus what, int count) {
  int pane = kPaneMessage;
  QString text;
  switch (what) {
    case QueueStatus::Waiting: pane = kPaneWaiting; text = QStringLiteral("Waiting File: %1").arg(count); break;
    case QueueStatus::Translated: pane = kPaneTranslated; text = QStringLiteral("Translated File: %1").arg(count); break;
    case QueueStatus::Sent: pane = kPaneSent; text = QStringLiteral("Sended File: %1").arg(count); break;
    case QueueStatus::WaitingToSend: text = QStringLiteral("Waiting to send files."); break;
    case QueueStatus::BackupSuccess: text = QStringLiteral("Backup File Success"); break;
    case QueueStatus::BackupFail: text = QStringLiteral("Backup File Fail"); break;
    case QueueStatus::NoLink: text = QStringLiteral("transfer type %1 has no link in this build").arg(count); break;
  }
  emit q.statusText(pane, text);
  emit q.statusEvent(pane, what, count);
}

void CSendQueue::Impl::appendQueued(const QString& row) {
  sendQueue_.append(row);
  sendQueue_.setNote(sendQueue_.count() - 1, {RowState::Waiting});
}

void CSendQueue::Impl::refreshWaitingStatus() { status(QueueStatus::Waiting, waiting_.count()); }

void CSendQueue::Impl::refreshSendQueueStatus() {
  status(QueueStatus::Translated, sendQueue_.count());
  if (sendQueue_.count() == 0 && !transferring_) status(QueueStatus::WaitingToSend);
}

// ---- start and stop ----

void CSendQueue::Impl::start() {
  if (started_) return;
  started_ = true;
  shuttingDown_ = false;
  loadSettings();

  if (makeDirs(disposeDir_) && printUnfinished_) {
    ScanFolder(disposeDir_);
    refreshSendQueueStatus();
  }
  if (!dirExists(printedDir_) && !makeDirs(printedDir_)) {
    keepSent_ = false;
    log(QStringLiteral("printed folder %1 cannot be created: sent files are deleted").arg(printedDir_));
  }
  collectLeftovers();
  rebuildHistory();
  if (dirExists(watchDir_)) {
    ScanFolder(watchDir_);
    refreshWaitingStatus();
  } else if (!makeDirs(watchDir_)) {
    watcherEnabled_ = false;
    log(QStringLiteral("watch folder %1 cannot be created").arg(watchDir_));
  }
  if (services_.watcher) watcher_ = std::make_unique<CDirectoryChangeWatcher>(true, kFilterTestNameOnly);
  if (watcherEnabled_) startWatcher();
  timer_.start(services_.tickMs);
  // Said once the folders exist and the watch runs, so whoever waits for it can drop files at once.
  log(QStringLiteral("start: watching %1, page mode %2").arg(watchDir_).arg(splitMode_));
}

void CSendQueue::Impl::stop() {
  timer_.stop();
  if (watcher_) watcher_->StopAll();
  shuttingDown_ = true;
  if (translateThread_.joinable()) translateThread_.join();
  if (transferThread_.joinable()) transferThread_.join();
  // Let the workers' last reports (a sent file's move, a backup) take effect.
  if (QCoreApplication::instance()) QCoreApplication::sendPostedEvents(&q);
  started_ = false;
}

void CSendQueue::Impl::waitMs(std::int64_t ms) {
  while (ms > 0 && !shuttingDown_) {
    std::int64_t step = std::min<std::int64_t>(ms, 50);
    clock_->sleepMs(step);
    ms -= step;
  }
}

// ---- the heartbeat ----

void CSendQueue::Impl::Tick() {
  resumeWhenDue();
  ScanFolder(watchDir_);
  // The watcher is (re)started whenever it is not watching the folder, e.g. after the folder
  // vanished and came back.
  if (watcher_ && !watcher_->IsWatching(watchDir_)) startWatcher();
  translateStep();
  transferStep();
}

// ---- pausing ----

void CSendQueue::Impl::TogglePause() {
  // The operator's button: a resumption the queue had planned is the operator's now.
  resumeAtMs_ = -1;
  resumeTries_ = 0;
  setPaused(!translatePaused_);
  if (translatePaused_) emit q.pausedFor(PauseCause::Operator, QueueFailure{});
}

void CSendQueue::Impl::setPaused(bool paused) {
  if (paused == translatePaused_ && paused == transferPaused_) return;
  transferPaused_ = translatePaused_;
  ToggleTransferPause();
  translatePaused_ = !translatePaused_;
  if (!translatePaused_) {
    emit q.pauseChanged(QStringLiteral("Pause"), false);
    emit q.pausedChanged(false, false);
  } else {
    // Rows keep their notes: a failed or stopped row still says what happened to it.
    emit q.pauseChanged(QStringLiteral("Continue"), true);
    emit q.pausedChanged(true, true);
  }
  log(translatePaused_ ? QStringLiteral("paused") : QStringLiteral("running"));
}

void CSendQueue::Impl::pauseFor(PauseCause cause, const QueueFailure& failure) {
  if (translatePaused_) return;
  setPaused(true);
  log(QStringLiteral("paused: %1 failed %2 time(s) in a row: %3")
          .arg(failure.file)
          .arg(failure.inARow)
          .arg(englishText(failure.kind)));
  emit q.pausedFor(cause, failure);
  if (!services_.autoResume || resumeFirstMs_ <= 0 || !isConnectionKind(failure.kind)) return;
  // Each wait twice the last, from the first wait up to the longest.
  std::int64_t wait = resumeFirstMs_;
  for (int i = 0; i < resumeTries_ && wait < resumeMaxMs_; ++i) wait *= 2;
  wait = std::min(wait, resumeMaxMs_);
  ++resumeTries_;
  resumeAtMs_ = clock_->nowMs() + wait;
  log(QStringLiteral("resuming by itself in %1 s (try %2)").arg(wait / 1000.0).arg(resumeTries_));
  emit q.resumeScheduled(resumeTries_, wait);
}

void CSendQueue::Impl::resumeWhenDue() {
  if (resumeAtMs_ < 0 || !translatePaused_ || clock_->nowMs() < resumeAtMs_) return;
  resumeAtMs_ = -1;
  log(QStringLiteral("resuming after the machine was out of reach (try %1)").arg(resumeTries_));
  setPaused(false);
}

void CSendQueue::Impl::ToggleTransferPause() {
  transferPaused_ = !transferPaused_;
  cancelRequest_ = transferPaused_;
}

}  // namespace qel::intake
