#pragma once
// A non-blocking form of Lamport's bakery lock: tryAcquire either takes the lock or refuses at
// once when another thread holds or is ahead in line. Buffers retry until they win; the pumps
// try once and leave the work to whichever thread holds them.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

namespace qel::controller {

class CBakeryLock {
 public:
  CBakeryLock() = default;
  ~CBakeryLock();
  CBakeryLock(const CBakeryLock&) = delete;
  CBakeryLock& operator=(const CBakeryLock&) = delete;

  bool tryAcquire();
  void acquire() {
    while (!tryAcquire()) std::this_thread::yield();
  }
  void release();
  void setDisabled(bool d) { disabled_.store(d); }

 private:
  struct Record {
    std::thread::id thread;
    std::uint32_t arrival = 0;
    std::atomic<bool> choosing{false};
    std::atomic<std::uint32_t> ticket{0};
    std::atomic<Record*> next{nullptr};
  };
  Record* recordOf(std::thread::id id);

  std::atomic<Record*> head_{nullptr};
  Record* tail_ = nullptr;
  std::uint32_t count_ = 0;
  std::mutex appendMutex_;
  std::atomic<bool> disabled_{false};
};

class CBakeryGuard {
 public:
  explicit CBakeryGuard(CBakeryLock& l) : l_(l) { l_.acquire(); }
  ~CBakeryGuard() { l_.release(); }
  CBakeryGuard(const CBakeryGuard&) = delete;
  CBakeryGuard& operator=(const CBakeryGuard&) = delete;

 private:
  CBakeryLock& l_;
};

}  // namespace qel::controller
