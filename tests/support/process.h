#pragma once
// Child processes and sockets in tests: run a command to its end, keep a program running in the
// background with its output in a log and end it with a deadline, read a socket until enough has
// come. None of them waits longer than its deadline.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "support/wait.h"

namespace qel::test {

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

struct CommandResult {
  int status = -1;     // the exit status; -1 when the command did not exit by itself
  std::string output;  // standard output and standard error together
};

// Runs a shell command line to its end.
inline CommandResult runCommand(const std::string& commandLine) {
  CommandResult r;
  std::FILE* p = ::popen((commandLine + " 2>&1").c_str(), "r");
  if (!p) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

// A program running in the background (argv[0] is its path), standard output and error in
// `logPath`; ended by `stopSignal` (as Ctrl-C or a service stop would) when the test is done.
class ChildProcess {
 public:
  ChildProcess(std::vector<std::string> argv, std::string logPath, int stopSignal = SIGTERM)
      : log_(std::move(logPath)), stopSignal_(stopSignal) {
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(fd, 1);
      ::dup2(fd, 2);
      std::vector<char*> args;
      for (auto& a : argv) args.push_back(a.data());
      args.push_back(nullptr);
      ::execv(args[0], args.data());
      ::_exit(127);
    }
  }
  ~ChildProcess() { stop(); }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  std::string log() const {
    std::ifstream in(log_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  // Whether `text` is in the log after its first `from` characters (now, or within timeoutMs).
  bool logHas(const std::string& text, std::size_t from = 0) const { return log().find(text, from) != std::string::npos; }
  bool waitLog(const std::string& text, std::size_t from = 0, int timeoutMs = 10000) const {
    return waitUntil([&] { return logHas(text, from); }, timeoutMs, 20);
  }
  void signal(int sig) const { ::kill(pid_, sig); }
  // Ends the program with its stop signal, killing it when it has not ended within `timeoutMs`;
  // its exit status, or -1 when it had to be killed. Only the first call ends it.
  int stop(int timeoutMs = 15000) {
    if (pid_ <= 0) return status_;
    ::kill(pid_, stopSignal_);
    int st = 0;
    if (!waitUntil([&] { return ::waitpid(pid_, &st, WNOHANG) == pid_; }, timeoutMs, 10)) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, &st, 0);
    } else if (WIFEXITED(st)) {
      status_ = WEXITSTATUS(st);
    }
    pid_ = -1;
    return status_;
  }

 private:
  std::string log_;
  int stopSignal_;
  pid_t pid_ = -1;
  int status_ = -1;
};

}  // namespace qel::test
