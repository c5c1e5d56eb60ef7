#include "links/controller_transfer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "config/ini_config.h"
#include "controller/controller.h"
#include "controller/crc.h"
#include "links/machine_name.h"
#include "platform/code_page.h"

namespace qel::links {

namespace {

constexpr std::size_t kReadBlock = 32768;
constexpr std::uint8_t kStx = 0x02, kEtx = 0x03, kBackslash = 0x5C;

bool needsEscape(std::uint8_t b) { return b == kStx || b == kEtx || b == kBackslash; }

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The library asks its host before it reconnects a dropped line. A download cannot go on over a
// new connection (the coordinator has lost the file), so the reconnection is refused at once and
// the attempt ends; the next attempt opens a fresh connection.
std::intptr_t refuseReconnect(void*, void*, unsigned msg, std::uintptr_t w, std::intptr_t l) {
  if (msg == controller::kMsgReconnect && w == 1 && l != 0)
    reinterpret_cast<std::atomic<std::int32_t>*>(l)->store(1);
  return 0;
}

}  // namespace

CController_Transfer::CController_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize)
    : CController_Transfer(owner, std::move(filePath), fileSize, Options{}) {}

CController_Transfer::CController_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize,
                                           Options options)
    : owner_(owner), filePath_(std::move(filePath)), fileSize_(fileSize), options_(std::move(options)) {
  namespace k = config::keys;
  config::CIniConfig cfg(owner_.programDir());
  linkType_ = cfg.read(k::Modbus_LinkType);
  rs232No_ = cfg.read(k::RS232_No);
  rs232Fast_ = cfg.read(k::RS232_FastMode) == 1;
  address_ = cfg.read(k::Xitong_IP);
  pciNo_ = cfg.read(k::PCI_No);
  channelProtocol_ = cfg.read(k::Channel_Protocol_Enabled) == 1;
  timeoutOn_ = cfg.read(k::TimeOut_Enabled) == 1;
  channelNo_ = cfg.read(k::Channel_No);
  timeValue_ = cfg.read(k::Time_Value);
}

CController_Transfer::~CController_Transfer() { closeController(); }

// ---------------------------------------------------------------------------------------------
// Formats

std::string CController_Transfer::header(const std::string& path) {
  const std::string::size_type slash = path.find_last_of('/');
  const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::string::size_type dot = file.find_last_of('.');
  const std::string base = dot == std::string::npos ? file : file.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : file.substr(dot);
  std::string h;
  h += '\x01';
  h += "SD:";
  h += platform::cutAtCharacter(base, kMachineNameBytes);
  h += platform::cutAtCharacter(ext, kMachineExtensionBytes);
  h += '\x02';
  return h;
}

std::string CController_Transfer::escape(const std::string& raw) {
  std::string out;
  out.reserve(raw.size() + raw.size() / 16);
  for (char ch : raw) {
    switch (static_cast<std::uint8_t>(ch)) {
      case kStx: out += "\\s"; break;
      case kEtx: out += "\\e"; break;
      case kBackslash: out += "\\\\"; break;
      default: out += ch;
    }
  }
  return out;
}

std::uint32_t CController_Transfer::parseReply(const std::string& text, std::uint32_t* crc) {
  if (text.size() >= 4 && upper(text.substr(0, 4)) == "CRC=") {
    std::size_t i = 4;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    std::uint32_t v = 0;
    for (; i < text.size() && std::isxdigit(static_cast<unsigned char>(text[i])); ++i) {
      const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
      v = (v << 4) | static_cast<std::uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10);
    }
    if (crc) *crc = v;
    return kFlagCrc;
  }
  if (upper(text) == "ABORT") return kFlagAbort;
  return 0;
}

