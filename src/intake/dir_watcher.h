#pragma once
// The directory watcher: reports files added, removed, renamed and modified in watched
// folders. One worker thread reads the kernel's change events for every watched folder; each
// folder's handler is wrapped in a CDelayedDirectoryChangeHandler that filters the
// notifications and runs the handler on the interface thread (or, without an interface, on
// one notification thread of the process).
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "intake/inotify_decoder.h"

namespace qel::intake {

// Change kinds of the notify filter.
enum NotifyFilter : std::uint32_t {
  kNotifyFileName = 0x001,
  kNotifyDirName = 0x002,
  kNotifyAttributes = 0x004,
  kNotifySize = 0x008,
  kNotifyLastWrite = 0x010,
  kNotifyLastAccess = 0x020,
  kNotifyCreation = 0x040,
  kNotifySecurity = 0x100,
};

// Filter flags of the delayed handler.
enum FilterFlags : std::uint32_t {
  kFilterNoTest = 1,
  kFilterTestRelative = 4,
  kFilterTestNameOnly = 8,
  kFilterAskFirst = 16,
  kFilterNeverAskAfter = 32,
  kFilterNoStarted = 64,
  kFilterNoStopped = 128,
};

// Start errors.
inline constexpr int kErrInvalidParameter = 87;
inline constexpr int kErrBadPathName = 161;
inline constexpr int kErrNoMemory = 14;
inline constexpr int kErrMaxThreads = 164;

// Notification kinds as posted to the interface side.
// kWritten goes with a file's content: written to (error 0) or closed by its writer (error 1); it
// tells a file still being written from one that is complete.
enum NotificationKind { kAdded = 1, kRemoved = 2, kModified = 3, kNameChange = 4, kReadError = 5, kWatchStarted = 6, kWatchStopped = 7,
                        kWritten = 8 };

template <class T>
class CountedRef;

// A folder's handler. Its life is counted: every holder (the caller, the watcher, each
// notification waiting for delivery) keeps a CountedRef, and the last one to let go deletes
// it. The count is reached only through CountedRef, so a holder can neither use a handler it
// has let go nor forget to let go of one; create handlers with makeHandler<T>(...).
class CDirectoryChangeHandler {
 public:
  CDirectoryChangeHandler() = default;
  CDirectoryChangeHandler(const CDirectoryChangeHandler&) = delete;
  CDirectoryChangeHandler& operator=(const CDirectoryChangeHandler&) = delete;

  virtual void OnFileAdded(const QString& path);
  virtual void OnFileRemoved(const QString& path);
  virtual void OnNameChange(const QString& oldPath, const QString& newPath);
  virtual void OnFileModified(const QString& path);
  virtual void OnReadError(int error, const QString& directory);
  virtual void OnWatchStarted(int error, const QString& directory);
  virtual void OnWatchStopped(const QString& directory);
  virtual bool OnFilterTest(int action, const QString& path, const QString& newPath);
  // Bytes were written to the file (closed false), or its writer closed it (closed true).
  virtual void OnFileWritten(const QString& path, bool closed);

 protected:
  virtual ~CDirectoryChangeHandler() = default;

