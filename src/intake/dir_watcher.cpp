#include "intake/dir_watcher.h"

#include <QCoreApplication>
#include <QFile>
#include <QMetaObject>
#include <QRegularExpression>
#include <QThread>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "intake/queued_call.h"
#include "platform/trace.h"

namespace qel::intake {

// ---- default slots --------------------------------------------------------------------------

void CDirectoryChangeHandler::OnFileAdded(const QString&) {}
void CDirectoryChangeHandler::OnFileRemoved(const QString&) {}
void CDirectoryChangeHandler::OnNameChange(const QString&, const QString&) {}
void CDirectoryChangeHandler::OnFileModified(const QString&) {}
void CDirectoryChangeHandler::OnReadError(int, const QString&) {}
void CDirectoryChangeHandler::OnWatchStarted(int, const QString&) {}
void CDirectoryChangeHandler::OnWatchStopped(const QString&) {}
bool CDirectoryChangeHandler::OnFilterTest(int, const QString&, const QString&) { return true; }
void CDirectoryChangeHandler::OnFileWritten(const QString&, bool) {}

// ---- delivery -------------------------------------------------------------------------------

namespace {

// Without an interface, notifications run on one notification thread of the process.
QObject* notificationThreadContext() {
  static QObject* context = [] {
    auto* thread = new QThread;
    thread->setObjectName(QStringLiteral("DelayedNotifier"));
    thread->start();
    auto* o = new QObject;
    o->moveToThread(thread);
    return o;
  }();
  return context;
}

QStringList splitPatterns(const QString& text) {
  QStringList out;
  for (const QString& p : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
    QString t = p.trimmed();
    if (!t.isEmpty()) out << t;
  }
  return out;
}

bool wildcardMatch(const QString& pattern, const QString& text) {
  QRegularExpression re(QRegularExpression::wildcardToRegularExpression(pattern),
                        QRegularExpression::CaseInsensitiveOption);
  return re.match(text).hasMatch();
}

QString withSeparator(const QString& dir) { return dir.endsWith(QLatin1Char('/')) ? dir : dir + QLatin1Char('/'); }

QString normalized(const QString& dir) {
  QString d = dir;
  while (d.size() > 1 && d.endsWith(QLatin1Char('/'))) d.chop(1);
  return d;
}

}  // namespace

CDelayedDirectoryChangeHandler::CDelayedDirectoryChangeHandler(CDirectoryChangeHandler* real, bool hasUserInterface,
                                                               const QString& include, const QString& exclude,
                                                               std::uint32_t filterFlags)
    : real_(real),
      hasUi_(hasUserInterface),
      include_(splitPatterns(include)),
      exclude_(splitPatterns(exclude)),
      flags_(filterFlags == 0 ? kFilterTestNameOnly : filterFlags) {}

void CDelayedDirectoryChangeHandler::post(const Notification& n) {
  if (n.kind == kWatchStarted && (flags_ & kFilterNoStarted)) return;
  if (n.kind == kWatchStopped && (flags_ & kFilterNoStopped)) return;
  const bool waitForIt = n.kind == kWatchStopped;
  QObject* target = hasUi_ ? QCoreApplication::instance() : notificationThreadContext();
  if (target == nullptr || (waitForIt && QThread::currentThread() == target->thread())) {
    dispatch(n);
    return;
  }
  if (waitForIt) {
    std::lock_guard<std::mutex> l(m_);
    stoppedRun_ = false;
  }
  // The queued call holds its own reference: the handler lives until the call has run, or
  // until the receiving side drops it unrun (an event loop that has ended deletes it).
  // The receiving side gets texts of its own: none of their buffers is shared with this thread.
  Notification own{n.kind, QString(n.path.constData(), n.path.size()),
                         QString(n.newPath.constData(), n.newPath.size()), n.error};
  postQueued(target, [self = CountedRef<CDelayedDirectoryChangeHandler>(this), n = std::move(own), waitForIt] {
    self->dispatch(n);
    if (waitForIt) {
      std::lock_guard<std::mutex> l(self->m_);
      self->stoppedRun_ = true;
      self->stoppedCv_.notify_all();
    }
  });
  if (waitForIt) {
    // The receiving side may be gone (the event loop has ended): give up after one slice.
    std::unique_lock<std::mutex> l(m_);
    stoppedCv_.wait_for(l, std::chrono::seconds(5), [this] { return stoppedRun_; });
  }
}

void CDelayedDirectoryChangeHandler::dispatch(const Notification& n) {
  if (!passesFilter(n, dir_)) return;
  CDirectoryChangeHandler* h = real_.get();
  switch (n.kind) {
    case kAdded: h->OnFileAdded(n.path); break;
    case kRemoved: h->OnFileRemoved(n.path); break;
    case kModified: h->OnFileModified(n.path); break;
    case kWritten: h->OnFileWritten(n.path, n.error != 0); break;
    case kNameChange: h->OnNameChange(n.path, n.newPath); break;
    case kReadError: h->OnReadError(n.error, n.path); break;
    case kWatchStarted: h->OnWatchStarted(n.error, n.path); break;
    case kWatchStopped:
      // A failing stop handler must not take the process down; its reason goes to the trace.
      try {
        h->OnWatchStopped(n.path);
      } catch (const std::exception& e) {
        platform::trace(std::string("watch stop handler of ") + n.path.toStdString() + " failed: " + e.what());
      } catch (...) {
        platform::trace("watch stop handler of " + n.path.toStdString() + " failed with an exception without text");
      }
      break;
    default: break;
  }
}

bool CDelayedDirectoryChangeHandler::nameMatches(const QString& path) const {
  QString name = path;
  if (flags_ & kFilterTestNameOnly) {
    name = path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
  } else if (flags_ & kFilterTestRelative) {
    QString d = withSeparator(dir_);
    if (path.startsWith(d)) name = path.mid(d.size());
  }
  bool included = include_.isEmpty();
  for (const QString& p : include_)
    if (wildcardMatch(p, name)) {
      included = true;
      break;
    }
  if (!included) return false;
  for (const QString& p : exclude_)
    if (wildcardMatch(p, name)) return false;
  return true;
}

bool CDelayedDirectoryChangeHandler::passesFilter(const Notification& n, const QString&) {
  const std::uint32_t f = flags_;
  if ((f & kFilterNoTest) && (f & kFilterNeverAskAfter)) return true;
  if (n.kind == kReadError || n.kind == kWatchStarted || n.kind == kWatchStopped) return true;
  if ((f & kFilterAskFirst) && !(f & kFilterNeverAskAfter)) {
    if (!real_->OnFilterTest(n.kind, n.path, n.newPath)) return false;
  }
  if (!(f & kFilterNoTest)) {
    bool ok = nameMatches(n.path);
    if (!ok && n.kind == kNameChange) ok = nameMatches(n.newPath);
    if (!ok) return false;
  }
  if (f & (kFilterAskFirst | kFilterNeverAskAfter)) return true;
  return real_->OnFilterTest(n.kind, n.path, n.newPath);
}

// ---- watcher --------------------------------------------------------------------------------

namespace {

std::uint32_t inotifyMask(std::uint32_t notifyFilter) {
  std::uint32_t m = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;
  if (notifyFilter & (kNotifySize | kNotifyLastWrite)) m |= IN_MODIFY | IN_CLOSE_WRITE;
  if (notifyFilter & (kNotifyAttributes | kNotifySecurity | kNotifyCreation | kNotifyLastWrite)) m |= IN_ATTRIB;
  return m;
}

std::string joinRel(const std::string& rel, const std::string& name) { return rel.empty() ? name : rel + "/" + name; }

}  // namespace

CDirectoryChangeWatcher::CDirectoryChangeWatcher(bool hasUserInterface, std::uint32_t filterFlags)
    : hasUi_(hasUserInterface), filterFlags_(filterFlags == 0 ? kFilterTestNameOnly : filterFlags) {}

CDirectoryChangeWatcher::~CDirectoryChangeWatcher() { StopAll(); }

std::uint32_t CDirectoryChangeWatcher::SetFilterFlags(std::uint32_t flags) {
  return filterFlags_.exchange(flags == 0 ? kFilterTestNameOnly : flags);
}

std::size_t CDirectoryChangeWatcher::findLocked(const QString& directory) const {
  QString d = normalized(directory);
  for (std::size_t i = 0; i < records_.size(); ++i)
    if (normalized(records_[i]->directory) == d) return i;
  return records_.size();
}

bool CDirectoryChangeWatcher::IsWatching(const QString& directory) const {
  std::lock_guard<std::mutex> l(m_);
  return findLocked(directory) < records_.size();
}

void CDirectoryChangeWatcher::addFolderWatches(CDirWatchInfo& info, const std::string& relative) {
  std::string base = QFile::encodeName(normalized(info.directory)).toStdString();
  std::string full = relative.empty() ? base : base + "/" + relative;
  int wd = ::inotify_add_watch(inotifyFd_, full.c_str(), inotifyMask(info.notifyFilter) | IN_MASK_ADD);
  if (wd < 0) return;
  info.folders[wd] = relative;
  auto& users = byWd_[wd];
  if (std::find(users.begin(), users.end(), &info) == users.end()) users.push_back(&info);
  if (!info.withSubfolders) return;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(full, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code ec2;
    if (it->is_directory(ec2) && !it->is_symlink(ec2)) addFolderWatches(info, joinRel(relative, it->path().filename().string()));
  }
}

bool CDirectoryChangeWatcher::ensureWorker() {
  if (worker_.joinable()) return true;
  quit_ = false;
  try {
    worker_ = std::thread([this] { workerLoop(); });
  } catch (const std::exception& e) {
    // The caller answers kErrMaxThreads; the system's reason goes to the trace.
    platform::trace(std::string("directory watcher thread cannot start: ") + e.what());
    return false;
  }
  return true;
}

int CDirectoryChangeWatcher::StartWatching(const QString& directory, std::uint32_t notifyFilter,
                                           CDirectoryChangeHandler* handler, bool withSubfolders,
                                           const QString& include, const QString& exclude) {
  if (directory.isEmpty() || notifyFilter == 0 || handler == nullptr) return kErrInvalidParameter;
  struct stat st {};
  QByteArray native = QFile::encodeName(directory);
  if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode)) return kErrBadPathName;
  StopWatching(directory);

  CountedRef<CDelayedDirectoryChangeHandler> delayed;
  {
    std::lock_guard<std::mutex> l(m_);
    if (inotifyFd_ < 0) {
      inotifyFd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
      if (inotifyFd_ < 0) return errno;
      wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
      if (wakeFd_ < 0) {
        int e = errno;
        ::close(inotifyFd_);
        inotifyFd_ = -1;
        return e;
      }
    }
    std::unique_ptr<CDirWatchInfo> info;
    try {
      info = std::make_unique<CDirWatchInfo>();
      delayed = makeHandler<CDelayedDirectoryChangeHandler>(handler, hasUi_, include, exclude, filterFlags_.load());
    } catch (const std::bad_alloc&) {
      return kErrNoMemory;
    }
    delayed->setWatchedDirectory(directory);
    info->directory = directory;
    info->notifyFilter = notifyFilter;
    info->withSubfolders = withSubfolders;
    info->handler = delayed;
    info->state = 1;
    int wd = ::inotify_add_watch(inotifyFd_, native.constData(), inotifyMask(notifyFilter) | IN_MASK_ADD);
    if (wd < 0) {
      int e = errno;
      return (e == ENOENT || e == ENOTDIR) ? kErrBadPathName : e;
    }
    info->rootWd = wd;
    info->folders[wd] = std::string();
    byWd_[wd].push_back(info.get());
    if (withSubfolders) {
      std::error_code ec;
      for (std::filesystem::directory_iterator it(native.toStdString(), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code ec2;
        if (it->is_directory(ec2) && !it->is_symlink(ec2)) addFolderWatches(*info, it->path().filename().string());
      }
    }
    CDirWatchInfo* raw = info.get();
    records_.push_back(std::move(info));
    if (!ensureWorker()) {
      StoppedList stopped;
      removeRecordLocked(records_.size() - 1, stopped);
      return kErrMaxThreads;
    }
    raw->state = 5;
    raw->startError = 0;
  }
  // `delayed` keeps the handler alive for the started notification even if the watch ends
  // at once.
  delayed->post({kWatchStarted, directory, {}, 0});
  return 0;
}