std::string CController_Transfer::durationText(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  char buf[64];
  std::snprintf(buf, sizeof buf, "\nDuration=%02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return buf;
}

// ---------------------------------------------------------------------------------------------
// Send

bool CController_Transfer::send() {
  owner_.setStopRequest(false);
  owner_.setProgressRange(0, 100);
  owner_.setProgressPos(1);
  const std::string::size_type slash = filePath_.find_last_of('/');
  machineName_ = registerMachineName(owner_.programDir(), slash == std::string::npos ? filePath_ : filePath_.substr(slash + 1));
  bool ok = false;
  for (int failures = 0;;) {
    ++attempts_;
    if (!connect()) {
      resultText_ = kMcConnectFail;
      break;
    }
    const bool ran = runTransfer();
    ok = ran && crcMatched_ != 0;
    closeController();
    if (ok || owner_.stopInForce()) break;
    if (++failures > kMaxFailures) break;
    owner_.clock().sleepMs(kRetryPauseMs);
  }
  owner_.setProgressPos(0);
  return ok;
}

bool CController_Transfer::connect() {
  controller_ = std::make_unique<controller::CController>(&owner_.clock());
  if (options_.deviceIo) controller_->setDeviceIo(options_.deviceIo);
  controller_->setConnectTimeoutMs(options_.connectTimeoutMs);
  controller_->setHostCallback(&refuseReconnect, nullptr);
  controller_->setMessageSink([](const std::string&) {});  // the result text says what failed
  int opened = 0;
  switch (static_cast<CoordinatorPort>(linkType_)) {
    case CoordinatorPort::Serial: {
      char name[32];
      std::snprintf(name, sizeof name, "COM%i", rs232No_);
      const std::string port = options_.serialDevice.empty() ? std::string(name) : options_.serialDevice;
      opened = controller_->openSerial(port, rs232Fast_ ? 2 : 1, controller::kSubMpe);
      break;
    }
    case CoordinatorPort::Usb: opened = controller_->openUsb(0, controller::kSubMpe); break;
    case CoordinatorPort::Ethernet: opened = controller_->openTcp(address_, options_.tcpPort, controller::kSubMpe); break;
    case CoordinatorPort::Pci: opened = controller_->openPci(pciNo_, controller::kSubMpe); break;
    default: break;
  }
  if (!opened) {
    closeController();
    return false;
  }
  return true;
}

void CController_Transfer::closeController() {
  if (!controller_) return;
  controller_->close(-1);
  controller_.reset();
}

bool CController_Transfer::startWorker(std::thread& t, std::function<void()> body) {
  if (options_.startThread) return options_.startThread(t, std::move(body));
  try {
    t = std::thread(std::move(body));
    return true;
  } catch (const std::system_error&) {
    return false;
  }
}

bool CController_Transfer::runTransfer() {
  controller_->setCancel(0);
  trailerSent_ = false;
  flags_.store(0, std::memory_order_release);
  receivedCrc_.store(0, std::memory_order_relaxed);
  crcMatched_ = 0;
  for (int ch : {0, 5, 6, 7}) controller_->flush(ch);
  if (owner_.stopInForce()) {
    resultText_ = "File transfer cancelled by user.";
    return false;
  }
  std::thread sender, receiver;
  if (!startWorker(sender, [this] { sendingWorker(); })) {
    resultText_ = "Error in file transfer.";
    return false;
  }
  if (!startWorker(receiver, [this] { replyWorker(); })) {
    // The sending worker must be gone before the controller is closed: tell it the other worker
    // has ended and release any write it is blocked in.
    raise(kFlagWorkerEnded);
    controller_->setCancel(1);
    if (sender.joinable()) sender.join();
    resultText_ = "Error creating receive thread";
    return false;
  }
  if (sender.joinable()) sender.join();
  if (receiver.joinable()) receiver.join();
  return true;
}

bool CController_Transfer::writeEscaped(int channel, const std::uint8_t* data, std::size_t len) {
  static const std::uint8_t pairS[2] = {kBackslash, 's'};
  static const std::uint8_t pairE[2] = {kBackslash, 'e'};
  static const std::uint8_t pairB[2] = {kBackslash, kBackslash};
  std::size_t i = 0;
  while (i < len) {
    std::size_t end = i;
    while (end < len && !needsEscape(data[end])) ++end;
    if (end > i) {
      if (!controller_->write(channel, data + i, end - i)) return false;
      i = end;
      continue;
    }
    const std::uint8_t* pair = data[i] == kStx ? pairS : data[i] == kEtx ? pairE : pairB;
    if (!controller_->write(channel, pair, 2)) return false;
    ++i;
  }
  return true;
}

void CController_Transfer::sendingWorker() {
  platform::Clock& clock = owner_.clock();
  const int channel = dataChannel();
  const std::int64_t startS = clock.nowMs() / 1000;
  std::uint16_t crc = 0;

  if (channelProtocol_) {
    controller_->write(0, "MPE(1)\r");
    controller_->setChannelMode(1, false);
    for (;;) {
      clock.sleepMs(100);
      std::uint8_t drain[kReadBlock];
      std::size_t len = sizeof drain;
      if (!controller_->read(0, drain, &len) || len == 0) break;
    }
  }

  bool lineLost = false;
  bool trailerSent = false;
  const int fd = ::open(filePath_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd >= 0) {
    struct stat st {};
    const std::int64_t length = ::fstat(fd, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
    lineLost = !controller_->write(channel, header(machineName_.empty() ? filePath_ : machineName_));
    if (fileSize_ < 2048) clock.sleepMs(100);
    std::int64_t sent = 0;
    bool endOfFile = false;
    int shown = -1;
    static thread_local std::uint8_t block[kReadBlock];
    while (!lineLost) {
      const ssize_t n = ::read(fd, block, sizeof block);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        endOfFile = n == 0;
        break;
      }
      if (!writeEscaped(channel, block, static_cast<std::size_t>(n))) {
        lineLost = true;
        break;
      }
      crc = controller::crc16Fast(block, static_cast<std::size_t>(n), crc);
      sent += n;
      owner_.reportBytesSent(sent, length);
      const int pos = length > 0 ? static_cast<int>(std::min<std::int64_t>(sent * 100 / length, 100)) : 100;
      if (pos != shown) owner_.setProgressPos(pos);
      shown = pos;
      if (owner_.stopInForce() || flags() != 0) break;
    }
    // Deliberate: the trailer goes out only after the whole file. A send stopped part-way (a
    // pause, Cancel, the coordinator's ABORT) ends without it, so the coordinator never takes
    // the part it holds for a whole file that it could run; closing the connection drops it.
    if (!lineLost && (endOfFile || sent >= length)) {
      controller_->setCancel(0);
      static const std::uint8_t etx = kEtx;
      if (controller_->write(channel, &etx, 1)) trailerSent = true;
      else lineLost = true;
    }
    trailerSent_ = trailerSent;
    if (trailerSent && flags() == 0) {
      // The machine holds the whole file now: a stop waits a little for its CRC, so that a file
      // that was delivered is not reported as stopped (and sent again).
      const std::int64_t waitStart = clock.nowMs();
      for (;;) {
        if (flags() != 0) break;
        if (owner_.stopInForce() && clock.nowMs() - waitStart >= kStopGraceMs) break;
        if (!controller_->isOpen(controller::kSubMpe)) break;  // the line went down
        if (timeoutOn_ && clock.nowMs() - waitStart >= static_cast<std::int64_t>(timeValue_) * 1000) {
          raise(kFlagTimeout);
          break;
        }
        clock.sleepMs(100);
      }
    }
    ::close(fd);
  }

  const std::uint32_t f = flags();
  const std::uint32_t received = receivedCrc_.load(std::memory_order_relaxed);
  std::string text;
  if (trailerSent && (f & kFlagCrc) && received == crc) {
    // Checked first: a file whose CRC came back right was delivered, even when a stop came
    // while its answer was awaited.
    text = "File transfer successful.";
    crcMatched_ = 1;
  } else if (owner_.stopInForce()) {
    text = "File transfer cancelled by user.";
  } else if (f & kFlagAbort) {
    text = "File transfer cancelled by controller.";
  } else if (f & kFlagTimeout) {
    text = "Timeout waiting for CRC.";
  } else if ((f & kFlagCrc) && fd >= 0) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "File transfer failed. CRC wrong (Calculated=$%x, Received=$%x)",
                  static_cast<unsigned>(crc), static_cast<unsigned>(received));
    text = buf;
  } else {
    text = "Error in file transfer.";
  }
  resultText_ = text + durationText(clock.nowMs() / 1000 - startS);
  raise(kFlagWorkerEnded);
}

