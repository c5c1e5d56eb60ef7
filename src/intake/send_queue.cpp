#include "intake/send_queue.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>
#include <cstdio>
#include <limits>

#include "config/ini_config.h"
#include "plot/file_code_conv.h"
#include "intake/list_box_handler.h"
#include "platform/files.h"

namespace qel::intake {

namespace {

constexpr std::uint32_t kWatcherFlags = 232;   // name-only tests, never ask, no started/stopped
constexpr std::uint32_t kWatcherFilter = 381;  // names, attributes, size, times, security
const char* const kPlotPatterns[] = {"*.PLT", "*.HPG", "*.HP2", "*.HPGL"};

std::string native(const QString& s) { return QFile::encodeName(s).toStdString(); }
QString fromNative(const std::string& s) { return QFile::decodeName(QByteArray::fromStdString(s)); }

QString fileNameOf(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

// The upper-cased extension from the last dot, or the whole upper-cased name without one.
QString upperExtension(const QString& name) {
  qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return (dot < 0 ? name : name.mid(dot)).toUpper();
}

// Splits "dir/name.ext" into "dir/name" and ".ext" (no extension: "").
void splitExtension(const QString& path, QString& base, QString& ext) {
  qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
  qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
  if (dot <= slash) {
    base = path;
    ext.clear();
  } else {
    base = path.left(dot);
    ext = path.mid(dot);
  }
}

bool exists(const QString& path) {
  struct stat st {};
  return ::lstat(native(path).c_str(), &st) == 0;
}

// A name that does not overwrite an earlier file: "name.ext", else "name_2.ext", ...
QString freePath(const QString& path) {
  if (!exists(path)) return path;
  QString base, ext;
  splitExtension(path, base, ext);
  for (int i = 2;; ++i) {
    QString p = QStringLiteral("%1_%2%3").arg(base).arg(i).arg(ext);
    if (!exists(p)) return p;
  }
}

bool moveFile(const QString& from, const QString& to) { return platform::moveFileReplacing(native(from), native(to)); }
bool makeDirs(const QString& dir) { return platform::makeDirectories(native(dir)); }
bool dirExists(const QString& dir) { return platform::directoryExists(native(dir)); }

QString stripTrailingSeparator(QString dir) {
  if (dir.size() > 1 && (dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\')))) dir.chop(1);
  return dir;
}

struct DirEntry {
  std::string name;
  bool isDir = false;
  struct stat st {};
};

// The plot-file test on a raw name: its upper-cased extension occurs in one of the patterns.
bool isPlotNameNative(const std::string& name) {
  std::string::size_type dot = name.rfind('.');
  std::string ext = dot == std::string::npos ? name : name.substr(dot);
  if (ext.size() > 6) return false;  // longer than any pattern
  for (char& c : ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (const char* p : kPlotPatterns)
    if (std::string_view(p).find(ext) != std::string_view::npos) return true;
  return false;
}

// The sub-folders and plot files of a folder in name order (the order the operator sees
// them in); only plot files are looked at more closely.
std::vector<DirEntry> listFolder(const std::string& dir) {
  std::vector<DirEntry> out;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  int dfd = ::dirfd(d);
  while (dirent* e = ::readdir(d)) {
    if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
    DirEntry entry;
    entry.name = e->d_name;
    const bool plot = isPlotNameNative(entry.name);
    if (e->d_type == DT_DIR) {
      entry.isDir = true;
    } else if (e->d_type == DT_REG || e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
      if (!plot && e->d_type == DT_REG) continue;
      if (::fstatat(dfd, e->d_name, &entry.st, 0) != 0) continue;
      entry.isDir = S_ISDIR(entry.st.st_mode);
      if (!entry.isDir && (!S_ISREG(entry.st.st_mode) || !plot)) continue;
    } else {
      continue;
    }
    out.push_back(std::move(entry));
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return out;
}

}  // namespace

CSendQueue::CSendQueue(QString homeDir, Services services, QObject* parent)
    : QObject(parent),
      home_(stripTrailingSeparator(std::move(homeDir))),
      services_(std::move(services)),
      clock_(services_.clock ? services_.clock : &platform::SystemClock::instance()),
      waiting_({}),
      sendQueue_({QStringLiteral("File Name"), QStringLiteral("Status")}),
      history_({QStringLiteral("File Name"), QStringLiteral("Status")}),
      bin_({QStringLiteral("File Name")}) {
  // Fixed for the queue's life: the workers read them.
  disposeDir_ = home_ + QStringLiteral("/DisposeDir");
  undisposedDir_ = home_ + QStringLiteral("/UnDisposeDir");
  timer_.setParent(this);
  connect(&timer_, &QTimer::timeout, this, &CSendQueue::Tick);
  loadSettings();
}

CSendQueue::~CSendQueue() { stop(); }

void CSendQueue::setWatchDir(const QString& dir) {
  if (dir == watchDir_) return;
  if (watcher_) watcher_->StopWatching(watchDir_);
  watchDir_ = dir;
  seen_.clear();
  if (started_) {
    ScanFolder(watchDir_);
    refreshWaitingStatus();
  }
}

void CSendQueue::reloadSettings() {
  QString watch = watchDir_;
  loadSettings();
  std::swap(watch, watchDir_);
  setWatchDir(watch);
}

void CSendQueue::loadSettings() {
  config::CIniConfig cfg(home_.toStdString());
  namespace k = config::keys;
  watchDir_ = fromNative(cfg.read(k::Watcher_Dir));
  printedDir_ = stripTrailingSeparator(fromNative(cfg.read(k::SPD)));
  cancelledDir_ = stripTrailingSeparator(fromNative(cfg.read(k::SCD)));
  splitMode_ = cfg.read(k::CUT_FT);
  printUnfinished_ = cfg.read(k::Print_Unfinished) != 0;
  watcherEnabled_ = cfg.read(k::Watcher_Enabled) != 0;
  watcherSubDir_ = cfg.read(k::Watcher_SubDir) != 0;
  watcherFilter_ = fromNative(cfg.read(k::Watcher_Filter)).toUpper();
  language_ = cfg.read(k::Language_Type);
}

std::tm CSendQueue::now() const {
  if (services_.localTime) return services_.localTime();
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  ::localtime_r(&t, &tm);
  return tm;
}

QString CSendQueue::makeStamp(const std::tm& t) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d_%02d%02d%02d", t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                t.tm_min, t.tm_sec);
  return QString::fromLatin1(buf);
}

QString CSendQueue::leftoverKey(const QString& name) {
  qsizetype us = name.lastIndexOf(QLatin1Char('_'));
  int len = (us >= 0 && name.size() - us == 8) ? 23 : 19;
  return name.right(len);
}

void CSendQueue::status(QueueStatus what, int count) {
  int pane = kPaneMessage;
  QString text;
  switch (what) {
    case QueueStatus::Waiting: pane = kPaneWaiting; text = QStringLiteral("Waiting File: %1").arg(count); break;
    case QueueStatus::Translated: pane = kPaneTranslated; text = QStringLiteral("Translated File: %1").arg(count); break;
    case QueueStatus::Sent: pane = kPaneSent; text = QStringLiteral("Sended File: %1").arg(count); break;
    case QueueStatus::WaitingToSend: text = QStringLiteral("Waiting to send files."); break;
    case QueueStatus::BackupSuccess: text = QStringLiteral("Backup File Success"); break;
    case QueueStatus::BackupFail: text = QStringLiteral("Backup File Fail"); break;
  }
  emit statusText(pane, text);
  emit statusEvent(pane, what, count);
}

bool CSendQueue::showMessage(const std::string& title, const std::string& text, Buttons buttons) {
  const QString t = QString::fromStdString(title), m = QString::fromStdString(text);
  emit messageBox(t.isEmpty() ? m : t + QStringLiteral(": ") + m);
  if (prompt_) return prompt_(t, m, buttons == Buttons::OkCancel);
  emit messageEvent(QueueMessage::LinkMessage, m, t);
  return true;
}

void CSendQueue::refreshWaitingStatus() { status(QueueStatus::Waiting, waiting_.count()); }

void CSendQueue::refreshSendQueueStatus() {
  status(QueueStatus::Translated, sendQueue_.count());
  if (sendQueue_.count() == 0 && !transferring_) status(QueueStatus::WaitingToSend);
}

bool CSendQueue::isWatching() const { return watcher_ && watcher_->IsWatching(watchDir_); }

// ---- start and stop -------------------------------------------------------------------------

void CSendQueue::start() {
  if (started_) return;
  started_ = true;
  shuttingDown_ = false;
  loadSettings();
  log(QStringLiteral("start: watching %1, page mode %2").arg(watchDir_).arg(splitMode_));

  if (makeDirs(disposeDir_) && printUnfinished_) {
    ScanFolder(disposeDir_);
    refreshSendQueueStatus();
  }
  if (!dirExists(printedDir_) && !makeDirs(printedDir_)) {
    keepSent_ = false;
    log(QStringLiteral("printed folder %1 cannot be created: sent files are deleted").arg(printedDir_));
  }
  collectLeftovers();
  if (dirExists(watchDir_)) {
    ScanFolder(watchDir_);
    refreshWaitingStatus();
  } else if (!makeDirs(watchDir_)) {
    watcherEnabled_ = false;
    log(QStringLiteral("watch folder %1 cannot be created").arg(watchDir_));
  }
  watcher_ = std::make_unique<CDirectoryChangeWatcher>(true, kFilterTestNameOnly);
  if (watcherEnabled_) startWatcher();
  timer_.start(services_.tickMs);
}

void CSendQueue::stop() {
  timer_.stop();
  if (watcher_) watcher_->StopAll();
  shuttingDown_ = true;
  if (translateThread_.joinable()) translateThread_.join();
  if (transferThread_.joinable()) transferThread_.join();
  // Let the workers' last reports (a sent file's move, a backup) take effect.
  if (QCoreApplication::instance()) QCoreApplication::sendPostedEvents(this);
  started_ = false;
}

void CSendQueue::collectLeftovers() {
  if (!makeDirs(cancelledDir_)) return;
  QStringList names;
  for (const DirEntry& e : listFolder(native(disposeDir_))) {
    if (e.isDir) continue;
    QString name = fromNative(e.name);
    if (name.size() > 4 && QStringLiteral("*.PLT").contains(upperExtension(name))) names << name;
  }
  std::stable_sort(names.begin(), names.end(),
                   [](const QString& a, const QString& b) { return leftoverKey(a) < leftoverKey(b); });
  QStringList unsent;
  std::set<QString> runs;
  for (const QString& name : names) {
    if (!moveFile(disposeDir_ + QLatin1Char('/') + name, cancelledDir_ + QLatin1Char('/') + name)) continue;
    bin_.append(name);
    unsent << name;
    log(QStringLiteral("leftover to recycle bin, not sent: %1").arg(name));
    // A page "<source>_<stamp>_<nnn>.PLT" belongs to the run whose source was backed up as
    // "<source>_<stamp>.<ext>" in the printed folder.
    if (name.size() > 8 && name.size() - name.lastIndexOf(QLatin1Char('_')) == 8) runs.insert(name.left(name.size() - 8));
  }
  // The printed folder holds what was cut: the source of a run whose pages were never all sent
  // goes beside its pages into the recycle bin.
  if (!runs.empty()) {
    for (const DirEntry& e : listFolder(native(printedDir_))) {
      if (e.isDir) continue;
      const QString name = fromNative(e.name);
      const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
      if (dot <= 0 || !runs.count(name.left(dot))) continue;
      if (!moveFile(printedDir_ + QLatin1Char('/') + name, cancelledDir_ + QLatin1Char('/') + name)) continue;
      bin_.append(name);
      log(QStringLiteral("source of unsent pages to recycle bin: %1").arg(name));
    }
  }
  if (!unsent.isEmpty()) emit messageEvent(QueueMessage::LeftoversUnsent, unsent.join(QStringLiteral(", ")), {});
}

void CSendQueue::startWatcher() {
  if (!watcher_) return;
  watcher_->SetFilterFlags(kWatcherFlags);
  watcher_->StopWatching(watchDir_);
  auto* handler = new CDirectoryChangeHandler_ListBox(
      &waiting_, [this](int, const QString&) { refreshWaitingStatus(); }, watchDir_, watcherFilter_);
  watcher_->StartWatching(watchDir_, kWatcherFilter, handler, watcherSubDir_, QString(), QString());
  handler->Release();
}

// ---- the heartbeat --------------------------------------------------------------------------

void CSendQueue::Tick() {
  ScanFolder(watchDir_);
  // The watcher is (re)started whenever it is not watching the folder, e.g. after the folder
  // vanished and came back.
  if (watcher_ && !watcher_->IsWatching(watchDir_)) startWatcher();
  translateStep();
  transferStep();
}

QString CSendQueue::rowFor(const QString& fullPath) const {
  if (!fullPath.startsWith(watchDir_)) return fullPath;
  QString rest = fullPath.mid(watchDir_.size());
  qsizetype i = 0;
  while (i < rest.size() && rest[i] == QLatin1Char(' ')) ++i;
  return rest.mid(i);
}

bool CSendQueue::isStable(const QString& fullPath) const {
  auto it = seen_.find(native(fullPath));
  return it != seen_.end() && it->second.stable;
}

void CSendQueue::ScanFolder(const QString& dir) {
  QStringList rows;
  std::unordered_map<std::string, Seen> seen;
  seen.reserve(seen_.size() + 16);
  scanInto(dir, rows, seen);
  seen_.swap(seen);
  for (auto it = done_.begin(); it != done_.end();) it = seen_.count(*it) ? std::next(it) : done_.erase(it);
  if (rows != waiting_.texts()) waiting_.setTexts(rows);
}

void CSendQueue::scanInto(const QString& dirIn, QStringList& rows, std::unordered_map<std::string, Seen>& seen) {
  const QString dir = stripTrailingSeparator(dirIn);
  const std::string nativeDir = native(dir);
  const std::string nativeWatch = native(watchDir_);
  const bool moveAtOnce = splitMode_ == 5 || splitMode_ == 9;
  for (const DirEntry& e : listFolder(nativeDir)) {
    std::string key = nativeDir + "/" + e.name;
    if (e.isDir) {
      if (watcherSubDir_ && e.name[0] != '.') scanInto(fromNative(key), rows, seen);
      continue;
    }
    Seen s;
    s.size = e.st.st_size;
    s.mtimeNs = qint64(e.st.st_mtim.tv_sec) * 1000000000 + e.st.st_mtim.tv_nsec;
    auto prev = seen_.find(key);
    s.stable = prev != seen_.end() && prev->second.size == s.size && prev->second.mtimeNs == s.mtimeNs;
    if (done_.count(key)) {
      seen.emplace(std::move(key), s);
      continue;
    }
    if (moveAtOnce) {
      seen.emplace(key, s);
      if (s.stable) {
        QString full = fromNative(key);
        moveToDisposeStamped(full, rowFor(full));
      }
      continue;
    }
    if (key.compare(0, nativeWatch.size(), nativeWatch) == 0) {
      // The row: the path below the watch folder text, leading blanks trimmed.
      std::string::size_type from = nativeWatch.size();
      while (from < key.size() && key[from] == ' ') ++from;
      rows << fromNative(key.substr(from));
    } else {
      rows << fromNative(key);
    }
    seen.emplace(std::move(key), s);
  }
}

void CSendQueue::moveToDisposeStamped(const QString& fullPath, const QString& relative) {
  QString rel = relative.startsWith(QLatin1Char('/')) ? relative : QLatin1Char('/') + relative;
  QString base, ext;
  splitExtension(rel, base, ext);
  QString stamp = makeStamp(now());
  // Files of the same name moved within one second get the next page number instead of
  // replacing one another.
  QString target;
  for (int n = 1; n < 1000; ++n) {
    target = disposeDir_ + base + QStringLiteral("_%1_%2.PLT").arg(stamp).arg(n, 3, 10, QLatin1Char('0'));
    if (!exists(target)) break;
  }
  if (!moveFile(fullPath, target)) {
    log(QStringLiteral("cannot move %1 to %2").arg(fullPath, target));
    return;
  }
  seen_.erase(native(fullPath));
  QString row = target.mid(disposeDir_.size() + 1);
  sendQueue_.append(row);
  log(QStringLiteral("queued %1 as %2").arg(fullPath, row));
  refreshSendQueueStatus();
}

// ---- translate ------------------------------------------------------------------------------

void CSendQueue::translateStep() {
  if (translatePaused_ || translating_ || waiting_.count() == 0) return;
  // The first row whose file has stopped changing; files still being written wait.
  int pick = -1;
  for (int i = 0; i < waiting_.count(); ++i) {
    if (isStable(watchDir_ + waiting_.text(i))) {
      pick = i;
      break;
    }
  }
  if (pick < 0) return;
  QString full = watchDir_ + waiting_.text(pick);
  waiting_.remove(pick);
  startTranslate(full);
}

bool CSendQueue::translateNow(const QString& fullPath) {
  if (translating_) return false;
  startTranslate(fullPath);
  return translating_;
}

void CSendQueue::startTranslate(const QString& full) {
  translating_ = true;
  if (translateThread_.joinable()) translateThread_.join();
  translatingFile_ = full;
  log(QStringLiteral("translating %1").arg(full));
  try {
    translateThread_ = std::thread(&CSendQueue::translateWorker, this, full);
  } catch (...) {
    emit messageBox(QStringLiteral("Creating Optimize thread failed!"));
    emit messageEvent(QueueMessage::TranslateThreadFailed, {}, {});
    translating_ = false;
  }
}

void CSendQueue::waitMs(std::int64_t ms) {
  while (ms > 0 && !shuttingDown_) {
    std::int64_t step = std::min<std::int64_t>(ms, 50);
    clock_->sleepMs(step);
    ms -= step;
  }
}

void CSendQueue::translateWorker(QString source) {
  auto post = [this](auto fn) { QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection); };
  const std::string src = native(source);
  if (!platform::fileExists(src)) {
    post([this, source] { AfterTranslate(false, source, {}, {}); });
    post([this] { translateDone(); });
    return;
  }
  plot::CFileCodeConv conv(src, src, clock_);
  if (!conv.convert()) {
    QString why = QString::fromStdString(conv.message());
    post([this, source, why] {
      log(QStringLiteral("character conversion of %1 failed: %2").arg(source, why));
      AfterTranslate(false, source, {}, {});
    });
    post([this] { translateDone(); });
    return;
  }
  QString stamp = makeStamp(now());
  waitMs(100);
  TranslateResult r;
  makeDirs(disposeDir_);
  if (services_.translator) {
    try {
      r = services_.translator->translate(home_.toStdString(), src, native(disposeDir_), stamp.toStdString());
    } catch (const std::exception& e) {
      r = TranslateResult{};
      r.error = e.what();
    } catch (...) {
      r = TranslateResult{};
      r.error = "unknown failure";
    }
  } else {
    r.error = "no translator";
  }
  if (r.ok) {
    QStringList outputs;
    for (const std::string& o : r.outputs) outputs << fromNative(o);
    post([this, source, stamp, outputs] { AfterTranslate(true, source, stamp, outputs); });
  } else {
    QString why = QString::fromStdString(r.error);
    post([this, source, why] {
      log(QStringLiteral("dispose of %1 failed: %2").arg(source, why));
      AfterTranslate(false, source, {}, {});
    });
    QString target;
    bool moved = false;
    if (dirExists(undisposedDir_) || makeDirs(undisposedDir_)) {
      target = freePath(undisposedDir_ + QLatin1Char('/') + fileNameOf(source));
      moved = moveFile(source, target);
    }
    int mode = r.splitMode;
    post([this, source, target, moved, mode] {
      if (moved) {
        log(QStringLiteral("moved %1 to %2").arg(source, target));
        if (mode == 6)
          emit messageBox(QStringLiteral("the file: %1 's width is out of range, it will be moved to: %2").arg(source, target));
          emit messageEvent(QueueMessage::WidthOutOfRange, source, target);
      } else {
        // Left in place: not taken again until it changes or the queue restarts.
        done_.insert(native(source));
        log(QStringLiteral("cannot move %1 to the undisposed folder").arg(source));
      }
    });
  }
  waitMs(1000);
  post([this] { translateDone(); });
}

void CSendQueue::translateDone() {
  if (translateThread_.joinable()) translateThread_.join();
  translating_ = false;
  translatingFile_.clear();
}

void CSendQueue::AfterTranslate(bool ok, const QString& source, const QString& stamp, const QStringList& outputs) {
  if (!ok) {
    waiting_.insert(0, rowFor(source));
    refreshWaitingStatus();
    return;
  }
  for (const QString& out : outputs) {
    QString prefix = disposeDir_ + QLatin1Char('/');
    sendQueue_.append(out.startsWith(prefix) ? out.mid(prefix.size()) : fileNameOf(out));
  }
  bool backedUp;
  QString target;
  if (keepSent_) {
    QString base, ext;
    splitExtension(fileNameOf(source), base, ext);
    target = freePath(printedDir_ + QStringLiteral("/%1_%2%3").arg(base, stamp, ext));
    backedUp = moveFile(source, target);
  } else {
    backedUp = ::unlink(native(source).c_str()) == 0;
  }
  status(backedUp ? QueueStatus::BackupSuccess : QueueStatus::BackupFail);
  if (!backedUp) done_.insert(native(source));
  seen_.erase(native(source));
  log(QStringLiteral("translated %1 into %2 file(s)%3")
          .arg(source)
          .arg(outputs.size())
          .arg(backedUp ? (keepSent_ ? QStringLiteral(", source kept as ") + target : QStringLiteral(", source deleted"))
                        : QStringLiteral(", source could not be backed up")));
  refreshWaitingStatus();
  refreshSendQueueStatus();
}

// ---- transfer -------------------------------------------------------------------------------

void CSendQueue::transferStep() {
  if (transferPaused_ || transferring_ || sendQueue_.count() == 0) return;
  if (splitMode_ == 9) {
    ccdCutStep();
    return;
  }
  transferring_ = true;
  if (transferThread_.joinable()) transferThread_.join();
  QString path = disposeDir_ + QLatin1Char('/') + sendQueue_.text(0);
  sendQueue_.setStatus(0, QStringLiteral("waiting..."));
  sendingFile_ = path;
  emit previewRequested(path);
  try {
    transferThread_ = std::thread(&CSendQueue::transferWorker, this, path);
  } catch (...) {
    emit messageBox(QStringLiteral("Create Transfer Thread Fail!"));
    emit messageEvent(QueueMessage::TransferThreadFailed, {}, {});
    transferring_ = false;
  }
}

void CSendQueue::ccdCutStep() {
  QString path = disposeDir_ + QLatin1Char('/') + sendQueue_.text(0);
  if (!ccdCut_) {
    // The camera workflow lives in the desktop program; headless, the files wait.
    if (ccdNoticeFor_ != path) log(QStringLiteral("page mode 9: %1 waits for the CCD cut window").arg(path));
    ccdNoticeFor_ = path;
    return;
  }
  transferring_ = true;
  emit previewClosed();
  ccdCut_(path);
  TogglePause();
  transferring_ = false;
  // Every file still queued goes to the history.
  while (sendQueue_.count() > 0) {
    QString row = sendQueue_.text(0);
    QString name = fileNameOf(row);
    moveFile(disposeDir_ + QLatin1Char('/') + row, printedDir_ + QLatin1Char('/') + name);
    history_.append(name);
    sendQueue_.remove(0);
  }
  refreshSendQueueStatus();
}

void CSendQueue::transferWorker(QString path) {
  auto post = [this](auto fn) { QMetaObject::invokeMethod(this, std::move(fn), Qt::QueuedConnection); };
  const std::string file = native(path);
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || cancelRequest_) {
    post([this, path] { AfterSend(false, path); });
    waitMs(500);
    post([this] { transferDone(); });
    return;
  }
  const auto size = static_cast<std::int32_t>(std::min<qint64>(st.st_size, std::numeric_limits<std::int32_t>::max()));
  config::CIniConfig cfg(home_.toStdString());
  const int type = cfg.read(config::keys::Xitong_TT);
  const int delay = std::max(0, cfg.read(config::keys::Transfer_DelayTime));
  post([this, path, type, size] { log(QStringLiteral("sending %1 (%2 bytes, Xitong_TT=%3)").arg(path).arg(size).arg(type)); });
  links::SendResult r;
  try {
    r = links::sendWithLink(services_.links, type, *this, file, size);
  } catch (...) {
    r = links::SendResult{};
  }
  if (r.ok) {
    post([this, path] { AfterSend(true, path); });
    waitMs(std::int64_t(delay) * 2000 + (size < 2048 ? 2000 : 0));
  } else {
    QString text = QString::fromStdString(r.text);
    bool unreachable = links::isConnectionFailure(r.text);
    post([this, path, text, unreachable] {
      log(QStringLiteral("send of %1 failed%2").arg(path, text.isEmpty() ? QString() : QStringLiteral(": ") + text));
      if (unreachable && !translatePaused_) TogglePause();
      AfterSend(false, path);
    });
    waitMs(1000);
  }
  post([this] { transferDone(); });
}

void CSendQueue::transferDone() {
  if (transferThread_.joinable()) transferThread_.join();
  transferring_ = false;
  sendingFile_.clear();
  refreshSendQueueStatus();
}

void CSendQueue::AfterSend(bool ok, const QString& path) {
  const QString name = fileNameOf(path);
  for (int i = 0; i < history_.count(); ++i) {
    if (history_.text(i).startsWith(name) && history_.status(i) == QLatin1String("Fail")) {
      history_.remove(i);
      break;
    }
  }
  if (!ok) {
    refreshSendQueueStatus();
    return;
  }
  history_.append(name);
  if (history_.count() >= 2) history_.setStatus(history_.count() - 2, QString());
  history_.setStatus(history_.count() - 1, QStringLiteral("Sending..."));
  ++sentCount_;
  bool kept;
  if (keepSent_) {
    emit previewSent(path);
    kept = moveFile(path, printedDir_ + QLatin1Char('/') + name);
  }
  else
    kept = ::unlink(native(path).c_str()) == 0;
  status(QueueStatus::Sent, sentCount_);
  // The row of the sent file (the first one unless the list was changed meanwhile).
  QString row = path.mid(disposeDir_.size() + 1);
  int at = sendQueue_.find(row);
  if (at >= 0) sendQueue_.remove(at);
  log(QStringLiteral("sent %1%2").arg(path, kept ? QString() : QStringLiteral(" (left in the dispose folder)")));
  refreshSendQueueStatus();
}

// ---- pausing --------------------------------------------------------------------------------

void CSendQueue::TogglePause() {
  transferPaused_ = translatePaused_;
  ToggleTransferPause();
  translatePaused_ = !translatePaused_;
  if (!translatePaused_) {
    emit pauseChanged(QStringLiteral("Pause"), false);
    emit pausedChanged(false, false);
  } else {
    sendQueue_.setStatus(0, QString());
    history_.setStatus(history_.count() - 1, QString());
    emit pauseChanged(QStringLiteral("Continue"), true);
    emit pausedChanged(true, true);
  }
  log(translatePaused_ ? QStringLiteral("paused") : QStringLiteral("running"));
}

void CSendQueue::ToggleTransferPause() {
  transferPaused_ = !transferPaused_;
  cancelRequest_ = transferPaused_;
}

// ---- list moves -----------------------------------------------------------------------------

QString CSendQueue::folderOf(QueueList list) const {
  switch (list) {
    case QueueList::SendQueue: return disposeDir_;
    case QueueList::History: return printedDir_;
    case QueueList::RecycleBin: return cancelledDir_;
    case QueueList::Waiting: return watchDir_;
  }
  return {};
}

FileListModel* CSendQueue::listOf(QueueList list) {
  switch (list) {
    case QueueList::SendQueue: return &sendQueue_;
    case QueueList::History: return &history_;
    case QueueList::RecycleBin: return &bin_;
    case QueueList::Waiting: return &waiting_;
  }
  return nullptr;
}

bool CSendQueue::moveRow(QueueList from, int row, QueueList to, QString* error) {
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  if (from == to || from == QueueList::Waiting || to == QueueList::Waiting) return fail(QStringLiteral("move not offered"));
  FileListModel* src = listOf(from);
  if (row < 0 || row >= src->count()) return fail(QStringLiteral("no such row"));
  if (from == QueueList::SendQueue) {
    if (!transferPaused_) return fail(QStringLiteral("the send queue must be paused first"));
    if (transferring_ && disposeDir_ + QLatin1Char('/') + src->text(row) == sendingFile_)
      return fail(QStringLiteral("the file is being sent"));
  }
  const QString text = src->text(row);
  const QString name = fileNameOf(text);
  const QString targetDir = folderOf(to);
  if (!dirExists(targetDir) && !makeDirs(targetDir)) return fail(QStringLiteral("folder %1 cannot be created").arg(targetDir));
  if (!moveFile(folderOf(from) + QLatin1Char('/') + text, targetDir + QLatin1Char('/') + name))
    return fail(QStringLiteral("%1 cannot be moved").arg(name));
  src->remove(row);
  listOf(to)->append(name);
  log(QStringLiteral("moved %1 from %2 to %3").arg(name, folderOf(from), targetDir));
  refreshSendQueueStatus();
  return true;
}

bool CSendQueue::modifyName(int historyRow, const QString& newName, QString* error) {
  auto fail = [error](const QString& why) {
    if (error) *error = why;
    return false;
  };
  const QString invalid = QStringLiteral("file name invalid!");
  // A new name stays a plain name inside the printed folder.
  if (newName.isEmpty() || newName.contains(QLatin1Char('/')) || newName.contains(QLatin1Char('\\')) ||
      newName.contains(QLatin1String("..")) || newName == QLatin1String(".") || newName.contains(QChar(0)))
    return fail(invalid);
  if (historyRow < 0 || historyRow >= history_.count()) return fail(QStringLiteral("no such row"));
  const QString old = history_.text(historyRow);
  if (old == newName) return true;
  const QString to = printedDir_ + QLatin1Char('/') + newName;
  // Renaming onto another sent file would lose that file.
  if (exists(to)) return fail(invalid);
  if (!moveFile(printedDir_ + QLatin1Char('/') + old, to)) return fail(QStringLiteral("%1 cannot be renamed").arg(old));
  history_.setText(historyRow, newName);
  log(QStringLiteral("renamed %1 to %2").arg(old, newName));
  return true;
}

bool CSendQueue::recordPreviewSend(QueueList from, int row) {
  if (from != QueueList::SendQueue && from != QueueList::RecycleBin) return false;
  FileListModel* src = listOf(from);
  if (row < 0 || row >= src->count()) return false;
  const QString text = src->text(row);
  if (from == QueueList::SendQueue && transferring_ && disposeDir_ + QLatin1Char('/') + text == sendingFile_) return false;
  const QString name = fileNameOf(text);
  if (!dirExists(printedDir_) && !makeDirs(printedDir_)) return false;
  if (!moveFile(folderOf(from) + QLatin1Char('/') + text, printedDir_ + QLatin1Char('/') + name)) return false;
  src->remove(row);
  history_.append(name);
  ++sentCount_;
  status(QueueStatus::Sent, sentCount_);
  log(QStringLiteral("sent from the preview: %1").arg(name));
  refreshSendQueueStatus();
  return true;
}

}  // namespace qel::intake
