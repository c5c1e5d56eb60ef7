// Folder scanning of the send queue: the waiting list from the watch folder, the stability
// test of files still being written, the watcher, and the leftovers of an earlier run.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

#include <QRegularExpression>

#include "intake/list_box_handler.h"
#include "platform/open_writers.h"
#include "intake/send_queue_impl.h"

namespace qel::intake {

using namespace queue;

namespace {

// Name-only tests, never ask, no started/stopped notifications.
constexpr std::uint32_t kWatcherFlags = kFilterTestNameOnly | kFilterNeverAskAfter | kFilterNoStarted | kFilterNoStopped;
// Names, attributes, size, times, security.
constexpr std::uint32_t kWatcherFilter = kNotifyFileName | kNotifyAttributes | kNotifySize | kNotifyLastWrite |
                                         kNotifyLastAccess | kNotifyCreation | kNotifySecurity;
static_assert(kWatcherFlags == 232 && kWatcherFilter == 381, "the watcher's flags as the queue has always set them");

// Drawings (PDF, SVG) are taken as plot files are; what a file holds decides how it is read.
const char* const kPlotPatterns[] = {"*.PLT", "*.HPG", "*.HP2", "*.HPGL", "*.PDF", "*.SVG"};

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

// Every file of a folder (not only plot files), in name order.
std::vector<DirEntry> listFolderAll(const std::string& dir) {
  std::vector<DirEntry> out;
  DIR* d = ::opendir(dir.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d)) {
    if (e->d_name[0] == '.') continue;
    DirEntry entry;
    entry.name = e->d_name;
    if (::fstatat(::dirfd(d), e->d_name, &entry.st, 0) != 0) continue;
    entry.isDir = S_ISDIR(entry.st.st_mode);
    if (!entry.isDir && !S_ISREG(entry.st.st_mode)) continue;
    out.push_back(std::move(entry));
  }
  ::closedir(d);
  std::sort(out.begin(), out.end(), [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  return out;
}

// The history shows at most this many of the printed folder's files at start, the newest.
constexpr std::size_t kHistoryRowsAtStart = 5000;

}  // namespace

void CSendQueue::Impl::collectLeftovers() {
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
  if (!unsent.isEmpty()) emit q.messageEvent(QueueMessage::LeftoversUnsent, unsent.join(QStringLiteral(", ")), {});
}

void CSendQueue::Impl::startWatcher() {
  if (!watcher_) return;
  watcher_->SetFilterFlags(kWatcherFlags);
  watcher_->StopWatching(watchDir_);
  auto handler = makeHandler<CDirectoryChangeHandler_ListBox>(
      &waiting_, [this](int, const QString&) { refreshWaitingStatus(); }, watchDir_, watcherFilter_);
  // Writes seen by the watcher keep a file from being taken until its writer has closed it.
  handler->setWrittenFn(
      [this](const QString& path, bool closed) { settle_.written(native(stripTrailingSeparator(path)), closed, clock_->nowMs()); });
  watcher_->StartWatching(watchDir_, kWatcherFilter, handler.get(), watcherSubDir_, QString(), QString());
}

QString CSendQueue::Impl::rowFor(const QString& fullPath) const {
  if (!fullPath.startsWith(watchDir_)) return fullPath;
  QString rest = fullPath.mid(watchDir_.size());
  qsizetype i = 0;
  while (i < rest.size() && rest[i] == QLatin1Char(' ')) ++i;
  return rest.mid(i);
}

bool CSendQueue::Impl::isStable(const QString& fullPath) { return takeable(native(fullPath), clock_->nowMs()); }

bool CSendQueue::Impl::takeable(const std::string& path, std::int64_t nowMs) {
  if (!settle_.settled(path, nowMs)) return false;
  if (!writers_) writers_.emplace();
  if (!writers_->holds(path)) return true;
  settle_.written(path, false, nowMs);
  if (heldOpen_.insert(path).second)
    log(QStringLiteral("%1 is still open for writing: it is taken once its writer has closed it").arg(fromNative(path)));
  return false;
}

void CSendQueue::Impl::ScanFolder(const QString& dir) {
  writers_.reset();
  QStringList rows;
  std::unordered_set<std::string> seen;
  scanInto(dir, rows, seen);
  settle_.keepOnly(seen);
  for (auto it = done_.begin(); it != done_.end();) it = seen.count(*it) ? std::next(it) : done_.erase(it);
  for (auto it = heldOpen_.begin(); it != heldOpen_.end();) it = seen.count(*it) ? std::next(it) : heldOpen_.erase(it);
  if (rows != waiting_.texts()) {
    waiting_.setTexts(rows);
    refreshWaitingStatus();  // files moved at once (page modes 5 and 9) leave the count too
  }
}

void CSendQueue::Impl::scanInto(const QString& dirIn, QStringList& rows, std::unordered_set<std::string>& seen) {
  const QString dir = stripTrailingSeparator(dirIn);
  const std::string nativeDir = native(dir);
  const std::string nativeWatch = native(watchDir_);
  // These modes do not translate: a file goes straight into the dispose folder.
  const bool moveAtOnce = splitMode_ == config::PageMode::NoSplit || splitMode_ == config::PageMode::CcdCut;
  const std::int64_t now = clock_->nowMs();
  for (const DirEntry& e : listFolder(nativeDir)) {
    std::string key = nativeDir + "/" + e.name;
    if (e.isDir) {
      if (watcherSubDir_ && e.name[0] != '.') scanInto(fromNative(key), rows, seen);
      continue;
    }
    seen.insert(key);
    settle_.look(key, {e.st.st_size, std::int64_t(e.st.st_mtim.tv_sec) * 1000000000 + e.st.st_mtim.tv_nsec}, now);
    if (done_.count(key)) continue;
    if (moveAtOnce) {
      if (takeable(key, now)) {
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
  }
}

bool queue::isSourceBackupName(const QString& name) {
  static const QRegularExpression backup(QStringLiteral("_\\d{8}_\\d{6}(_\\d+)?\\.[^.]+$"));
  static const QRegularExpression page(QStringLiteral("_\\d{8}_\\d{6}_\\d{3}\\.PLT$"));
  return backup.match(name).hasMatch() && !page.match(name).hasMatch();
}

void CSendQueue::Impl::rebuildHistory() {
  struct Entry {
    QString name;
    std::int64_t mtimeNs;
  };
  std::vector<Entry> entries;
  for (const DirEntry& e : listFolderAll(native(printedDir_))) {
    const QString name = fromNative(e.name);
    if (e.isDir || isSourceBackupName(name)) continue;
    entries.push_back({name, std::int64_t(e.st.st_mtim.tv_sec) * 1000000000 + e.st.st_mtim.tv_nsec});
  }
  // Oldest first, so that the newest row is the last, as sends append them.
  std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.mtimeNs < b.mtimeNs; });
  if (entries.size() > kHistoryRowsAtStart) entries.erase(entries.begin(), entries.end() - kHistoryRowsAtStart);
  QStringList names;
  for (const Entry& e : entries) names << e.name;
  history_.setTexts(names);
  if (!names.isEmpty()) log(QStringLiteral("history: %1 sent file(s) from %2").arg(names.size()).arg(printedDir_));
}

}  // namespace qel::intake
