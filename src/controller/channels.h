#pragma once
// Channel rings and the capture file.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>

#include "controller/bakery_lock.h"

namespace qel::controller {

constexpr int kChannelCount = 8;
constexpr int kRemoteChannel = 98;
constexpr int kRawCaptureChannel = 157;
// Buffer index of a channel number (0, 5, 6, 7, 8, 9, −1, 98), or −1 for any other number.
int channelIndex(int channel);
int channelNumber(int index);
// The digit that follows the escape byte for a buffer index ('/' for −1); 0 for channel 98.
char channelDigit(int index);
// Buffer index of an escape digit, or −1.
int indexOfDigit(std::uint8_t digit);
// Name of a control byte in raw capture ("<CR>"), or nullptr when the byte is written as it is.
const char* controlByteName(std::uint8_t b);

class CCaptureFile {
 public:
  ~CCaptureFile() { close(); }
  bool open(const std::string& path);  // true at once when a file is already open
  bool isOpen() const { return file_ != nullptr; }
  void close();
  // Writes a section; the header line is written when it differs from the last one.
  void section(const std::string& header, const std::uint8_t* data, std::size_t len, bool raw);

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  std::string lastHeader_;
};

class CChannelBuffer {
 public:
  static constexpr std::uint32_t kSize = 4096;
  CChannelBuffer(int channel, bool outgoing);
  std::size_t put(const std::uint8_t* data, std::size_t len);
  std::size_t take(std::uint8_t* out, std::size_t max);
  // Takes up to max bytes, stopping after the first carriage return.
  std::size_t takeLine(std::uint8_t* out, std::size_t max, bool* sawCr);
  std::size_t freeSpace();
  bool empty();
  const std::string& name() const { return name_; }
  void setCaptureOnPut(CCaptureFile* f) { captureOnPut_ = f; }
  void setCaptureOnTake(CCaptureFile* f) { captureOnTake_ = f; }

 private:
  std::size_t takeLocked(std::uint8_t* out, std::size_t max, bool stopAtCr, bool* sawCr);
  std::uint8_t data_[kSize];
  std::uint32_t read_ = 0;
  std::uint32_t write_ = 0;
  const std::uint32_t mask_ = kSize - 1;
  CCaptureFile* captureOnPut_ = nullptr;
  CCaptureFile* captureOnTake_ = nullptr;
  std::string name_;
  CBakeryLock lock_;
};

}  // namespace qel::controller
