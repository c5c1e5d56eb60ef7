#include "controller/coff.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace qel::controller {
namespace {

std::uint16_t u16(const std::vector<std::uint8_t>& b, std::size_t o) {
  return static_cast<std::uint16_t>(b[o] | (b[o + 1] << 8));
}
std::uint32_t u32(const std::vector<std::uint8_t>& b, std::size_t o) {
  return static_cast<std::uint32_t>(b[o]) | (static_cast<std::uint32_t>(b[o + 1]) << 8) |
         (static_cast<std::uint32_t>(b[o + 2]) << 16) | (static_cast<std::uint32_t>(b[o + 3]) << 24);
}

template <class... A>
void appendf(std::string* s, const char* fmt, A... a) {
  char buf[1400];
  std::snprintf(buf, sizeof buf, fmt, a...);
  if (s) *s += buf;
}

}  // namespace

bool readCoff(const std::string& path, CoffImage* image, std::string* err, std::string* out) {
  const char* p = path.c_str();
  struct stat st {};
  if (::stat(p, &st) != 0) {
    appendf(err, "Error stating %s [%s]\n\r", p, std::strerror(errno));
    return false;
  }
  std::vector<std::uint8_t> bytes;
  try {
    bytes.resize(static_cast<std::size_t>(st.st_size));
  } catch (const std::bad_alloc&) {
    appendf(err, "Cannot create buffer to read file %s\n\r", p);
    return false;
  }
  std::FILE* f = std::fopen(p, "rb");
  if (!f) {
    appendf(err, "Error opening %s [%s]\n\r", p, std::strerror(errno));
    return false;
  }
  const std::size_t got = bytes.empty() ? 0 : std::fread(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  const auto readError = [&](const char* why) {
    appendf(err, "Error reading %s [%s]\n\r", p, why);
    return false;
  };
  if (got != bytes.size()) return readError("short read");
  if (bytes.size() < 20) return readError("file header past the end of the file");

  const std::uint16_t magic = u16(bytes, 0);
  int wordSize;
  std::uint16_t optMagic;
  if (magic == 0x0093) {
    wordSize = 4;
    optMagic = 0x0108;
  } else if (magic == 0x0166) {
    wordSize = 1;
    optMagic = 0x010B;
  } else {
    appendf(err, "FILE HEADER magic number error [FILE %04x]\n\r", magic);
    return false;
  }
  const int count = u16(bytes, 2);
  const std::size_t optSize = u16(bytes, 16);
  if (20 + optSize > bytes.size()) return readError("optional header past the end of the file");
  if (optSize != 0) {
    if (optSize < 2) return readError("optional header too short");
    const std::uint16_t m = u16(bytes, 20);
    if (m != optMagic) {
      appendf(err, "OPTIONAL FILE HEADER magic number error [FILE %04x]\n\r", m);
      return false;
    }
  }
  if (count > kCoffMaxSections) {
    appendf(err, "Too many sections [FILE %i, LIMIT %i]\n\r", count, kCoffMaxSections);
    return false;
  }
  const std::size_t headers = 20 + optSize;
  if (headers + static_cast<std::size_t>(count) * 40 > bytes.size())
    return readError("section headers past the end of the file");
  std::vector<CoffSection> sections;
  for (int i = 0; i < count; ++i) {
    const std::size_t o = headers + static_cast<std::size_t>(i) * 40;
    CoffSection s;
    char name[9] = {0};
    std::memcpy(name, &bytes[o], 8);
    s.name = name;
    s.address = u32(bytes, o + 8);
    s.size = u32(bytes, o + 16);
    s.fileOffset = u32(bytes, o + 20);
    s.flags = u32(bytes, o + 36);
    if (s.loadable() && (static_cast<std::uint64_t>(s.fileOffset) + s.size > bytes.size()))
      return readError("section data past the end of the file");
    sections.push_back(s);
  }
  appendf(out, "--COFF file %s\n\r", p);
  appendf(out, "  Sections=%i\n\r", count);
  for (const auto& s : sections)
    appendf(out, "    %-8s => address = 0x%08lx, length = 0x%08lx, file = 0x%08lx\n\r", s.name.c_str(),
            static_cast<unsigned long>(s.address), static_cast<unsigned long>(s.size),
            static_cast<unsigned long>(s.fileOffset));
  image->bytes = std::move(bytes);
  image->wordSize = wordSize;
  image->sections = std::move(sections);
  return true;
}

}  // namespace qel::controller
