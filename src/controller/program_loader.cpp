#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <system_error>
#include <thread>
#include <vector>

#include "controller/crc.h"
#include "controller/loaders.h"

namespace qel::controller {

namespace {

// Waits for a command's echo give up after this long without completion, so that a silent
// coordinator cannot hold the caller for ever.
constexpr std::int64_t kEchoTimeoutMs = 20000;

const char* const kTypeExtensions[4] = {".bas", ".enc", ".gco", ".txt"};

enum : std::uint32_t { kReady = 1, kAcknowledged = 2, kProjectLoad = 4 };

struct Loader {
  CController& c;
  void* window;
  std::vector<std::string> entries;  // "name" 0x1C "type"
  std::string folder;                // where program files are looked up ("" for as given)
  std::string currentPath;
  std::atomic<std::uint32_t> state{0};
  std::atomic<std::uint32_t> handshake{0};
  int channel = 0;

  Loader(CController& ctl, void* w) : c(ctl), window(w) {}

  void receiveThread() {
    std::uint8_t b;
    while (state.load() == 0) {
      if (c.cancel()) {
        state.store(kLoadUserAbort);
        break;
      }
      std::size_t n = 1;
      if (!c.read(channel, &b, &n) || n == 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        continue;
      }
      if (!(handshake.load() & kReady)) {
        if (b == 0x05) handshake.fetch_or(kReady);
      } else if (b == 0x15) {
        state.store(kLoadCoordinatorAbort);
      } else if (b == 0x06) {
        handshake.fetch_or(kAcknowledged);
      }
    }
  }

  bool waitAck() {
    while (!(handshake.load() & kAcknowledged)) {
      if (state.load() != 0) return false;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return true;
  }

  bool send(const std::string& s) { return c.write(channel, s) != 0; }

  void transmitThread() {
    while (!(handshake.load() & kReady) && state.load() == 0) c.clock().sleepMs(1);
    if (state.load() == 0 && (handshake.load() & kProjectLoad)) send(std::string(1, '\x08'));
    const std::size_t block = static_cast<std::size_t>(std::min(c.largestBlock(), 256));
    for (const std::string& entry : entries) {
      if (state.load() != 0) break;
      const std::size_t sep = entry.find('\x1C');
      const std::string name = entry.substr(0, sep);
      const int type = std::atoi(entry.c_str() + sep + 1);
      currentPath = folder + name + kTypeExtensions[(type >= 0 && type < 4) ? type : 0];
      const std::string note = currentPath + "\n";
      c.notifyHost(window, kMsgProgress, 0, reinterpret_cast<std::intptr_t>(note.c_str()));
      std::ifstream in(currentPath, std::ios::binary);
      if (!in) {
        state.store(kLoadFileError);
        break;
      }
      std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      CCrc crc;
      crc.selectModel("CRC-16");
      crc.update(entry.data(), entry.size());
      handshake.fetch_and(~kAcknowledged);
      if (!send("\x01" + entry + "\x03" + crcText(static_cast<std::uint16_t>(crc.value())) + "\x02")) {
        state.store(kLoadUserAbort);
        break;
      }
      if (!waitAck()) break;
      crc.reset();
      std::string out;
      out.reserve(block);
      bool ok = true;
      for (std::size_t pos = 0; pos < data.size() && ok;) {
        out.clear();
        while (pos < data.size() && out.size() < block) {
          const char ch = data[pos++];
          if (ch != '\x0A') out.push_back(ch);  // line feeds are left out
        }
        crc.update(out.data(), out.size());
        if (!out.empty() && !send(out)) ok = false;
        c.notifyHost(window, kMsgProgress, data.empty() ? 100 : pos * 100 / data.size(), 0);
        if (state.load() != 0) ok = false;
      }
      if (!ok) {
        if (state.load() == 0) state.store(kLoadUserAbort);
        break;
      }
      handshake.fetch_and(~kAcknowledged);
      if (!send("\x03" + crcText(static_cast<std::uint16_t>(crc.value())))) {
        state.store(kLoadUserAbort);
        break;
      }
      if (!waitAck()) break;
    }
    const int savedCancel = c.cancel();
    if (savedCancel) c.setCancel(0);  // the end mark still goes out after a cancel
    send(std::string(1, '\x04'));
    if (savedCancel) c.setCancel(savedCancel);
    std::uint32_t expected = 0;
    state.compare_exchange_strong(expected, kLoadDone);
  }

  // Steps shared by program and project loads once the entries are known.
  std::uint32_t run() {
    channel = c.channelMode() == 1 ? -1 : 0;
    bool echoed;
    if (c.channelMode() == 1)
      echoed = sendAndExpect(c, 8, "LOAD_PROJECT(1)\r", std::string("LOAD_PROJECT(1)\n\x14"), kEchoTimeoutMs);
    else
      echoed = sendAndExpect(c, 0, "LOAD_PROJECT(0)\r", "LOAD_PROJECT(0)\r\n", kEchoTimeoutMs);
    if (!echoed) {
      c.showMessage("Error executing command LOAD_PROJECT");
      return kLoadCommandError;
    }
    std::thread tx, rx;
    try {
      rx = std::thread([this] { receiveThread(); });
    } catch (const std::exception& e) {
      c.showMessage(std::string("Could not start the receive thread: ") + e.what());
      return kLoadCommandError;
    }
    try {
      tx = std::thread([this] { transmitThread(); });
    } catch (const std::exception& e) {
      c.showMessage(std::string("Could not start the transmit thread: ") + e.what());
      state.store(kLoadUserAbort);
      rx.join();
      return kLoadUserAbort;
    }
    tx.join();
    rx.join();
    return state.load();
  }
};

std::string lower(std::string s) {
  for (char& ch : s) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return s;
}

std::string trim(const std::string& s) {
  const auto b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_last_not_of(" \t\r\n") - b + 1);
}

// Settings-style project file: section and key names compared without regard to case.
bool readIni(const std::string& path, std::vector<std::pair<std::string, std::pair<std::string, std::string>>>* out) {
  std::ifstream in(path);
  if (!in) return false;
  std::string line, section;
  while (std::getline(in, line)) {
    line = trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = lower(trim(line.substr(1, line.find(']') - 1)));
      continue;
    }
    const auto eq = line.find('=');
    if (eq == std::string::npos) continue;
    out->push_back({section, {lower(trim(line.substr(0, eq))), trim(line.substr(eq + 1))}});
  }
  return true;
}

void reportState(CController& c, std::uint32_t state, const std::string& path) {
  if (state & kLoadUserAbort) c.showMessage("Operation aborted by user");
  if (state & kLoadCoordinatorAbort) c.showMessage("Operation aborted by motion coordinator");
  if (state & kLoadFileError) {
    char buf[1200];
    std::snprintf(buf, sizeof buf, "Error accessing file %s", path.c_str());
    c.showMessage(buf);
  }
  if (state & kLoadCommandError) c.showMessage("Error running load command on the motion coordinator");
}

}  // namespace

