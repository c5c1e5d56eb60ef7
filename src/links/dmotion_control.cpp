#include "links/dmotion_control.h"

#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "controller/crc.h"
#include "links/controller_transfer.h"
#include "links/mc_socket.h"

namespace qel::links {

namespace {
std::string num(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%f", v);
  return buf;
}
}  // namespace

CDMotionControl::~CDMotionControl() { Close(); }

void CDMotionControl::SetIP(const std::string& address) {
  std::lock_guard<std::mutex> g(mutex_);
  address_ = address;
}

std::string CDMotionControl::address() const {
  std::lock_guard<std::mutex> g(mutex_);
  return address_;
}

bool CDMotionControl::Open(short kind, short port) {
  std::lock_guard<std::mutex> g(mutex_);
  if (kind != 2) return false;
  mcsock::closeSocket(fd_);
  pending_.clear();
  fd_ = mcsock::connectTcp(address_, port, connectTimeoutMs_);
  if (fd_ < 0) return false;
  port_ = port;
  std::string answer;
  if (!mcsock::sendAll(fd_, "?open\n", 6) || !readLine(&answer, replyTimeoutMs_) || answer != "1") {
    mcsock::closeSocket(fd_);
    return false;
  }
  return true;
}

void CDMotionControl::Close(std::int32_t) {
  std::lock_guard<std::mutex> g(mutex_);
  mcsock::closeSocket(fd_);
  pending_.clear();
}

bool CDMotionControl::IsOpen(std::int32_t port) {
  std::lock_guard<std::mutex> g(mutex_);
  if (fd_ >= 0 && !mcsock::stillOpen(fd_)) mcsock::closeSocket(fd_);
  return fd_ >= 0 && port_ == port;
}

bool CDMotionControl::readLine(std::string* line, int timeoutMs) {
  for (;;) {
    const std::size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      *line = pending_.substr(0, nl);
      if (!line->empty() && line->back() == '\r') line->pop_back();
      pending_.erase(0, nl + 1);
      return true;
    }
    char buf[512];
    const long n = mcsock::recvSome(fd_, buf, sizeof buf, timeoutMs);
    if (n <= 0) return false;
    pending_.append(buf, static_cast<std::size_t>(n));
  }
}

bool CDMotionControl::request(const std::string& line, std::string* answer) {
  std::lock_guard<std::mutex> g(mutex_);
  if (fd_ < 0) return false;
  const std::string out = line + "\n";
  if (!mcsock::sendAll(fd_, out.data(), out.size()) || !readLine(answer, replyTimeoutMs_)) {
    // A connection that lost an answer is out of step: it is closed, not reused.
    mcsock::closeSocket(fd_);
    return false;
  }
  return true;
}

bool CDMotionControl::requestOk(const std::string& line) {
  std::string a;
  return request(line, &a) && a == "OK";
}

bool CDMotionControl::requestValue(const std::string& line, double* value) {
  std::string a;
  if (!request(line, &a) || a == "ERROR") return false;
  char* end = nullptr;
  const double v = std::strtod(a.c_str(), &end);
  if (a.empty() || end == a.c_str() || !std::isfinite(v)) return false;
  if (value) *value = v;
  return true;
}

bool CDMotionControl::Base(short count, const std::vector<short>& axes) {
  if (count <= 0 || static_cast<std::size_t>(count) > axes.size()) return false;
  std::string line = "base(";
  for (short i = 0; i < count; ++i) line += (i ? "," : "") + std::to_string(axes[static_cast<std::size_t>(i)]);
  return requestOk(line + ")");
}

bool CDMotionControl::MoveAbs(short count, const std::vector<short>& axes, const std::vector<double>& positions) {
  if (count <= 0 || static_cast<std::size_t>(count) > axes.size() || static_cast<std::size_t>(count) > positions.size())
    return false;
  // The axes become the base of the move.
  if (!Base(count, axes)) return false;
  std::string line = "moveabs(";
  for (short i = 0; i < count; ++i) line += (i ? "," : "") + num(positions[static_cast<std::size_t>(i)]);
  return requestOk(line + ")");
}

bool CDMotionControl::SetOp(short output, short value) {
  return requestOk("op(" + std::to_string(output) + "," + std::to_string(value) + ")");
}

bool CDMotionControl::GetAxisParam(const std::string& name, double* value) {
  if (name.empty() || name.find_first_of("\r\n") != std::string::npos) return false;
  return requestValue("?" + name, value);
}

bool CDMotionControl::SetAxisParam(const std::string& name, double value) {
  if (name.empty() || name.find_first_of("\r\n=") != std::string::npos) return false;
  return requestOk(name + "=" + num(value));
}

bool CDMotionControl::GetVr(short number, double* value) {
  return requestValue("?vr(" + std::to_string(number) + ")", value);
}

bool CDMotionControl::SetVr(short number, double value) {
  return requestOk("vr(" + std::to_string(number) + ")=" + num(value));
}

bool CDMotionControl::GetIn(short first, short last, std::int32_t* value) {
  double v = 0;
  if (!requestValue("?in(" + std::to_string(first) + "," + std::to_string(last) + ")", &v)) return false;
  if (value) *value = static_cast<std::int32_t>(v);
  return true;
}

void CDMotionControl::setDownloadName(std::string name) {
  std::lock_guard<std::mutex> g(mutex_);
  downloadName_ = std::move(name);
}

bool CDMotionControl::Download(const std::string& path, std::int32_t, const std::string&, std::int32_t, bool,
                               std::int32_t, bool, std::int32_t) {
  const int file = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (file < 0) return false;
  std::lock_guard<std::mutex> g(mutex_);
  bool ok = fd_ >= 0;
  const std::string head = CController_Transfer::header(downloadName_.empty() ? path : downloadName_);
  ok = ok && mcsock::sendAll(fd_, head.data(), head.size());
  std::uint16_t crc = 0;
  std::string block(65536, '\0');
  while (ok) {
    const ssize_t n = ::read(file, block.data(), block.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ok = false;
    if (n <= 0) break;
    crc = controller::crc16Fast(block.data(), static_cast<std::size_t>(n), crc);
    const std::string esc = CController_Transfer::escape(block.substr(0, static_cast<std::size_t>(n)));
    ok = mcsock::sendAll(fd_, esc.data(), esc.size());
  }
  ::close(file);
  ok = ok && mcsock::sendAll(fd_, "\x03", 1);
  // The answer: 0x02, "CRC=..." or "ABORT", 0x03.
  std::string reply;
  bool collecting = false, done = false;
  while (ok && !done) {
    char buf[256];
    const long n = mcsock::recvSome(fd_, buf, sizeof buf, replyTimeoutMs_ * 10);
    if (n <= 0) {
      ok = false;
      break;
    }
    for (long i = 0; i < n && !done; ++i) {
      if (!collecting) {
        collecting = buf[i] == '\x02';
        reply.clear();
      } else if (buf[i] == '\x03') {
        done = true;
      } else {
        reply += buf[i];
      }
    }
  }
  if (!ok) {
    mcsock::closeSocket(fd_);
    return false;
  }
  std::uint32_t received = 0;
  return CController_Transfer::parseReply(reply, &received) == CController_Transfer::kFlagCrc && received == crc;
}

}  // namespace qel::links
