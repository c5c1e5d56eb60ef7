#include "controller/channels.h"

#include <algorithm>
#include <cstring>

namespace qel::controller {
namespace {
const int kNumbers[kChannelCount] = {0, 5, 6, 7, 8, 9, -1, 98};
const char kDigits[kChannelCount] = {'0', '5', '6', '7', '8', '9', '/', 0};
const char* const kControlNames[32] = {
    "<NUL>", "<SOH>", "<STX>", "<ETX>", "<EOT>", "<ENQ>", "<ACK>", "<BEL>", "<BS>",  "<HT>", "<LF>",
    "<VT>",  "<FF>",  "<CR>",  "<SO>",  "<SI>",  nullptr, "<DC1>", "<DC2>", "<DC3>", "<DC4>", "<NAK>",
    "<SYN>", "<ETB>", "<CAN>", "<EM>",  "<SIB>", "<ESC>", "<FS>",  "<GS>",  "<RS>",  "<US>"};
}  // namespace

int channelIndex(int channel) {
  for (int i = 0; i < kChannelCount; ++i)
    if (kNumbers[i] == channel) return i;
  return -1;
}
int channelNumber(int index) { return kNumbers[index]; }
char channelDigit(int index) { return kDigits[index]; }
int indexOfDigit(std::uint8_t digit) {
  for (int i = 0; i < kChannelCount - 1; ++i)
    if (static_cast<std::uint8_t>(kDigits[i]) == digit) return i;
  return -1;
}
const char* controlByteName(std::uint8_t b) {
  if (b < 32) return kControlNames[b];
  if (b == 127) return "<DEL>";
  return nullptr;
}

bool CCaptureFile::open(const std::string& path) {
  std::lock_guard<std::mutex> g(mutex_);
  if (file_) return true;
  file_ = std::fopen(path.c_str(), "w");
  lastHeader_.clear();
  return file_ != nullptr;
}

void CCaptureFile::close() {
  std::lock_guard<std::mutex> g(mutex_);
  if (!file_) return;
  std::fputs("]\n", file_);
  std::fclose(file_);
  file_ = nullptr;
}

void CCaptureFile::section(const std::string& header, const std::uint8_t* data, std::size_t len, bool raw) {
  std::lock_guard<std::mutex> g(mutex_);
  if (!file_) return;
  if (lastHeader_.empty()) {
    lastHeader_ = header;
  } else if (header != lastHeader_) {
    lastHeader_ = header;
    std::fputs("]\n", file_);
    std::fputs(header.c_str(), file_);
  }
  if (!raw) {
    std::fwrite(data, 1, len, file_);
  } else {
    for (std::size_t i = 0; i < len; ++i) {
      const char* n = controlByteName(data[i]);
      if (n)
        std::fputs(n, file_);
      else
        std::fputc(data[i], file_);
    }
  }
  std::fflush(file_);
}

CChannelBuffer::CChannelBuffer(int channel, bool outgoing) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "Channel[%i][%s]", channel, outgoing ? "pc_to_controller" : "controller_to_pc");
  name_ = buf;
}

std::size_t CChannelBuffer::put(const std::uint8_t* data, std::size_t len) {
  CBakeryGuard g(lock_);
  if (captureOnPut_) captureOnPut_->section("Put " + name_ + ": ", data, len, false);
  std::size_t n = 0;
  while (n < len && ((write_ + 1) & mask_) != read_) {
    const std::uint32_t room = (read_ > write_) ? read_ - write_ - 1 : kSize - write_ - (read_ == 0 ? 1 : 0);
    const std::size_t chunk = std::min<std::size_t>(room, len - n);
    std::memcpy(data_ + write_, data + n, chunk);
    write_ = (write_ + static_cast<std::uint32_t>(chunk)) & mask_;
    n += chunk;
  }
  return n;
}

std::size_t CChannelBuffer::takeLocked(std::uint8_t* out, std::size_t max, bool stopAtCr, bool* sawCr) {
  std::size_t n = 0;
  if (sawCr) *sawCr = false;
  if (!stopAtCr) {
    while (n < max && read_ != write_) {
      const std::uint32_t avail = (write_ > read_) ? write_ - read_ : kSize - read_;
      const std::size_t chunk = std::min<std::size_t>(avail, max - n);
      std::memcpy(out + n, data_ + read_, chunk);
      read_ = (read_ + static_cast<std::uint32_t>(chunk)) & mask_;
      n += chunk;
    }
  } else {
    while (n < max && read_ != write_) {
      const std::uint8_t b = data_[read_];
      read_ = (read_ + 1) & mask_;
      out[n++] = b;
      if (b == 0x0D) {
        *sawCr = true;
        break;
      }
    }
  }
  if (captureOnTake_ && n) captureOnTake_->section("Get " + name_ + ": ", out, n, false);
  return n;
}

std::size_t CChannelBuffer::take(std::uint8_t* out, std::size_t max) {
  CBakeryGuard g(lock_);
  return takeLocked(out, max, false, nullptr);
}

std::size_t CChannelBuffer::takeLine(std::uint8_t* out, std::size_t max, bool* sawCr) {
  CBakeryGuard g(lock_);
  return takeLocked(out, max, true, sawCr);
}

std::size_t CChannelBuffer::freeSpace() {
  CBakeryGuard g(lock_);
  return (read_ - write_ - 1) & mask_;
}

bool CChannelBuffer::empty() {
  CBakeryGuard g(lock_);
  return read_ == write_;
}

}  // namespace qel::controller
