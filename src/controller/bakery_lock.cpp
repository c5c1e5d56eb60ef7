#include "controller/bakery_lock.h"

namespace qel::controller {

CBakeryLock::~CBakeryLock() {
  Record* r = head_.load();
  while (r) {
    Record* n = r->next.load();
    delete r;
    r = n;
  }
}

CBakeryLock::Record* CBakeryLock::recordOf(std::thread::id id) {
  for (Record* r = head_.load(std::memory_order_acquire); r; r = r->next.load(std::memory_order_acquire))
    if (r->thread == id) return r;
  std::lock_guard<std::mutex> g(appendMutex_);
  auto* r = new Record;
  r->thread = id;
  r->arrival = count_++;
  if (tail_)
    tail_->next.store(r, std::memory_order_release);
  else
    head_.store(r, std::memory_order_release);
  tail_ = r;
  return r;
}

bool CBakeryLock::tryAcquire() {
  if (disabled_.load()) return true;
  Record* me = recordOf(std::this_thread::get_id());
  me->choosing.store(true);
  std::uint32_t highest = 0;
  for (Record* r = head_.load(); r; r = r->next.load()) highest = std::max(highest, r->ticket.load());
  const std::uint32_t mine = highest + 1;
  me->ticket.store(mine);
  me->choosing.store(false);
  for (Record* r = head_.load(); r; r = r->next.load()) {
    if (r == me) continue;
    while (r->choosing.load()) {
      if (disabled_.load()) {
        me->ticket.store(0);
        return false;
      }
      std::this_thread::yield();
    }
    const std::uint32_t t = r->ticket.load();
    if (t != 0 && (t < mine || (t == mine && r->arrival < me->arrival))) {
      me->ticket.store(0);
      return false;
    }
  }
  return true;
}

void CBakeryLock::release() {
  if (disabled_.load()) return;
  Record* me = recordOf(std::this_thread::get_id());
  me->ticket.store(0);
}

}  // namespace qel::controller