void CDirectoryChangeWatcher::removeRecordLocked(std::size_t index, StoppedList& stopped) {
  CDirWatchInfo* info = records_[index].get();
  for (const auto& [wd, rel] : info->folders) {
    auto it = byWd_.find(wd);
    if (it == byWd_.end()) continue;
    auto& users = it->second;
    users.erase(std::remove(users.begin(), users.end(), info), users.end());
    if (users.empty()) {
      ::inotify_rm_watch(inotifyFd_, wd);
      byWd_.erase(it);
    }
  }
  info->state = 3;
  stopped.emplace_back(std::move(info->handler), info->directory);
  records_.erase(records_.begin() + static_cast<std::ptrdiff_t>(index));
}

void CDirectoryChangeWatcher::finishStopped(const StoppedList& stopped) {
  for (const auto& [handler, directory] : stopped) handler->post({kWatchStopped, directory, {}, 0});
}

bool CDirectoryChangeWatcher::StopWatching(const QString& directory) {
  StoppedList stopped;
  {
    std::lock_guard<std::mutex> l(m_);
    std::size_t i = findLocked(directory);
    if (i == records_.size()) return false;
    removeRecordLocked(i, stopped);
  }
  finishStopped(stopped);
  return true;
}

bool CDirectoryChangeWatcher::StopWatchingHandler(CDirectoryChangeHandler* handler) {
  StoppedList stopped;
  {
    std::lock_guard<std::mutex> l(m_);
    for (std::size_t i = records_.size(); i-- > 0;) {
      if (records_[i]->handler->realHandler() != handler) continue;
      removeRecordLocked(i, stopped);
    }
  }
  finishStopped(stopped);
  return !stopped.empty();
}

