#include "controller/controller.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <thread>

namespace qel::controller {

CController::CController(platform::Clock* clock) : clock_(clock ? clock : &platform::SystemClock::instance()) {
  for (int i = 0; i < kChannelCount; ++i) {
    out_[static_cast<std::size_t>(i)] = std::make_unique<CChannelBuffer>(channelNumber(i), true);
    in_[static_cast<std::size_t>(i)] = std::make_unique<CChannelBuffer>(channelNumber(i), false);
  }
}

CController::~CController() {
  port_.reset();
  capture_.close();
}

void CController::setHostCallback(HostCallback cb, void* user) {
  hostCallback_ = cb;
  hostUser_ = user;
}

std::intptr_t CController::notifyHost(void* window, unsigned msg, std::uintptr_t w, std::intptr_t l) {
  return hostCallback_ ? hostCallback_(hostUser_, window, msg, w, l) : 0;
}

void CController::showMessage(const std::string& text) {
  if (messageSink_)
    messageSink_(text);
  else
    std::fprintf(stderr, "%s\n", text.c_str());
}

// ---------------------------------------------------------------------------------------------
// Opening and closing

int CController::finishOpen(std::unique_ptr<CPort> port, bool ok, const char* kind) {
  (void)port;
  if (ok) return 1;
  showMessage(std::string("Cannot open ") + kind + " port");
  close(-1);
  return 0;
}

namespace {
template <class P, class... A>
std::unique_ptr<CPort> makePort(A&&... a) {
  // Only memory can run out here; the caller says which port could not be made.
  try {
    return std::make_unique<P>(std::forward<A>(a)...);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
}  // namespace

// An open replaces any port the controller still holds, so that no connection is leaked.
int CController::openUsb(int device, int mask) {
  port_.reset();
  auto io = deviceIo_ ? deviceIo_ : makeSystemDeviceIo();
  port_ = makePort<CUsbPort>(clock_, io);
  if (!port_) {
    showMessage("Cannot create USB port");
    return 0;
  }
  port_->setNotify([this](unsigned m, std::uintptr_t w, std::intptr_t l) { return notifyHost(nullptr, m, w, l); });
  port_->setCancelSource(&cancel_);
  return finishOpen(nullptr, port_->openNumber(device, mask), "USB");
}

int CController::openSerial(const std::string& portName, int serialMode, int mask) {
  port_.reset();
  port_ = makePort<CSerialPort>(clock_);
  if (!port_) {
    showMessage("Cannot create serial port");
    return 0;
  }
  return finishOpen(nullptr, port_->openName(portName, serialMode, mask), "serial");
}

int CController::openTcp(const std::string& host, int tcpPort, int mask) {
  port_.reset();
  auto eth = std::make_unique<CEthernetPort>(clock_);
  eth->setConnectTimeoutMs(connectTimeoutMs_);
  port_ = std::move(eth);
  port_->setNotify([this](unsigned m, std::uintptr_t w, std::intptr_t l) { return notifyHost(nullptr, m, w, l); });
  port_->setCancelSource(&cancel_);
  return finishOpen(nullptr, port_->openHost(host, tcpPort, mask), "Ethernet");
}

int CController::openPci(int card, int mask) {
  port_.reset();
  auto io = deviceIo_ ? deviceIo_ : makeSystemDeviceIo();
  port_ = makePort<CPciPort>(clock_, io);
  if (!port_) {
    showMessage("Cannot create PCI port");
    return 0;
  }
  return finishOpen(nullptr, port_->openNumber(card, mask), "PCI");
}

int CController::openAdditional(int mask) {
  if (!port_) return 0;
  return port_->openAdditional(mask) ? 1 : 0;
}

void CController::close(int mask) {
  if (!port_) return;
  if ((mask & kSubMpe) && mode_.load() == 1 && (port_->openMask() & kSubMpe)) write(0, "MPE(0)\r");
  port_->close(mask);
  if (port_->openMask() == 0) port_.reset();
}

int CController::isOpen(int mask) const { return port_ && (port_->openMask() & mask) ? 1 : 0; }

int CController::status() const {
  if (!port_) return 0;
  if (port_->reconnecting() || port_->openMask() == 0) return 255;
  return lineLock_.load() ? 0xFFFF : 0xFF00;
}

int CController::getTable(int first, int count, double* values) {
  return port_ && port_->getTable(first, count, values) ? 1 : 0;
}
int CController::setTable(int first, int count, const double* values) {
  return port_ && port_->setTable(first, count, values) ? 1 : 0;
}
int CController::getVr(int index, double* value) { return port_ && port_->getVr(index, value) ? 1 : 0; }
int CController::setVr(int index, double value) { return port_ && port_->setVr(index, value) ? 1 : 0; }

// ---------------------------------------------------------------------------------------------
// Channel mode

void CController::setChannelMode(int mode, bool force) {
  if (mode < 0 || mode > 2) return;
  const int old = mode_.load();
  if (mode == old && !force) return;
  if (mode == 0) {
    if (port_) port_->setLineProtocol(0);
    if (old == 1) {
      write(0, "\x1b" "0\rMPE(0)\r");
      currentOut_ = 0;
    }
  } else if (mode == 1) {
    if (port_) port_->setLineProtocol(0);
    if (old != 1) {
      write(0, "\x1b" "0\rMPE(1)\r");
      currentOut_ = 0;  // the command itself selects channel 0 on the coordinator
    }
  } else {
    if (port_) port_->setLineProtocol(3);
  }
  if (mode != 2) {
    currentIn_ = 0;
    escapePending_ = false;
  }
  mode_.store(mode);
}

// ---------------------------------------------------------------------------------------------
// Channels

int CController::write(int channel, const std::uint8_t* data, std::size_t len) {
  const int idx = channelIndex(channel);
  if (idx < 0 || (!data && len) || !port_) return 0;
  CChannelBuffer& buf = *out_[static_cast<std::size_t>(idx)];
  std::size_t done = 0;
  for (;;) {
    if (cancel_.load()) return 0;
    const std::size_t n = buf.put(data + done, len - done);
    done += n;
    sendPump();
    if (done >= len) return 1;
    if (!port_) return 0;  // the port went away while bytes were waiting
    if (n == 0) {
      // A full ring whose sub-port is closed would never drain.
      if (!(port_->openMask() & (idx == kChannelCount - 1 ? kSubRemote : kSubMpe))) return 0;
      std::this_thread::yield();
    }
  }
}

int CController::read(int channel, std::uint8_t* buf, std::size_t* len) {
  const int idx = channelIndex(channel);
  if (idx < 0 || !buf || !len || !port_) return 0;
  receivePump();
  *len = in_[static_cast<std::size_t>(idx)]->take(buf, *len);
  return 1;
}

void CController::flush(int channel) {
  const int idx = channelIndex(channel);
  if (idx < 0) return;
  std::uint8_t tmp[256];
  for (;;) {
    clock_->sleepMs(100);
    receivePump();
    if (in_[static_cast<std::size_t>(idx)]->take(tmp, sizeof tmp) == 0) break;
  }
}

void CController::portFailed() {
  if (port_) port_->reconnect();
}

void CController::sendPump() {
  if (!sendLock_.tryAcquire()) return;
  if (port_ && (port_->openMask() & kSubMpe)) mpeSender();
  if (port_ && (port_->openMask() & kSubRemote)) remoteSender();
  sendLock_.release();
}

void CController::mpeSender() {
  const std::size_t blockSize = static_cast<std::size_t>(largestBlock());
  std::uint8_t block[512];
  std::size_t fill = 0;
  bool failed = false;
  auto flushBlock = [&] {
    if (fill == 0 || failed) return;
    if (rawCapture_) capture_.section("Put " + rawPutName_ + ": ", block, fill, true);
    if (!port_->write(kSubMpe, block, fill)) failed = true;
    fill = 0;
  };
  auto emit = [&](std::uint8_t b) {
    block[fill++] = b;
    if (fill >= blockSize) flushBlock();
  };
  const int mode = mode_.load();
  for (bool moved = true; moved && !failed;) {
    moved = false;
    for (int i = 0; i < kChannelCount - 1 && !failed; ++i) {
      CChannelBuffer& buf = *out_[static_cast<std::size_t>(i)];
      if (buf.empty()) continue;
      std::uint8_t chunk[256];
      std::size_t n;
      if (mode == 1) {
        if (lineLock_ && i != currentOut_) continue;
        if (i != currentOut_) {
          emit(0x1B);
          emit(static_cast<std::uint8_t>(channelDigit(i)));
          currentOut_ = i;
        }
        const bool lineChannel = i == 4 || i == 5;
        lineLock_ = lineChannel;
        if (lineChannel) {
          // A line goes out whole: nothing of another channel enters it before its carriage
          // return, which travels as LF DC4.
          bool sawCr = false;
          n = buf.takeLine(chunk, sizeof chunk, &sawCr);
          for (std::size_t k = 0; k < n; ++k) {
            if (chunk[k] == 0x0D) {
              emit(0x0A);
              emit(0x14);
            } else {
              emit(chunk[k]);
            }
          }
          if (sawCr) lineLock_ = false;
        } else {
          n = buf.take(chunk, sizeof chunk);
          for (std::size_t k = 0; k < n; ++k) emit(chunk[k]);
        }
      } else {
        n = buf.take(chunk, sizeof chunk);
        for (std::size_t k = 0; k < n; ++k) emit(chunk[k]);
      }
      if (n) moved = true;
    }
  }
  flushBlock();
  if (failed) portFailed();
}

void CController::remoteSender() {
  const std::size_t blockSize = static_cast<std::size_t>(largestBlock());
  CChannelBuffer& buf = *out_[kChannelCount - 1];
  std::uint8_t block[256];
  for (;;) {
    const std::size_t n = buf.take(block, blockSize);
    if (n == 0) return;
    if (rawCapture_) capture_.section("Put " + rawPutName_ + ": ", block, n, true);
    if (!port_->write(kSubRemote, block, n)) {
      portFailed();
      return;
    }
  }
}

void CController::receivePump() {
  if (!receiveLock_.tryAcquire()) return;
  if (port_ && (port_->openMask() & kSubMpe)) mpeReceiver();
  if (port_ && (port_->openMask() & kSubRemote)) remoteReceiver();
  receiveLock_.release();
}

void CController::mpeReceiver() {
  const std::size_t blockSize = static_cast<std::size_t>(largestBlock());
  for (;;) {
    if (rawMpeRead_ >= rawMpeFill_) {
      std::size_t n = blockSize;
      rawMpeRead_ = rawMpeFill_ = 0;
      if (!port_->read(kSubMpe, rawMpe_, &n)) {
        portFailed();
        return;
      }
      if (n == 0) return;
      if (rawCapture_) capture_.section("Get " + rawGetName_ + ": ", rawMpe_, n, true);
      rawMpeFill_ = n;
    }
    const bool mpe = mode_.load() == 1;
    while (rawMpeRead_ < rawMpeFill_) {
      CChannelBuffer& cur = *in_[static_cast<std::size_t>(currentIn_)];
      if (escapePending_) {
        const std::uint8_t b = rawMpe_[rawMpeRead_];
        const int idx = indexOfDigit(b);
        if (idx >= 0) {
          currentIn_ = idx;
        } else {
          if (cur.freeSpace() < 2) return;  // both bytes wait for room
          const std::uint8_t pair[2] = {0x1B, b};
          cur.put(pair, 2);
        }
        escapePending_ = false;
        ++rawMpeRead_;
        continue;
      }
      if (mpe && rawMpe_[rawMpeRead_] == 0x1B) {
        escapePending_ = true;
        ++rawMpeRead_;
        continue;
      }
      // A run of ordinary bytes goes in at once.
      std::size_t end = rawMpeRead_;
      while (end < rawMpeFill_ && !(mpe && rawMpe_[end] == 0x1B)) ++end;
      const std::size_t put = cur.put(rawMpe_ + rawMpeRead_, end - rawMpeRead_);
      rawMpeRead_ += put;
      if (rawMpeRead_ < end) return;  // the channel is full: the rest waits in the raw block
    }
  }
}

void CController::remoteReceiver() {
  const std::size_t blockSize = static_cast<std::size_t>(largestBlock());
  CChannelBuffer& in = *in_[kChannelCount - 1];
  for (;;) {
    if (rawRemoteRead_ >= rawRemoteFill_) {
      std::size_t n = blockSize;
      rawRemoteRead_ = rawRemoteFill_ = 0;
      if (!port_->read(kSubRemote, rawRemote_, &n)) {
        portFailed();
        return;
      }
      if (n == 0) return;
      if (rawCapture_) capture_.section("Get REMOTE: ", rawRemote_, n, true);
      rawRemoteFill_ = n;
    }
    rawRemoteRead_ += in.put(rawRemote_ + rawRemoteRead_, rawRemoteFill_ - rawRemoteRead_);
    if (rawRemoteRead_ < rawRemoteFill_) return;
  }
}

// ---------------------------------------------------------------------------------------------
// Capture

int CController::openCaptureFile(const std::string& path) { return capture_.open(path) ? 1 : 0; }

void CController::startCapture(int channel) {
  if (channel == kRawCaptureChannel) {
    rawCapture_ = true;
    return;
  }
  const int idx = channelIndex(channel);
  if (idx < 0) return;
  out_[static_cast<std::size_t>(idx)]->setCaptureOnPut(&capture_);
  in_[static_cast<std::size_t>(idx)]->setCaptureOnTake(&capture_);
}

void CController::stopCapture(int channel) {
  if (channel == kRawCaptureChannel) {
    rawCapture_ = false;
    return;
  }
  const int idx = channelIndex(channel);
  if (idx < 0) return;
  out_[static_cast<std::size_t>(idx)]->setCaptureOnPut(nullptr);
  in_[static_cast<std::size_t>(idx)]->setCaptureOnTake(nullptr);
}

void CController::closeCaptureFile() { capture_.close(); }

}  // namespace qel::controller
