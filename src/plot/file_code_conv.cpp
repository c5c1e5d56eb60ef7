#include "plot/file_code_conv.h"

#include <iconv.h>

#include <cerrno>

#include "platform/clock.h"
#include "platform/files.h"
#include "plot/plot_format.h"

namespace qel::plot {

namespace {

constexpr const char* kCodePage = "CP936";

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(::iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) ::iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Converts `in` unit by unit; a unit the target cannot take is replaced by `replacement`
// (in the target encoding) and skipped by `skip` bytes.
bool convertWithReplacement(const Iconv& cd, const std::string& in, std::string& out, std::size_t skip,
                            const std::string& replacement) {
  out.clear();
  out.reserve(in.size());
  char* src = const_cast<char*>(in.data());
  std::size_t left = in.size();
  char buf[4096];
  while (left > 0) {
    char* dst = buf;
    std::size_t room = sizeof buf;
    std::size_t r = ::iconv(cd.get(), &src, &left, &dst, &room);
    out.append(buf, static_cast<std::size_t>(dst - buf));
    if (r != static_cast<std::size_t>(-1)) continue;
    if (errno == E2BIG) continue;
    if (errno == EILSEQ || errno == EINVAL) {
      // EINVAL: an incomplete unit at the end of the input.
      std::size_t n = skip;
      // A surrogate pair that the target lacks counts as one character.
      if (skip == 2 && left >= 4) {
        unsigned hi = static_cast<unsigned char>(src[1]);
        if (hi >= 0xD8 && hi <= 0xDB) n = 4;
      }
      if (n > left) n = left;
      src += n;
      left -= n;
      out += replacement;
      ::iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      continue;
    }
    return false;
  }
  char* dst = buf;
  std::size_t room = sizeof buf;
  if (::iconv(cd.get(), nullptr, nullptr, &dst, &room) == static_cast<std::size_t>(-1)) return false;
  out.append(buf, static_cast<std::size_t>(dst - buf));
  return true;
}

// Length in bytes of the first character of a CP936 text.
std::size_t firstCharLength(const std::string& s) {
  if (s.empty()) return 0;
  unsigned char c = static_cast<unsigned char>(s[0]);
  return (c >= 0x81 && c <= 0xFE && s.size() >= 2) ? 2 : 1;
}

}  // namespace

CFileCodeConv::CFileCodeConv(std::string sourcePath, std::string destPath, platform::Clock* clock)
    : sourcePath_(std::move(sourcePath)), destPath_(std::move(destPath)), clock_(clock) {}

bool CFileCodeConv::isUtf8(const unsigned char* bytes, std::size_t length) {
  if (bytes == nullptr || length < 1) return false;
  int pending = 0;
  bool allAscii = true;
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = bytes[i];
    if (pending > 0) {
      if ((c & 0xC0) != 0x80) return false;
      --pending;
      continue;
    }
    if (c < 0x80) continue;
    allAscii = false;
    int n = 0;
    for (unsigned char m = 0x80; m != 0 && (c & m); m >>= 1) ++n;
    if (n == 1) return false;
    pending = n - 1;
  }
  return pending == 0 && !allAscii;
}

bool CFileCodeConv::utf16LeToCodePage(const std::string& utf16le, std::string& out) {
  Iconv cd(kCodePage, "UTF-16LE");
  if (!cd.ok()) return false;
  // An odd trailing byte is not a character.
  std::string even = utf16le.substr(0, utf16le.size() & ~static_cast<std::size_t>(1));
  return convertWithReplacement(cd, even, out, 2, "?");
}

bool CFileCodeConv::utf8ToUtf16Le(const std::string& utf8, std::string& out) {
  Iconv cd("UTF-16LE", "UTF-8");
  if (!cd.ok()) return false;
  // Sequences that UTF-8 does not allow (overlong forms, lead bytes of five or more) become
  // the replacement character, one per byte.
  return convertWithReplacement(cd, utf8, out, 1, std::string("\xFD\xFF", 2));
}

bool CFileCodeConv::convert() {
  message_.clear();
  std::optional<std::string> content = platform::readWholeFile(sourcePath_);
  if (!content) {
    message_ = "Open File Error";
    return false;
  }
  const std::string& data = *content;
  // A drawing (PDF, SVG) is no plot text: its bytes are its reader's business.
  if (isDrawing(plotFormatOf(data, sourcePath_))) return true;
  const auto* b = reinterpret_cast<const unsigned char*>(data.data());
  std::size_t n = data.size();
  if (n >= 2 && b[0] == 0xFF && b[1] == 0xFE)
    encoding_ = Utf16LeBom;
  else if (n >= 2 && b[0] == 0xFE && b[1] == 0xFF)
    encoding_ = Utf16BeBom;
  else if (n >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF)
    encoding_ = Utf8Bom;
  else
    encoding_ = isUtf8(b, n) ? Utf8 : SingleByte;

  if (encoding_ == SingleByte) {
    platform::Clock& clock = clock_ ? *clock_ : platform::SystemClock::instance();
    clock.sleepMs(100);
    return true;
  }

  std::string utf16;
  bool ok = true;
  switch (encoding_) {
    case Utf16LeBom:
      utf16 = data;
      break;
    case Utf16BeBom:
      utf16 = data;
      for (std::size_t i = 0; i + 1 < utf16.size(); i += 2) std::swap(utf16[i], utf16[i + 1]);
      break;
    default:
      ok = utf8ToUtf16Le(data, utf16);
      break;
  }
  std::string single;
  if (ok) ok = utf16LeToCodePage(utf16, single);
  if (ok && encoding_ != Utf8) single.erase(0, firstCharLength(single));
  if (ok) ok = platform::writeFileAtomically(destPath_, single);
  if (!ok) {
    message_ = "Conversion Fail";
    return false;
  }
  return true;
}

}  // namespace qel::plot