void CDirectoryChangeWatcher::StopAll() {
  StoppedList stopped;
  {
    std::lock_guard<std::mutex> l(m_);
    while (!records_.empty()) {
      removeRecordLocked(records_.size() - 1, stopped);
    }
  }
  finishStopped(stopped);
  if (worker_.joinable()) {
    quit_ = true;
    std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    worker_.join();
  }
  std::lock_guard<std::mutex> l(m_);
  if (inotifyFd_ >= 0) ::close(inotifyFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
  inotifyFd_ = wakeFd_ = -1;
  byWd_.clear();
  decoder_ = EventDecoder();
}

void CDirectoryChangeWatcher::workerLoop() {
  std::vector<char> buf(64 * 1024);
  while (!quit_) {
    pollfd fds[2] = {{inotifyFd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    // A moved-from event held back waits briefly for its partner from the next read.
    int r = ::poll(fds, 2, decoder_.hasPending() ? 20 : -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (r == 0) {
      handleEvents(decoder_.flush());
      continue;
    }
    if (fds[1].revents & POLLIN) {
      std::uint64_t v;
      (void)!::read(wakeFd_, &v, sizeof v);
      if (quit_) break;
    }
    if (fds[0].revents & POLLIN) {
      for (;;) {
        ssize_t n = ::read(inotifyFd_, buf.data(), buf.size());
        if (n <= 0) break;
        handleEvents(decoder_.feed(parseInotifyBuffer(buf.data(), static_cast<std::size_t>(n))));
      }
    }
  }
}

void CDirectoryChangeWatcher::handleEvents(const std::vector<DecodedEvent>& events) {
  if (events.empty()) return;
  StoppedList stopped;
  {
    std::lock_guard<std::mutex> l(m_);
    auto pathOf = [](CDirWatchInfo* info, int wd, const std::string& name) {
      return withSeparator(info->directory) + QFile::decodeName(QByteArray::fromStdString(joinRel(info->folders[wd], name)));
    };
    auto usersOf = [this](int wd) {
      auto it = byWd_.find(wd);
      return it == byWd_.end() ? std::vector<CDirWatchInfo*>{} : it->second;
    };
    auto wants = [](CDirWatchInfo* info, bool isDir) {
      return (info->notifyFilter & (isDir ? kNotifyDirName : kNotifyFileName)) != 0;
    };
    for (const DecodedEvent& e : events) {
      switch (e.kind) {
        case DecodedEvent::WatchGone:
          for (CDirWatchInfo* info : usersOf(e.wd)) {
            if (e.wd == info->rootWd) {
              info->handler->post({kReadError, info->directory, {}, ENOENT});
              std::size_t idx = findLocked(info->directory);
              if (idx < records_.size()) removeRecordLocked(idx, stopped);
            } else if (e.name != "moved") {
              info->folders.erase(e.wd);
              auto it = byWd_.find(e.wd);
              if (it != byWd_.end()) {
                auto& users = it->second;
                users.erase(std::remove(users.begin(), users.end(), info), users.end());
                if (users.empty()) byWd_.erase(it);
              }
            }
          }
          break;
        case DecodedEvent::DirCreated:
          for (CDirWatchInfo* info : usersOf(e.wd)) {
            if (info->withSubfolders) addFolderWatches(*info, joinRel(info->folders[e.wd], e.name));
            if (wants(info, true)) info->handler->post({kAdded, pathOf(info, e.wd, e.name), {}, 0});
          }
          break;
        case DecodedEvent::Added:
        case DecodedEvent::Removed:
        case DecodedEvent::Modified: {
          int kind = e.kind == DecodedEvent::Added ? kAdded : e.kind == DecodedEvent::Removed ? kRemoved : kModified;
          for (CDirWatchInfo* info : usersOf(e.wd)) {
            if (kind != kModified && !wants(info, e.isDir)) continue;
            if (kind == kModified && e.isDir) continue;
            info->handler->post({kind, pathOf(info, e.wd, e.name), {}, 0});
            if (e.written) info->handler->post({kWritten, pathOf(info, e.wd, e.name), {}, 0});
          }
          break;
        }
        case DecodedEvent::ClosedAfterWrite:
          if (e.isDir) break;
          for (CDirWatchInfo* info : usersOf(e.wd)) info->handler->post({kWritten, pathOf(info, e.wd, e.name), {}, 1});
          break;
        case DecodedEvent::NameChange: {
          auto oldUsers = usersOf(e.wd);
          auto newUsers = usersOf(e.newWd);
          for (CDirWatchInfo* info : oldUsers) {
            bool both = std::find(newUsers.begin(), newUsers.end(), info) != newUsers.end();
            QString oldPath = pathOf(info, e.wd, e.name);
            if (both) {
              QString newPath = pathOf(info, e.newWd, e.newName);
              if (e.isDir && info->withSubfolders) {
                // Folders below the renamed one keep their watches under the new name.
                std::string from = joinRel(info->folders[e.wd], e.name);
                std::string to = joinRel(info->folders[e.newWd], e.newName);
                for (auto& [wd, rel] : info->folders)
                  if (rel == from || rel.rfind(from + "/", 0) == 0) rel = to + rel.substr(from.size());
              }
              if (wants(info, e.isDir)) info->handler->post({kNameChange, oldPath, newPath, 0});
            } else if (wants(info, e.isDir)) {
              info->handler->post({kRemoved, oldPath, {}, 0});
            }
          }
          for (CDirWatchInfo* info : newUsers) {
            if (std::find(oldUsers.begin(), oldUsers.end(), info) != oldUsers.end()) continue;
            if (e.isDir && info->withSubfolders) addFolderWatches(*info, joinRel(info->folders[e.newWd], e.newName));
            if (wants(info, e.isDir)) info->handler->post({kAdded, pathOf(info, e.newWd, e.newName), {}, 0});
          }
          break;
        }
      }
    }
  }
  finishStopped(stopped);
}

}  // namespace qel::intake
