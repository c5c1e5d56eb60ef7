// qelcut send: one file over the link chosen by Xitong_TT, with a progress bar on the
// terminal. Ctrl-C is the "Pause" button: the link stops at its next stop test.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>

#include "app/command.h"
#include "app/progress_line.h"
#include "config/ini_config.h"
#include "config/modes.h"
#include "links/transfer_link.h"
#include "platform/home.h"

namespace {

std::atomic<bool> g_stop{false};

void onInterrupt(int) { g_stop = true; }

// The five links by their Xitong_TT number, for the start line and the help text.
using qel::config::LinkType;
constexpr struct {
  LinkType type;
  const char* name;
  const char* settings;  // the keys that say where the machine is
} kLinks[] = {
    {LinkType::Parallel, "parallel port", "/dev/lp{Parallel_No - 1}"},
    {LinkType::Serial, "serial line", "Serial_Comport and its line settings"},
    {LinkType::Controller, "QEL DSP SYSTEM (coordinator file download)", "Modbus_LinkType; Xitong_IP over Ethernet"},
    {LinkType::Network, "QEL ARM SYSTEM (network controller)", "Xitong_IP, TCP 3241"},
    {LinkType::Coordinator, "QEL MC SYSTEM (coordinator control)", "Xitong_IP"},
};
constexpr LinkType kDefaultLinkType = LinkType::Controller;

const char* linkName(int type) {
  for (const auto& l : kLinks)
    if (type == l.type) return l.name;
  return "no link";
}

// The terminal in place of the main window: a progress line on standard error, messages
// printed, Ctrl-C as the stop request.
class ConsoleOwner final : public qel::links::TransferOwner {
 public:
  ConsoleOwner(std::string home, int language, std::int64_t size)
      : home_(std::move(home)), language_(language), size_(size), tty_(::isatty(2) != 0) {
    start_ = std::chrono::steady_clock::now();
  }

  bool stopRequested() const override { return g_stop; }
  void setStopRequest(bool on) override { g_stop = on; }
  bool previewTransferRunning() const override { return false; }
  void setProgressRange(int low, int high) override {
    low_ = low;
    high_ = high;
  }
  void setProgressPos(int pos) override {
    if (pos <= 0 || sent_ >= 0) return;  // byte counts, when the link gives them, say more
    std::lock_guard<std::mutex> l(m_);
    percent_ = high_ > low_ ? (pos - low_) * 100 / (high_ - low_) : 0;
    draw(false);
  }
  void reportBytesSent(std::int64_t sent, std::int64_t total) override {
    std::lock_guard<std::mutex> l(m_);
    sent_ = sent;
    if (total > 0) size_ = total;
    percent_ = size_ > 0 ? static_cast<int>(sent * 100 / size_) : 100;
    draw(sent >= size_);
  }
  int language() const override { return language_; }
  std::string programDir() const override { return home_; }
  bool showMessage(const std::string&, const std::string& text, Buttons) override {
    std::lock_guard<std::mutex> l(m_);
    endLine();
    std::fprintf(stderr, "message: %s\n", text.c_str());
    return true;
  }

  void finish() {
    std::lock_guard<std::mutex> l(m_);
    endLine();
  }

 private:
  void draw(bool force) {
    auto now = std::chrono::steady_clock::now();
    if (!force && now - lastDraw_ < std::chrono::milliseconds(tty_ ? 100 : 2000)) return;
    lastDraw_ = now;
    qel::app::Progress p;
    p.sent = sent_;
    p.size = size_;
    p.percent = percent_;
    p.seconds = std::chrono::duration<double>(now - start_).count();
    if (!tty_) {
      std::fprintf(stderr, "%s\n", qel::app::progressBarLine(p, 0).c_str());
      std::fflush(stderr);
      return;
    }
    // Asked at every redraw: the window may have been resized since.
    const int columns = qel::app::terminalColumns(2);
    const std::string line = qel::app::progressBarLine(p, columns);
    // Blanks over what is left of a longer previous line, within the same row.
    std::size_t blank = shown_ > line.size() ? shown_ - line.size() : 0;
    if (columns > 0) blank = std::min(blank, static_cast<std::size_t>(columns - 1) - line.size());
    std::fprintf(stderr, "\r%s%s", line.c_str(), std::string(blank, ' ').c_str());
    std::fflush(stderr);
    shown_ = line.size() + blank;
    open_ = true;
  }
  void endLine() {
    if (open_) std::fputc('\n', stderr);
    open_ = false;
    shown_ = 0;
  }