bool sendAndExpect(CController& c, int channel, const std::string& send, const std::string& expect,
                   std::int64_t timeoutMs) {
  if (!c.write(channel, send)) return false;
  const std::int64_t start = c.clock().nowMs();
  std::size_t matched = 0;
  while (matched < expect.size()) {
    if (c.cancel()) return false;
    std::uint8_t b;
    std::size_t n = 1;
    if (!c.read(channel, &b, &n)) return false;
    if (n == 0) {
      if (timeoutMs > 0 && c.clock().nowMs() - start > timeoutMs) return false;
      c.clock().sleepMs(1);
      continue;
    }
    if (b == static_cast<std::uint8_t>(expect[matched]))
      ++matched;
    else
      matched = (b == static_cast<std::uint8_t>(expect[0])) ? 1 : 0;
  }
  return true;
}

int programLoad(CController& c, const std::string& path, void* window, std::uint32_t* stateOut) {
  if (stateOut) *stateOut = 0;
  if (!c.port()) return 0;
  const auto dot = path.find_last_of('.');
  const auto slash = path.find_last_of('/');
  const std::string ext = (dot == std::string::npos || (slash != std::string::npos && dot < slash))
                              ? std::string() : lower(path.substr(dot));
  int type;
  if (ext == ".gco")
    type = 2;
  else if (ext == ".bas")
    type = 0;
  else if (ext == ".txt")
    type = 3;
  else {
    c.showMessage("Invalid file type");
    return 0;
  }
  Loader l(c, window);
  const std::string stem = path.substr(0, path.size() - ext.size());
  // The coordinator knows a program by its name; the folder only serves to find the file.
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  l.folder = stem.substr(0, nameStart);
  const std::string name = stem.substr(nameStart, 100);
  l.entries.push_back(name + '\x1C' + std::to_string(type));
  const std::uint32_t state = l.run();
  if (stateOut) *stateOut = state;
  return (state & kLoadDone) ? 1 : 0;
}

int projectLoad(CController& c, const std::string& path, void* window, std::uint32_t* stateOut) {
  if (stateOut) *stateOut = 0;
  if (!c.port()) return 0;
  std::vector<std::pair<std::string, std::pair<std::string, std::string>>> ini;
  if (!readIni(path, &ini)) {
    reportState(c, kLoadFileError, path);
    if (stateOut) *stateOut = kLoadFileError;
    return 0;
  }
  Loader l(c, window);
  const auto slash = path.find_last_of('/');
  l.folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  bool needsKey = false;
  for (int i = 0; i < 14; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "program%02d", i);
    for (const auto& [section, kv] : ini) {
      if (section != "programs" || kv.first != key || kv.second.empty()) continue;
      const std::string name = kv.second.substr(0, 100);
      int type = 0;
      for (const auto& [s2, kv2] : ini)
        if (s2 == "programtype" && kv2.first == lower(name)) type = std::atoi(kv2.second.c_str());
      if (type == 1) needsKey = true;
      l.entries.push_back(name + '\x1C' + std::to_string(type));
      break;
    }
  }
  c.write(0, "\r");
  c.clock().sleepMs(500);
  if (needsKey) {
    char keyText[256] = {0};
    if (c.notifyHost(window, kMsgProjectKey, 0, reinterpret_cast<std::intptr_t>(keyText)) == 0) {
      if (stateOut) *stateOut = kLoadUserAbort;
      return 0;
    }
    keyText[sizeof keyText - 1] = 0;
    const std::string k = keyText;
    if (!sendAndExpect(c, 0, "PROJECT_KEY\r", "PROJECT_KEY\r\nEnter project key: ", kEchoTimeoutMs) ||
        !sendAndExpect(c, 0, k + "\r", k + "\r\n>>", kEchoTimeoutMs)) {
      c.showMessage("Error setting project key");
      if (stateOut) *stateOut = kLoadCommandError;
      return 0;
    }
  }
  l.handshake.store(kProjectLoad);
  l.state.store(0);
  c.setCancel(0);
  const std::uint32_t state = l.run();
  if (stateOut) *stateOut = state;
  reportState(c, state & ~kLoadCommandError, l.currentPath);
  if (state & kLoadCommandError) reportState(c, kLoadCommandError, path);
  return (state & kLoadDone) ? 1 : 0;
}

}  // namespace qel::controller