 private:
  template <class T>
  friend class CountedRef;
  // The count starts at 1, owned by the CountedRef that adopts a new handler.
  void AddRef() { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release() {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

  std::atomic<long> refs_{1};
};

// A counted reference to a handler (T is CDirectoryChangeHandler or a class derived from it).
template <class T>
class CountedRef {
 public:
  CountedRef() = default;
  // Takes a further reference to a handler some other holder keeps alive.
  explicit CountedRef(T* h) : h_(h) {
    if (h_) base()->AddRef();
  }
  CountedRef(const CountedRef& o) : CountedRef(o.h_) {}
  CountedRef(CountedRef&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  template <class U>
  CountedRef(const CountedRef<U>& o) : CountedRef(o.get()) {}  // NOLINT: derived to base
  CountedRef& operator=(CountedRef o) noexcept {
    std::swap(h_, o.h_);
    return *this;
  }
  ~CountedRef() {
    if (h_) base()->Release();
  }
  // Takes over the first reference of a handler just created with new.
  static CountedRef adopt(T* fresh) {
    CountedRef r;
    r.h_ = fresh;
    return r;
  }
  T* get() const { return h_; }
  T* operator->() const { return h_; }
  T& operator*() const { return *h_; }
  explicit operator bool() const { return h_ != nullptr; }

 private:
  CDirectoryChangeHandler* base() const { return h_; }
  T* h_ = nullptr;
};

using HandlerRef = CountedRef<CDirectoryChangeHandler>;

// Creates a handler owned by the returned reference.
template <class T, class... Args>
CountedRef<T> makeHandler(Args&&... args) {
  return CountedRef<T>::adopt(new T(std::forward<Args>(args)...));
}

struct Notification {
  int kind = 0;
  QString path;
  QString newPath;
  int error = 0;
};

class CDelayedDirectoryChangeHandler : public CDirectoryChangeHandler {
 public:
  CDelayedDirectoryChangeHandler(CDirectoryChangeHandler* real, bool hasUserInterface, const QString& include,
                                 const QString& exclude, std::uint32_t filterFlags);

  // Called on the worker (or the starting/stopping) thread: drops, posts and for the stopped
  // notification waits until the receiving side has run it.
  void post(const Notification& n);

  // The filter test of the receiving side.
  bool passesFilter(const Notification& n, const QString& watchedDir);

  CDirectoryChangeHandler* realHandler() const { return real_.get(); }
  std::uint32_t filterFlags() const { return flags_; }
  void setWatchedDirectory(const QString& dir) { dir_ = dir; }

 protected:
  ~CDelayedDirectoryChangeHandler() override = default;

 private:
  void dispatch(const Notification& n);
  bool nameMatches(const QString& path) const;

  HandlerRef real_;
  const bool hasUi_;
  QStringList include_;
  QStringList exclude_;
  std::uint32_t flags_;
  QString dir_;
  std::mutex m_;
  std::condition_variable stoppedCv_;
  bool stoppedRun_ = false;
};

// One watched folder.
struct CDirWatchInfo {
  QString directory;  // as passed in
  std::uint32_t notifyFilter = 0;
  bool withSubfolders = false;
  std::map<int, std::string> folders;  // watch descriptor -> folder path relative to directory ("" or "a/b")
  int rootWd = -1;
  int startError = 0;
  int state = 0;  // 1 start requested, 2 stop requested, 3 stopping, 5 listening
  CountedRef<CDelayedDirectoryChangeHandler> handler;
};

class CDirectoryChangeWatcher {
 public:
  explicit CDirectoryChangeWatcher(bool hasUserInterface, std::uint32_t filterFlags = kFilterTestNameOnly);
  ~CDirectoryChangeWatcher();
  CDirectoryChangeWatcher(const CDirectoryChangeWatcher&) = delete;
  CDirectoryChangeWatcher& operator=(const CDirectoryChangeWatcher&) = delete;

  // 0 or an error number (87, 161, 14, 164, or the system's error of adding the watch).
  int StartWatching(const QString& directory, std::uint32_t notifyFilter, CDirectoryChangeHandler* handler,
                    bool withSubfolders, const QString& include = {}, const QString& exclude = {});
  bool StopWatching(const QString& directory);
  bool StopWatchingHandler(CDirectoryChangeHandler* handler);
  void StopAll();
  bool IsWatching(const QString& directory) const;
  std::uint32_t SetFilterFlags(std::uint32_t flags);

 private:
  void workerLoop();
  bool ensureWorker();
  void handleEvents(const std::vector<DecodedEvent>& events);
  void addFolderWatches(CDirWatchInfo& info, const std::string& relative);
  using StoppedList = std::vector<std::pair<CountedRef<CDelayedDirectoryChangeHandler>, QString>>;
  void removeRecordLocked(std::size_t index, StoppedList& stopped);
  static void finishStopped(const StoppedList& stopped);
  std::size_t findLocked(const QString& directory) const;

  const bool hasUi_;
  std::atomic<std::uint32_t> filterFlags_;
  int inotifyFd_ = -1;
  int wakeFd_ = -1;
  std::thread worker_;
  std::atomic<bool> quit_{false};
  mutable std::mutex m_;
  std::vector<std::unique_ptr<CDirWatchInfo>> records_;
  std::map<int, std::vector<CDirWatchInfo*>> byWd_;
  EventDecoder decoder_;
};

}  // namespace qel::intake
