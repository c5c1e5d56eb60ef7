// The frame every port kind shares: reconnection until the host gives up.
#include "controller/port.h"

namespace qel::controller {

bool CPort::runReconnect(const std::function<bool(int attempt)>& reopen) {
  if (openMask_.load() == 0) return false;
  std::unique_lock<std::timed_mutex> lock(reconnectMutex_, std::try_to_lock);
  if (!lock.owns_lock()) return false;  // another thread is reconnecting
  std::atomic<std::int32_t> cancel{0};
  notify(0x504, 1, reinterpret_cast<std::intptr_t>(&cancel));
  reconnecting_ = 0xFFFFFFFFu;
  close(-1);
  bool ok = false;
  for (int attempt = 0; cancel.load() == 0; ++attempt) {
    if (reopen(attempt)) {
      ok = true;
      break;
    }
  }
  notify(0x504, 0, 0);
  if (!ok) close(-1);
  reconnecting_ = 0;
  return ok;
}

}  // namespace qel::controller
