#pragma once
// CFileCodeConv: rewrites a plot file written in UTF-16 or UTF-8 in the system's single-byte
// code page (CP936 here), so that label text reaches the machine in the code page it expects.
// Files already in a single-byte code page are left as they are, and so are drawings (PDF, SVG).
#include <cstddef>
#include <cstdint>
#include <string>

namespace qel::platform {
class Clock;
}

namespace qel::plot {

class CFileCodeConv {
 public:
  enum Encoding : std::int32_t { SingleByte = 0, Utf16LeBom = 1, Utf16BeBom = 2, Utf8Bom = 3, Utf8 = 4 };

  // clock: used for the short settling wait on single-byte files; the system clock when null.
  CFileCodeConv(std::string sourcePath, std::string destPath, platform::Clock* clock = nullptr);
  virtual ~CFileCodeConv() = default;

  // Reads the source, detects its encoding and writes the destination when a conversion is
  // needed. The destination is replaced atomically, so an interrupted run leaves the old file.
  bool convert();

  const std::string& message() const { return message_; }
  std::int32_t encoding() const { return encoding_; }

  // True for content made of valid UTF-8 lead/continuation sequences with at least one byte
  // of 128 or more; pure ASCII is not UTF-8 here.
  static bool isUtf8(const unsigned char* bytes, std::size_t length);

  // The conversions themselves (the system code page is CP936; characters it lacks become '?').
  static bool utf16LeToCodePage(const std::string& utf16le, std::string& out);
  static bool utf8ToUtf16Le(const std::string& utf8, std::string& out);

 private:
  std::int32_t encoding_ = 0;
  std::string sourcePath_;
  std::string destPath_;
  std::string message_;
  platform::Clock* clock_;
};

}  // namespace qel::plot
