// The coordinator's multiplexed channels on one connection: ESC and a digit switch the channel
// (in MPE mode), and each channel carries command lines (MPE on and off, project loading, the
// project key, the system loader's confirmation) until a download or a program takes it over.
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "coordinator_sim.h"

namespace qel::sim {
namespace {

int digitChannel(std::uint8_t d) {
  switch (d) {
    case '0': return 0;
    case '5': return 5;
    case '6': return 6;
    case '7': return 7;
    case '8': return 8;
    case '9': return 9;
    case '/': return -1;
    default: return -2;
  }
}
char channelDigit(int ch) { return ch == -1 ? '/' : static_cast<char>('0' + ch); }

// Writes all of bytes to fd; false when the stream is gone. A peer that has gone away ends
// the write with an error, never with SIGPIPE (which would end the whole simulator).
bool writeAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  bool socket = true;
  while (done < bytes.size()) {
    ssize_t n = socket ? ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL) : -1;
    if (n < 0 && errno == ENOTSOCK) socket = false;
    if (!socket) n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno == EAGAIN) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

SimConnection::SimConnection(CoordinatorSim& sim, int fd, bool remote) : sim_(sim), fd_(fd), remote_(remote) {}

SimConnection::~SimConnection() { release(); }

void SimConnection::drop() {
  std::lock_guard<std::mutex> g(writeMutex_);
  dropped_ = true;
  // A socket wakes its reader with end of stream; a pseudo-terminal's serving thread sees
  // dropped() within its poll step.
  const int fd = fd_.load();
  if (fd >= 0) ::shutdown(fd, SHUT_RDWR);
}

void SimConnection::release() {
  std::lock_guard<std::mutex> g(writeMutex_);
  dropped_ = true;
  const int fd = fd_.exchange(-1);
  if (fd >= 0) ::close(fd);
}

void SimConnection::sendRaw(const std::string& bytes) {
  std::lock_guard<std::mutex> g(writeMutex_);
  if (!dropped_ && fd_ >= 0) writeAll(fd_, bytes);
}

void SimConnection::send(int channel, const std::string& bytes) {
  if (sim_.faults().silent) return;
  std::lock_guard<std::mutex> g(writeMutex_);
  if (dropped_ || fd_ < 0) return;
  std::string out;
  if (mpe_ && channel != outChan_) {
    out += '\x1b';
    out += channelDigit(channel);
    outChan_ = channel;
  }
  out += bytes;
  writeAll(fd_, out);
}

void SimConnection::feed(const std::uint8_t* data, std::size_t len) {
  for (std::size_t i = 0; i < len; ++i) {
    const std::uint8_t b = data[i];
    if (loader_) {
      loaderByte(b);
      continue;
    }
    if (mpe_) {
      if (escapePending_) {
        escapePending_ = false;
        const int ch = digitChannel(b);
        if (ch != -2) {
          inChan_ = ch;
          continue;
        }
        byte(inChan_, 0x1B);
        byte(inChan_, b);
        continue;
      }
      if (b == 0x1B) {
        escapePending_ = true;
        continue;
      }
    }
    byte(mpe_ ? inChan_ : 0, b);
  }
}

void SimConnection::byte(int channel, std::uint8_t b) {
  Chan& c = chans_[channel];
  // Download bodies are kept in the download record, not byte by byte.
  if (c.state != Chan::Download) sim_.record([&] { sim_.channelBytes_[channel] += static_cast<char>(b); });
  switch (c.state) {
    case Chan::Program: programByte(channel, c, b); break;
    case Chan::Header:
    case Chan::Download: downloadByte(channel, c, b); break;
    default:
      if (b == 0x01 && c.line.empty() && channel != 8 && channel != 9 && channel != -1) {
        c.state = Chan::Header;
        c.header.clear();
        c.data.clear();
        c.escape = false;
        c.faults = sim_.faults();
        c.aborted = false;
        downloadBytes_ = 0;
        break;
      }
      lineByte(channel, c, b);
  }
}

void SimConnection::lineByte(int channel, Chan& c, std::uint8_t b) {
  if (b == 0x14) return;  // the second byte of a line end on channels 8 and 9
  if (b == '\r' || b == '\n') {
    std::string line;
    line.swap(c.line);
    // An escape pair left in the text (sent in plain mode) selects nothing here.
    while (line.size() >= 2 && line[0] == '\x1b') line.erase(0, 2);
    if (!line.empty() || c.state != Chan::Line) command(channel, line);
    return;
  }
  c.line += static_cast<char>(b);
}

void SimConnection::command(int channel, const std::string& line) {
  Chan& c = chans_[channel];
  const CoordinatorFaults f = sim_.faults();
  sim_.record([&] { sim_.commandLines_ += line + "\n"; });
  if (c.state == Chan::Key) {
    c.state = Chan::Line;
    std::string key = line;
    if (f.wrongKeyEcho) key += "?";
    send(channel, key + "\r\n>>");
    return;
  }
  if (c.state == Chan::Confirm) {
    c.state = Chan::Line;
    if (line == "Y") {
      send(channel, f.wrongConfirm ? "Y\b\r\nSystem will not shut down." : "Y\b\r\nSystem will shut down in 5 seconds.");
      if (!f.wrongConfirm) {
        loader_ = true;
        loaderStep_ = 0;
        loaderWord_.clear();
        loaderDataBytes_ = 0;
        mpe_ = false;
      }
    }
    return;
  }
  if (line == "MPE(1)") {
    mpe_ = true;
    inChan_ = 0;
    std::lock_guard<std::mutex> g(writeMutex_);
    outChan_ = 0;
  } else if (line == "MPE(0)") {
    mpe_ = false;
  } else if (line == "LOAD_PROJECT(0)" || line == "LOAD_PROJECT(1)") {
    const bool inMpe = line == "LOAD_PROJECT(1)";
    std::string echo = inMpe ? "LOAD_PROJECT(1)\n" : "LOAD_PROJECT(0)\r\n";
    if (f.wrongLoadEcho) echo = "LOAD_PROJECT?\r\n";
    send(channel, echo + "\x14");
    if (f.wrongLoadEcho) return;
    programChannel_ = inMpe ? -1 : 0;
    Chan& p = chans_[programChannel_];
    p.state = Chan::Program;
    p.sub = 0;
    p.project = false;
    if (!f.neverReady) send(programChannel_, "\x05");
  } else if (line == "PROJECT_KEY") {
    send(channel, "PROJECT_KEY\r\nEnter project key: ");
    c.state = Chan::Key;
  } else if (line == "LOADSYSTEM") {
    send(channel, f.wrongLoadSystemPrompt ? "LOADSYSTEM\r\nUnknown command"
                                          : "LOADSYSTEM\r\nWARNING: This will stop the controller\r\nContinue [Y/N] ?");
    if (!f.wrongLoadSystemPrompt) c.state = Chan::Confirm;
  }
}

}  // namespace qel::sim
