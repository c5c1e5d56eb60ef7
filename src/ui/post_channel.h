#pragma once
// Hands results of worker threads to an object of the interface thread while that object
// lives. The object closes the channel when it goes; a worker that finishes later posts to
// nobody. Workers keep the channel by shared pointer.
#include <QMetaObject>
#include <QObject>

#include <memory>
#include <mutex>

namespace qel::ui {

class PostChannel {
 public:
  explicit PostChannel(QObject* target) : target_(target) {}
  static std::shared_ptr<PostChannel> make(QObject* target) { return std::make_shared<PostChannel>(target); }
  void close() {
    std::lock_guard<std::mutex> g(mutex_);
    target_ = nullptr;
  }
  // Runs f(target) on the target's thread, later, unless the target is gone by then; false
  // when it is gone already.
  template <class T, class F>
  bool post(F f) {
    std::lock_guard<std::mutex> g(mutex_);
    if (!target_) return false;
    T* t = static_cast<T*>(target_);
    QMetaObject::invokeMethod(target_, [t, f = std::move(f)] { f(t); }, Qt::QueuedConnection);
    return true;
  }

 private:
  std::mutex mutex_;
  QObject* target_;
};

}  // namespace qel::ui
