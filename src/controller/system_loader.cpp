#include <atomic>
#include <chrono>
#include <cstdio>
#include <system_error>
#include <thread>

#include "controller/coff.h"
#include "controller/loaders.h"

namespace qel::controller {
namespace {

constexpr std::int64_t kAnswerTimeoutMs = 600000;

class SystemLoader {
 public:
  SystemLoader(CController& c, std::string path, void* window) : c_(c), path_(std::move(path)), window_(window) {}

  void run() {
    runStates();
    c_.setChannelMode(0, false);
    publish();
  }

  std::atomic<bool> running{true};
  std::string log;

 private:
  bool go() const { return running.load() && c_.cancel() == 0; }

  template <class... A>
  void message(const char* fmt, A... a) {
    char buf[1400];
    std::snprintf(buf, sizeof buf, fmt, a...);
    pending_ += buf;
    log += buf;
  }
  void publish() {
    if (pending_.empty()) return;
    const std::uintptr_t pct = total_ ? static_cast<std::uintptr_t>(sent_ * 100 / total_) : 0;
    c_.notifyHost(window_, kMsgProgress, pct, reinterpret_cast<std::intptr_t>(pending_.c_str()));
    pending_.clear();
  }

  // Writes the command, then every answer byte must match in order.
  bool command(const std::string& send, const std::string& expect) {
    if (!c_.write(0, send)) return false;
    const std::int64_t start = c_.clock().nowMs();
    for (std::size_t matched = 0; matched < expect.size();) {
      if (!go()) return false;
      if (c_.clock().nowMs() - start > kAnswerTimeoutMs) return false;
      std::uint8_t b;
      std::size_t n = 1;
      if (!c_.read(0, &b, &n)) return false;
      if (n == 0) {
        c_.clock().sleepMs(1);
        continue;
      }
      if (b != static_cast<std::uint8_t>(expect[matched])) return false;
      ++matched;
    }
    return true;
  }
  static std::string wordBytes(std::uint32_t w) {
    return {static_cast<char>(w >> 24), static_cast<char>(w >> 16), static_cast<char>(w >> 8), static_cast<char>(w)};
  }
  bool wordWithEcho(std::uint32_t w) { return command(wordBytes(w), wordBytes(w)); }

  void runStates() {
    const auto t0 = std::chrono::steady_clock::now();
    if (!go()) return;
    std::string err, listing;
    if (!readCoff(path_, &image_, &err, &listing)) {
      std::fputs(err.c_str(), stderr);
      message("Error loading COFF file %s\r\n", path_.c_str());
      return;
    }
    std::fputs(listing.c_str(), stdout);
    message("COFF file %s opened\r\n", path_.c_str());
    for (const auto& s : image_.sections)
      if (s.loadable()) total_ += s.size;
    publish();
    if (!go()) return;
    c_.setChannelMode(0, false);
    // Answers left over from an earlier exchange would break the byte-exact match below.
    for (;;) {
      std::uint8_t junk[256];
      std::size_t n = sizeof junk;
      if (!c_.read(0, junk, &n) || n == 0) break;
    }
    if (!command("LOADSYSTEM\r", "LOADSYSTEM\r\nWARNING: This will stop the controller\r\nContinue [Y/N] ?")) {
      c_.write(0, "N\r");
      message("Error sending LOAD_SYSTEM command\r\n");
      return;
    }
    if (!go()) return;
    if (!command("Y\r", "Y\b\r\nSystem will shut down in 5 seconds.")) {
      message("Error confirming LOAD_SYSTEM command\r\n");
      return;
    }
    message("\r\nWait ");
    for (int i = 0; i < 5; ++i) {
      if (!go()) return;
      message(".");
      publish();
      c_.clock().sleepMs(1000);
    }
    message(".\r\n");
    publish();
    c_.clock().sleepMs(1000);
    if (!go()) return;
    c_.setChannelMode(2, false);
    std::uint32_t checksum = 0;
    for (std::size_t si = 0; si < image_.sections.size(); ++si) {
      const CoffSection& s = image_.sections[si];
      if (!s.loadable()) continue;
      if (!go()) return;
      message("load section %s [0x%lx:0x%lx] ", s.name.c_str(), static_cast<unsigned long>(s.address),
              static_cast<unsigned long>(s.size));
      publish();
      if (!wordWithEcho(s.size)) {
        message("Error sending section size\r\n");
        return;
      }
      if (!wordWithEcho(s.address)) {
        message("Error sending section address\r\n");
        return;
      }
      if (!sendData(s, si == 0, &checksum)) return;
    }
    if (!go()) return;
    if (!wordWithEcho(0)) {
      message("Error sending end of load\r\n");
      return;
    }
    const long secs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - t0).count());
    char duration[64];
    std::snprintf(duration, sizeof duration, "%ld:%02ld:%02ld:%02ld", secs / 86400, secs / 3600 % 24, secs / 60 % 60,
                  secs % 60);
    message("Done [duration = %s;checksum = 0x%08x]\r\n", duration, checksum);
  }

