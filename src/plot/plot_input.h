#pragma once
// Buffered, seekable byte input for the reader: single-character reads with one character of
// look-ahead and short rewinds, served from a large buffer rather than the file system.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace qel::plot {

class PlotInput {
 public:
  PlotInput() = default;
  ~PlotInput();
  PlotInput(const PlotInput&) = delete;
  PlotInput& operator=(const PlotInput&) = delete;

  // Opens a regular file; false (with errno set) otherwise.
  bool open(const std::string& path);
  // The length of the input, or -1 when it cannot be determined.
  std::int64_t length() const;

  static constexpr int kEnd = -1;

  // The next byte (0..255) or kEnd.
  int get() {
    if (pos_ < len_) return static_cast<unsigned char>(buf_[pos_++]);
    return slowGet();
  }
  int peek() {
    if (pos_ < len_) return static_cast<unsigned char>(buf_[pos_]);
    return slowPeek();
  }
  // Appends bytes to `out` until one for which isTerminator holds, which is consumed and
  // returned; kEnd when the input ends first.
  template <class IsTerminator>
  int readUntil(std::string& out, IsTerminator isTerminator) {
    for (;;) {
      if (pos_ >= len_ && slowPeek() == kEnd) return kEnd;
      const std::size_t start = pos_;
      while (pos_ < len_) {
        const int c = static_cast<unsigned char>(buf_[pos_]);
        if (isTerminator(c)) {
          out.append(buf_.data() + start, pos_ - start);
          ++pos_;
          return c;
        }
        ++pos_;
      }
      out.append(buf_.data() + start, pos_ - start);
    }
  }

  // Like readUntil, but hands the bytes out as a view: into the input buffer when they lie
  // within it (no copy), else into `storage`. The view stays valid until the next read.
  template <class IsTerminator>
  int scan(std::string& storage, std::string_view& view, IsTerminator isTerminator) {
    const std::size_t start = pos_;
    // Bytes below ';' (digits, signs, separators, line breaks) never end parameters: skip
    // them eight at a time.
    while (pos_ + 8 <= len_) {
      std::uint64_t w;
      std::memcpy(&w, buf_.data() + pos_, 8);
      if (((w + 0x4545454545454545ULL) | w) & 0x8080808080808080ULL) break;
      pos_ += 8;
    }
    while (pos_ < len_) {
      const int c = static_cast<unsigned char>(buf_[pos_]);
      if (isTerminator(c)) {
        view = std::string_view(buf_.data() + start, pos_ - start);
        ++pos_;
        return c;
      }
      ++pos_;
    }
    storage.assign(buf_.data() + start, pos_ - start);
    const int t = readUntil(storage, isTerminator);
    view = storage;
    return t;
  }

  std::int64_t tell() const { return base_ + static_cast<std::int64_t>(pos_); }
  void seek(std::int64_t position);
  void unget() { seek(tell() - 1); }
  // True when the last read failed for another reason than the end of the file.
  bool failed() const { return failed_; }

 private:
  int slowGet();
  int slowPeek();
  bool fill(std::int64_t at);

  int fd_ = -1;
  std::vector<char> buf_;
  std::size_t pos_ = 0;
  std::size_t len_ = 0;
  std::int64_t base_ = 0;  // file offset of buf_[0]
  bool failed_ = false;
};

}  // namespace qel::plot
