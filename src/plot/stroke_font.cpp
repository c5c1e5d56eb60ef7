#include "plot/stroke_font.h"

#include <sys/stat.h>

#include <mutex>
#include <map>

#include "platform/data_dir.h"
#include "platform/files.h"
#include "platform/home.h"

namespace qel::plot {

namespace {

std::uint32_t be32(const unsigned char* p) {
  return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}

bool isDigit(unsigned char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string StrokeFont::asciiKey(unsigned char c) { return "JWASCII" + std::to_string(c); }

std::string StrokeFont::gbKey(unsigned char first, unsigned char second) {
  return "JW" + std::to_string(first - 0xA0) + std::to_string(second - 0xA0);
}

std::shared_ptr<const StrokeFont> StrokeFont::parse(std::string_view bytes) {
  auto font = std::make_shared<StrokeFont>();
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  std::size_t pos = 0;
  // Entries one after the other: key letters and digits, a big-endian length, the segments.
  while (pos + 2 < n && data[pos] == 'J' && data[pos + 1] == 'W') {
    std::size_t k = pos + 2;
    if (n - k >= 5 && bytes.substr(k, 5) == "ASCII") k += 5;
    while (k < n && isDigit(data[k])) ++k;
    if (k == pos + 2 || n - k < 4) break;
    const std::string key(bytes.substr(pos, k - pos));
    const std::uint32_t length = be32(data + k);
    const std::size_t start = k + 4;
    if (length > n - start) break;  // a truncated entry ends the font
    if (!font->glyphs_.count(key)) {
      std::vector<GlyphSegment> segments;
      segments.reserve(length / 16);
      for (std::size_t s = start; s + 16 <= start + length; s += 16)
        segments.push_back({static_cast<std::int32_t>(be32(data + s)), static_cast<std::int32_t>(be32(data + s + 4)),
                            static_cast<std::int32_t>(be32(data + s + 8)),
                            static_cast<std::int32_t>(be32(data + s + 12))});
      font->glyphs_.emplace(key, std::move(segments));
    }
    pos = start + length;
  }
  return font;
}

std::shared_ptr<const StrokeFont> StrokeFont::load(const std::string& path) {
  auto bytes = platform::readWholeFile(path);
  if (!bytes) return std::make_shared<StrokeFont>();
  return parse(*bytes);
}

std::vector<std::string> StrokeFont::searchPath(const std::string& homeDir) {
  std::vector<std::string> candidates;
  if (!homeDir.empty()) candidates.push_back(platform::withTrailingSlash(homeDir) + "QEL.dat");
  for (const auto& d : platform::dataDirs()) candidates.push_back(d + "/QEL.dat");
  return candidates;
}

std::string StrokeFont::locate(const std::string& homeDir) {
  for (const auto& c : searchPath(homeDir))
    if (platform::fileExists(c)) return c;
  return {};
}

std::shared_ptr<const StrokeFont> StrokeFont::forHome(const std::string& homeDir) {
  const std::string path = locate(homeDir);
  if (path.empty()) return std::make_shared<StrokeFont>();
  // Kept per path and modification time, so a replaced font file is read again.
  struct stat st {};
  ::stat(path.c_str(), &st);
  const std::string id = path + "@" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec) +
                         "/" + std::to_string(st.st_size);
  static std::mutex m;
  static std::map<std::string, std::shared_ptr<const StrokeFont>> cache;
  std::lock_guard<std::mutex> g(m);
  auto it = cache.find(id);
  if (it != cache.end()) return it->second;
  auto font = load(path);
  cache[id] = font;
  return font;
}

const std::vector<GlyphSegment>* StrokeFont::glyph(std::string_view key) const {
  auto it = glyphs_.find(std::string(key));
  return it == glyphs_.end() ? nullptr : &it->second;
}

}  // namespace qel::plot
