#pragma once
// Child processes and sockets in tests: end a process with a deadline, read a socket until
// enough has come. Neither waits longer than its deadline.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <string>

#include "support/wait.h"

namespace qel::test {

// Sends `sig` and waits up to `timeoutMs` for the process to end, then kills it. The exit
// status, or -1 when it had to be killed or did not exit normally. Sets pid to -1.
inline int endProcess(pid_t& pid, int sig, int timeoutMs) {
  if (pid <= 0) return -1;
  ::kill(pid, sig);
  int st = 0;
  int status = -1;
  if (!waitUntil([&] { return ::waitpid(pid, &st, WNOHANG) == pid; }, timeoutMs, 10)) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &st, 0);
  } else if (WIFEXITED(st)) {
    status = WEXITSTATUS(st);
  }
  pid = -1;
  return status;
}

// Reads from fd until `enough` holds for what came, the stream ends or `timeoutMs` pass.
inline std::string readUntil(int fd, const std::function<bool(const std::string&)>& enough, int timeoutMs = 5000) {
  std::string got;
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!enough(got) && std::chrono::steady_clock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    char buf[256];
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    got.append(buf, static_cast<std::size_t>(n));
  }
  return got;
}

}  // namespace qel::test
