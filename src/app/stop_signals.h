#pragma once
// SIGINT (Ctrl-C) and SIGTERM (the service manager, `kill`) stop a program that runs an event
// loop cleanly: the handler only writes a byte to a socket pair, and the loop's notifier then
// calls onStop on the main thread, where the program closes its windows and queue as it would on
// any other way out. One instance per program; the default handlers are back when it goes.
#include <QObject>
#include <QSocketNotifier>

#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>

namespace qel::app {

class StopSignals {
 public:
  explicit StopSignals(std::function<void()> onStop) : onStop_(std::move(onStop)) {
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_) != 0) return;
    writeFd() = fds_[0];
    struct sigaction sa {};
    sa.sa_handler = [](int) {
      char c = 1;
      (void)!::write(writeFd(), &c, 1);
    };
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);
    notifier_ = std::make_unique<QSocketNotifier>(fds_[1], QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
      char c;
      (void)!::read(fds_[1], &c, 1);
      if (onStop_) onStop_();
    });
  }
  ~StopSignals() {
    if (fds_[0] < 0) return;
    ::signal(SIGINT, SIG_DFL);
    ::signal(SIGTERM, SIG_DFL);
    notifier_.reset();
    writeFd() = -1;
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;
  // False when the signals could not be set up (they then end the program at once).
  bool ok() const { return fds_[0] >= 0; }

 private:
  static int& writeFd() {
    static int fd = -1;
    return fd;
  }
  std::function<void()> onStop_;
  int fds_[2] = {-1, -1};
  std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace qel::app
