#pragma once
// The controller object: at most one port, the sixteen channel buffers with the escape
// multiplexer, the capture file and the cancel flag. Any thread may read and write channels; the
// first thread that wins a pump does the port work for everybody.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "controller/channels.h"
#include "controller/device_io.h"
#include "controller/port.h"
#include "platform/clock.h"

namespace qel::controller {

// Host callback: (user data, window, message, first parameter, second parameter) → answer.
using HostCallback = std::intptr_t (*)(void* user, void* window, unsigned message, std::uintptr_t w,
                                       std::intptr_t l);

enum : unsigned { kMsgProgress = 0x502, kMsgProjectKey = 0x503, kMsgReconnect = 0x504 };

class CController {
 public:
  explicit CController(platform::Clock* clock = nullptr);
  ~CController();
  CController(const CController&) = delete;
  CController& operator=(const CController&) = delete;

  // Open operations: 1 opened, 0 failed (with a message).
  int openUsb(int device, int mask);
  int openSerial(const std::string& portName, int serialMode, int mask);
  int openTcp(const std::string& host, int tcpPort, int mask);
  int openPci(int card, int mask);
  int openAdditional(int mask);
  void close(int mask);

  void setChannelMode(int mode, bool force);
  int channelMode() const { return mode_.load(); }
  int isOpen(int mask) const;
  int status() const;
  int portType() const { return port_ ? port_->portType() : 0; }
  int canDownload() const { return port_ ? port_->canDownload() : 0; }
  int canTableTransfer() const { return port_ ? port_->canTableTransfer() : 0; }
  int canVrTransfer() const { return port_ ? port_->canVrTransfer() : 0; }
  int escapeOnRemoteChannel() const { return port_ ? port_->escapeOnRemoteChannel() : 1; }
  int getTable(int first, int count, double* values);
  int setTable(int first, int count, const double* values);
  int getVr(int index, double* value);
  int setVr(int index, double value);

  // Channels. read: *len in is the room, out the count taken.
  int read(int channel, std::uint8_t* buf, std::size_t* len);
  int write(int channel, const std::uint8_t* data, std::size_t len);
  int write(int channel, const std::string& s) {
    return write(channel, reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
  }
  void flush(int channel);
  void sendPump();
  void receivePump();

  int openCaptureFile(const std::string& path);
  void startCapture(int channel);
  void stopCapture(int channel);
  void closeCaptureFile();

  void setCancel(int flag) { cancel_.store(flag); }
  int cancel() const { return cancel_.load(); }

  // Host services.
  void setHostCallback(HostCallback cb, void* user);
  std::intptr_t notifyHost(void* window, unsigned msg, std::uintptr_t w, std::intptr_t l);
  // Where message-box texts go (standard error when none is set).
  void setMessageSink(std::function<void(const std::string&)> sink) { messageSink_ = std::move(sink); }
  void showMessage(const std::string& text);
  void setDeviceIo(std::shared_ptr<CDeviceIo> io) { deviceIo_ = std::move(io); }
  void setConnectTimeoutMs(int ms) { connectTimeoutMs_ = ms; }
  platform::Clock& clock() { return *clock_; }
  CPort* port() { return port_.get(); }
  int largestBlock() const { return port_ ? std::min(port_->largestBlock(), 256) : 16; }
  bool lineLock() const { return lineLock_.load(); }

 private:
  int finishOpen(std::unique_ptr<CPort> port, bool ok, const char* kind);
  void mpeSender();
  void remoteSender();
  void mpeReceiver();
  void remoteReceiver();
  void portFailed();

  platform::Clock* clock_;
  std::unique_ptr<CPort> port_;
  std::atomic<bool> lineLock_{false};
  std::atomic<bool> rawCapture_{false};
  std::array<std::unique_ptr<CChannelBuffer>, kChannelCount> out_;
  std::array<std::unique_ptr<CChannelBuffer>, kChannelCount> in_;
  std::atomic<int> mode_{0};
  CCaptureFile capture_;
  const std::string rawPutName_ = "RAW[pc_to_controller]";
  const std::string rawGetName_ = "RAW[controller_to_pc]";
  std::atomic<int> cancel_{0};
  CBakeryLock sendLock_;
  CBakeryLock receiveLock_;
  int currentOut_ = 0;  // buffer index
  int currentIn_ = 0;
  bool escapePending_ = false;
  std::uint8_t rawMpe_[256];
  std::size_t rawMpeFill_ = 0, rawMpeRead_ = 0;
  std::uint8_t rawRemote_[256];
  std::size_t rawRemoteFill_ = 0, rawRemoteRead_ = 0;

  HostCallback hostCallback_ = nullptr;
  void* hostUser_ = nullptr;
  std::function<void(const std::string&)> messageSink_;
  std::shared_ptr<CDeviceIo> deviceIo_;
  int connectTimeoutMs_ = 5000;
};

}  // namespace qel::controller
