#include "platform/code_page.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>

namespace qel::platform {

namespace {

// One conversion; a unit the input encoding does not define or the output cannot take is
// skipped (`skip` bytes; 0: one UTF-8 character) and written as "?".
std::string convert(const char* to, const char* from, std::string_view in, std::size_t skip) {
  std::string out;
  iconv_t cd = ::iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    for (unsigned char c : in) out += c < 0x80 ? static_cast<char>(c) : '?';
    return out;
  }
  char* src = const_cast<char*>(in.data());
  std::size_t left = in.size();
  char buf[256];
  while (left > 0) {
    char* dst = buf;
    std::size_t room = sizeof buf;
    const std::size_t r = ::iconv(cd, &src, &left, &dst, &room);
    out.append(buf, static_cast<std::size_t>(dst - buf));
    if (r != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    // A byte that starts no character of the input is skipped alone; a character the output
    // lacks is skipped whole (UTF-8 input: by its lead byte; CP936 input: a pair).
    std::size_t n = std::min(skip, left);
    if (skip == 0) {
      const unsigned char lead = static_cast<unsigned char>(*src);
      n = lead < 0xC0 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
      for (std::size_t i = 1; i < n; ++i)
        if (i >= left || (static_cast<unsigned char>(src[i]) & 0xC0) != 0x80) {
          n = 1;
          break;
        }
    }
    if (n == 0) n = 1;
    src += n;
    left -= n;
    out += '?';
    ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  ::iconv_close(cd);
  return out;
}

}  // namespace

std::string toSystemCodePage(std::string_view utf8) { return convert("CP936", "UTF-8", utf8, 0); }

std::string fromSystemCodePage(std::string_view cp936) {
  // An undefined pair is skipped as a pair, a lone lead byte at the end as itself.
  return convert("UTF-8", "CP936", cp936, 2);
}

std::string_view cutAtCharacter(std::string_view s, std::size_t maxBytes) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t len = (c >= 0x81 && c <= 0xFE && i + 1 < s.size()) ? 2 : 1;
    if (i + len > maxBytes) break;
    i += len;
  }
  return s.substr(0, i);
}

}  // namespace qel::platform