  bool sendData(const CoffSection& s, bool firstSection, std::uint32_t* checksum) {
    const std::size_t words = (s.size + 3) / 4;
    auto wordAt = [&](std::size_t w) {
      std::uint32_t v = 0;
      for (int k = 0; k < 4; ++k) {
        const std::size_t off = w * 4 + static_cast<std::size_t>(k);
        if (off < s.size) v |= static_cast<std::uint32_t>(image_.bytes[s.fileOffset + off]) << (8 * k);
      }
      return v;
    };
    for (std::size_t w = 0; w < words; ++w)
      if (!firstSection || w + 2 >= words) *checksum += wordAt(w);
    if (words == 0) return true;
    if (!wordWithEcho(wordAt(0))) {
      message("Error sending data address %li\r\n", 0L);
      return false;
    }
    sent_ += 4;
    std::string unechoed;  // bytes sent and not yet echoed, oldest first
    long echoPos = 4;
    const std::size_t window = static_cast<std::size_t>(std::max(c_.largestBlock() - 4, 4));
    std::size_t marks = 0;
    auto mark = [&](std::size_t done) {
      while (marks < 16 && done * 16 >= words * (marks + 1)) {
        ++marks;
        message(marks % 4 == 0 && marks < 16 ? "|" : ".");
      }
    };
    mark(1);
    auto drain = [&](bool wait) -> bool {
      while (!unechoed.empty()) {
        if (!go()) return false;
        std::uint8_t buf[256];
        std::size_t n = std::min<std::size_t>(sizeof buf, unechoed.size());
        if (!c_.read(0, buf, &n)) return false;
        if (n == 0) {
          if (!wait) return true;
          c_.clock().sleepMs(2);
          continue;
        }
        for (std::size_t k = 0; k < n; ++k, ++echoPos) {
          if (buf[k] != static_cast<std::uint8_t>(unechoed[k])) {
            message("Error sending data address %li\r\n", echoPos);
            return false;
          }
        }
        unechoed.erase(0, n);
        if (!wait) return true;
      }
      return true;
    };
    for (std::size_t w = 1; w < words; ++w) {
      while (unechoed.size() >= window) {
        if (!drain(false)) return false;
        if (unechoed.size() >= window) c_.clock().sleepMs(2);
      }
      const std::string b = wordBytes(wordAt(w));
      if (!c_.write(0, b)) return false;
      unechoed += b;
      sent_ += 4;
      if (!drain(false)) return false;
      const std::size_t before = marks;
      mark(w + 1);
      if (marks != before) publish();
    }
    if (!drain(true)) return false;
    message("|\r\n");
    publish();
    return true;
  }

  CController& c_;
  std::string path_;
  void* window_;
  CoffImage image_;
  std::string pending_;
  std::uint64_t total_ = 0;
  std::uint64_t sent_ = 0;
};

}  // namespace

int systemSoftwareLoad(CController& c, const std::string& path, void* window, std::string* log) {
  if (!c.port()) return 0;
  SystemLoader loader(c, path, window);
  std::thread t;
  try {
    t = std::thread([&] { loader.run(); });
  } catch (const std::exception& e) {
    c.showMessage(std::string("Error creating the load thread: ") + e.what());
    return 0;
  }
  t.join();
  if (log) *log = loader.log;
  return 1;
}

}  // namespace qel::controller