  std::string home_;
  int language_;
  std::int64_t size_;
  bool tty_;
  int low_ = 0, high_ = 100;
  int percent_ = 0;
  std::int64_t sent_ = -1;
  bool open_ = false;
  std::size_t shown_ = 0;  // characters of the bar now on the terminal row
  std::mutex m_;
  std::chrono::steady_clock::time_point start_, lastDraw_{};
};

int runSend(const std::vector<std::string>& argsIn) {
  std::vector<std::string> args = argsIn;
  bool missing = false;
  auto homeOpt = qel::app::takeOption(args, "--home", &missing);
  if (missing) {
    std::fprintf(stderr, "qelcut send: --home is missing its value\n");
    return 2;
  }
  if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
    std::fprintf(stderr, "qelcut send: give one file to send (see 'qelcut send --help')\n");
    return 2;
  }
  const std::string file = args[0];
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    std::fprintf(stderr, "qelcut send: %s is not a readable file\n", file.c_str());
    return 1;
  }
  if (st.st_size > 0x7FFFFFFF) {
    std::fprintf(stderr, "qelcut send: %s is larger than 2 GB\n", file.c_str());
    return 1;
  }
  const std::string home = qel::platform::resolveHome(homeOpt);
  qel::config::CIniConfig cfg(home);
  const int type = cfg.read(qel::config::keys::Xitong_TT);
  const int language = cfg.read(qel::config::keys::Language_Type) ? 1 : 0;

  qel::links::LinkFactory factory = qel::links::LinkFactory::standard();
  ConsoleOwner owner(home, language, st.st_size);
  std::string where = linkName(type);
  if (type == LinkType::Network) where += " at " + cfg.read(qel::config::keys::Xitong_IP);
  if (type == LinkType::Serial) where += " on " + cfg.read(qel::config::keys::Serial_Comport);
  std::printf("sending %s (%lld bytes) over the %s (Xitong_TT=%d)\n", file.c_str(), static_cast<long long>(st.st_size),
              where.c_str(), type);
  std::fflush(stdout);

  struct sigaction sa {};
  sa.sa_handler = onInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);

  std::unique_ptr<qel::links::TransferLink> link =
      factory.make(type, owner, file, static_cast<std::int32_t>(st.st_size));
  if (!link) {
    std::printf("not delivered: transfer type %d has no link in this build\n", type);
    return 1;
  }
  const bool ok = link->send();
  const std::string text = link->resultText();
  link.reset();
  owner.finish();
  if (ok) {
    std::printf("delivered%s%s\n", text.empty() ? "" : ": ", text.c_str());
    return 0;
  }
  if (text.empty()) std::printf("not delivered%s\n", g_stop ? ": stopped" : "");
  else std::printf("not delivered: %s%s\n", text.c_str(),
                   qel::links::isConnectionFailure(text) ? " (the machine cannot be reached)" : "");
  return 1;
}

std::string usage() {
  std::string u =
      "usage: qelcut send FILE [--home DIR]\n\n"
      "Sends FILE as it is over the link chosen by Xitong_TT in DIR/Config.ini, showing a\n"
      "progress bar with the share, bytes and rate sent, and prints the link's result text.\n"
      "Ctrl-C stops the send. The links (Xitong_TT):\n";
  for (const auto& l : kLinks) {
    u += "  " + std::to_string(+l.type) + "  " + l.name + (l.type == kDefaultLinkType ? ", the default" : "") + "\n" +
         "     (" + l.settings + ")\n";
  }
  u +=
      "Exit status 0 only when the file was delivered, 1 when not, 2 for a usage error.\n\n"
      "  --home DIR   home folder (default: $QELCUT_HOME, else ~/.local/share/qelcut)\n";
  return u;
}

const qel::app::CommandRegistration kSend{{
    "send",
    "send one file to the machine over the configured link",
    usage(),
    runSend,
}};

}  // namespace