void CController_Transfer::replyWorker() {
  const int channel = dataChannel();
  static const int rotation[4] = {5, 6, 7, 0};
  bool collecting = false;
  std::string text;
  for (int turn = 0;; turn = (turn + 1) % 4) {
    // After the trailer the answer is read through a stop; the sending worker's end ends this.
    if ((owner_.stopInForce() && !trailerSent_) || (flags() & kFlagWorkerEnded)) break;
    std::uint8_t b = 0;
    std::size_t len = 1;
    const int ch = rotation[turn];
    const bool got = controller_->read(ch, &b, &len) && len == 1;
    if (!got) {
      owner_.clock().sleepMs(1);
      continue;
    }
    if (ch != channel) continue;  // bytes of other channels are dropped
    if (!collecting) {
      if (b == kStx) {
        text.clear();
        collecting = true;
      }
      continue;
    }
    if (b != kEtx) {
      text += static_cast<char>(b);
      continue;
    }
    collecting = false;
    std::uint32_t crc = 0;
    const std::uint32_t kind = parseReply(text, &crc);
    if (kind == kFlagCrc) {
      // The value is in place before the flag can be seen.
      receivedCrc_.store(crc, std::memory_order_relaxed);
      raise(kFlagCrc);
    } else if (kind == kFlagAbort) {
      raise(kFlagAbort);
      controller_->setCancel(1);
    }
  }
  raise(kFlagWorkerEnded);
}

}  // namespace qel::links
