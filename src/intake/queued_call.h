#pragma once
// Queued calls from worker threads to the thread of a QObject, handed over so that
// ThreadSanitizer sees the hand-over: Qt's event queue synchronises the two threads inside the
// library with locks the sanitizer cannot see, and would otherwise make every value a worker
// passes look like a data race.
#include <QMetaObject>
#include <QObject>
#include <QString>

#include <utility>

#if defined(__SANITIZE_THREAD__)
#define QEL_INTAKE_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define QEL_INTAKE_TSAN 1
#endif
#endif
#ifdef QEL_INTAKE_TSAN
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace qel::intake {

// Data that a queued call carries to the receiving thread: the sending side releases once the
// data is in place, the receiving side acquires before it uses or destroys it. Without
// ThreadSanitizer this is a plain box.
template <class T>
class QueuedHandoff {
 public:
  explicit QueuedHandoff(T value) : value_(std::move(value)) { published(); }
  QueuedHandoff(const QueuedHandoff& o) : value_(o.value_) { published(); }
  QueuedHandoff(QueuedHandoff&& o) noexcept : value_(std::move(o.value_)) { published(); }
  QueuedHandoff& operator=(const QueuedHandoff&) = delete;
  ~QueuedHandoff() { received(); }
  const T& get() const {
    received();
    return value_;
  }

 private:
  void published() const {
#ifdef QEL_INTAKE_TSAN
    __tsan_release(const_cast<QueuedHandoff*>(this));
#endif
  }
  void received() const {
#ifdef QEL_INTAKE_TSAN
    __tsan_acquire(const_cast<QueuedHandoff*>(this));
#endif
  }
  T value_;
};

// A copy of a string with characters of its own, for a worker to hand over a string it goes on
// holding: a plain QString copy shares its characters, and the count of their holders lives
// inside Qt where ThreadSanitizer cannot see it, so the worker's last release would look like a
// free racing with the receiver's reads.
inline QString ownCopy(const QString& s) { return QString(s.constData(), s.size()); }

// Runs fn on target's thread from its event loop (QMetaObject::invokeMethod, queued).
template <class Fn>
void postQueued(QObject* target, Fn fn) {
  QMetaObject::invokeMethod(
      target, [box = QueuedHandoff<Fn>(std::move(fn))] { box.get()(); }, Qt::QueuedConnection);
}

}  // namespace qel::intake
