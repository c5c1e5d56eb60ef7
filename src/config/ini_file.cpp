#include "config/ini_file.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/files.h"

namespace qel::config {

namespace {

std::mutex& profileLock() {
  static std::mutex m;
  return m;
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
  while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
  return s;
}

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

// One line of the file: its text without the line ending, and where it sits in the file.
struct Line {
  std::string_view text;
  size_t begin;  // offset of the first character
  size_t end;    // offset just past the line ending (or end of file)
};

std::vector<Line> splitLines(std::string_view text) {
  std::vector<Line> lines;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t nl = text.find('\n', pos);
    size_t stop = (nl == std::string_view::npos) ? text.size() : nl;
    size_t textEnd = stop;
    if (textEnd > pos && text[textEnd - 1] == '\r') --textEnd;
    lines.push_back({text.substr(pos, textEnd - pos), pos, nl == std::string_view::npos ? text.size() : nl + 1});
    pos = (nl == std::string_view::npos) ? text.size() : nl + 1;
  }
  return lines;
}

// "[name]" → name; false for any other line.
bool sectionName(std::string_view line, std::string_view& name) {
  std::string_view t = trim(line);
  if (t.size() < 2 || t.front() != '[') return false;
  size_t close = t.find(']');
  if (close == std::string_view::npos) return false;
  name = trim(t.substr(1, close - 1));
  return true;
}

// "key=value" → key and value (trimmed; one pair of surrounding quotes removed).
bool keyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = trim(line.substr(0, eq));
  value = trim(line.substr(eq + 1));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return !key.empty();
}

// Where a section's lines are: index of its header and one past its last line.
struct SectionSpan {
  size_t header;
  size_t stop;
};

bool findSection(const std::vector<Line>& lines, std::string_view section, SectionSpan& span) {
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string_view name;
    if (!sectionName(lines[i].text, name) || !equalsNoCase(name, section)) continue;
    size_t j = i + 1;
    std::string_view other;
    while (j < lines.size() && !sectionName(lines[j].text, other)) ++j;
    span = {i, j};
    return true;
  }
  return false;
}

std::string_view lineEndingOf(std::string_view text) {
  size_t nl = text.find('\n');
  if (nl == std::string_view::npos) return "\r\n";  // new or one-line files: the desktop style
  return (nl > 0 && text[nl - 1] == '\r') ? "\r\n" : "\n";
}

// Files saved as UTF-16 (little endian, with a byte-order mark) are read and written in that
// encoding; everything else is handled as bytes.
enum class Encoding { Bytes, Utf8Bom, Utf16Le };

Encoding detect(std::string_view raw) {
  if (raw.size() >= 2 && static_cast<unsigned char>(raw[0]) == 0xFF && static_cast<unsigned char>(raw[1]) == 0xFE)
    return Encoding::Utf16Le;
  if (raw.size() >= 3 && raw.substr(0, 3) == "\xEF\xBB\xBF") return Encoding::Utf8Bom;
  return Encoding::Bytes;
}

void appendUtf8(std::string& out, unsigned cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

std::string utf16leToUtf8(std::string_view raw) {
  std::string out;
  for (size_t i = 2; i + 1 < raw.size(); i += 2) {
    unsigned u = static_cast<unsigned char>(raw[i]) | (static_cast<unsigned char>(raw[i + 1]) << 8);
    if (u >= 0xD800 && u < 0xDC00 && i + 3 < raw.size()) {
      unsigned lo = static_cast<unsigned char>(raw[i + 2]) | (static_cast<unsigned char>(raw[i + 3]) << 8);
      if (lo >= 0xDC00 && lo < 0xE000) {
        appendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (lo - 0xDC00));
        i += 2;
        continue;
      }
    }
    appendUtf8(out, u);
  }
  return out;
}

void appendUtf16(std::string& out, unsigned cp) {
  auto unit = [&out](unsigned u) {
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
  };
  if (cp >= 0x10000) {
    cp -= 0x10000;
    unit(0xD800 + (cp >> 10));
    unit(0xDC00 + (cp & 0x3FF));
  } else {
    unit(cp);
  }
}

std::string utf8ToUtf16le(std::string_view s) {
  std::string out = "\xFF\xFE";
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    unsigned cp = c;
    size_t len = 1;
    if (c >= 0xF0 && i + 3 < s.size()) {
      cp = ((c & 0x07u) << 18) | ((s[i + 1] & 0x3Fu) << 12) | ((s[i + 2] & 0x3Fu) << 6) | (s[i + 3] & 0x3Fu);
      len = 4;
    } else if (c >= 0xE0 && i + 2 < s.size()) {
      cp = ((c & 0x0Fu) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu);
      len = 3;
    } else if (c >= 0xC0 && i + 1 < s.size()) {
      cp = ((c & 0x1Fu) << 6) | (s[i + 1] & 0x3Fu);
      len = 2;
    }
    appendUtf16(out, cp);
    i += len;
  }
  return out;
}

std::string decode(std::string_view raw, Encoding enc) {
  switch (enc) {
    case Encoding::Utf16Le: return utf16leToUtf8(raw);
    case Encoding::Utf8Bom: return std::string(raw.substr(3));
    case Encoding::Bytes: break;
  }
  return std::string(raw);
}

std::string encode(std::string_view text, Encoding enc) {
  switch (enc) {
    case Encoding::Utf16Le: return utf8ToUtf16le(text);
    case Encoding::Utf8Bom: return "\xEF\xBB\xBF" + std::string(text);
    case Encoding::Bytes: break;
  }
  return std::string(text);
}

// A value must stay on its line.
std::string oneLine(std::string_view value) {
  std::string v(value);
  std::replace(v.begin(), v.end(), '\r', ' ');
  std::replace(v.begin(), v.end(), '\n', ' ');
  return v;
}

// True for a line that holds settings or a section rather than nothing or a comment.
bool isContent(std::string_view line) {
  std::string_view t = trim(line);
  return !t.empty() && t.front() != ';' && t.front() != '#';
}

// Binary data: a NUL character, or more than one control character in 32 that text files
// do not use.
bool looksBinary(std::string_view text) {
  size_t controls = 0;
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == 0) return true;
    if (c < 0x20 && !isBlank(ch) && c != 0x1A) ++controls;
  }
  return controls * 32 > text.size();
}

}  // namespace

ProfileFileCheck checkProfileBytes(std::string_view raw) {
  ProfileFileCheck check{ProfileFileState::Readable, {}};
  const Encoding enc = detect(raw);
  const std::string text = decode(raw, enc);
  if (looksBinary(text)) {
    check.state = ProfileFileState::Unreadable;
    check.reason = "it holds binary data";
    return check;
  }
  bool content = false;
  for (const Line& line : splitLines(text)) {
    std::string_view name;
    if (sectionName(line.text, name)) return check;
    content = content || isContent(line.text);
  }
  if (!content) return check;  // empty or only comments: every key has its default
  check.state = ProfileFileState::Unreadable;
  if (enc == Encoding::Utf16Le && raw.find('\0') == std::string_view::npos)
    check.reason = "it starts with a UTF-16 byte-order mark but holds 8-bit text";
  else
    check.reason = "it holds no [section] line";
  return check;
}

ProfileFileCheck checkProfileFile(const std::string& path) {
  std::optional<std::string> raw;
  int error = 0;
  {
    std::lock_guard<std::mutex> guard(profileLock());
    errno = 0;
    raw = platform::readWholeFile(path);
    error = errno;
  }
  if (raw) return checkProfileBytes(*raw);
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return {ProfileFileState::Missing, {}};
  if (!std::filesystem::is_regular_file(path, ec)) return {ProfileFileState::Unreadable, "it is not a regular file"};
  return {ProfileFileState::Unreadable, "it cannot be read: " + std::string(error ? std::strerror(error) : "read error")};
}

namespace ini_text {

bool find(std::string_view text, std::string_view section, std::string_view key, std::string& value) {
  std::vector<Line> lines = splitLines(text);
  SectionSpan span{};
  if (!findSection(lines, section, span)) return false;
  for (size_t i = span.header + 1; i < span.stop; ++i) {
    std::string_view k, v;
    if (keyValue(lines[i].text, k, v) && equalsNoCase(k, key)) {
      value.assign(v);
      return true;
    }
  }
  return false;
}

std::string withValue(std::string_view text, std::string_view section, std::string_view key,
                      std::string_view value) {
  const std::string_view eol = lineEndingOf(text);
  const std::string v = oneLine(value);
  std::vector<Line> lines = splitLines(text);
  SectionSpan span{};
  std::string out;
  if (!findSection(lines, section, span)) {
    out.assign(text);
    if (!out.empty() && out.back() != '\n') out.append(eol);
    out.append("[").append(section).append("]").append(eol);
    out.append(key).append("=").append(v).append(eol);
    return out;
  }
  // Replace the key's line, keeping the spelling of the key as it stands in the file.
  for (size_t i = span.header + 1; i < span.stop; ++i) {
    std::string_view k, old;
    if (keyValue(lines[i].text, k, old) && equalsNoCase(k, key)) {
      out.assign(text.substr(0, lines[i].begin));
      out.append(k).append("=").append(v);
      size_t lineTextEnd = lines[i].begin + lines[i].text.size();
      out.append(text.substr(lineTextEnd));
      return out;
    }
  }
  // Add the key after the last non-blank line of the section.
  size_t after = span.header;
  for (size_t i = span.header + 1; i < span.stop; ++i)
    if (!trim(lines[i].text).empty()) after = i;
  size_t insertAt = lines[after].end;
  out.assign(text.substr(0, insertAt));
  if (!out.empty() && out.back() != '\n') out.append(eol);
  out.append(key).append("=").append(v).append(eol);
  out.append(text.substr(insertAt));
  return out;
}

}  // namespace ini_text

std::optional<std::string> readProfileText(const std::string& path) {
  std::lock_guard<std::mutex> guard(profileLock());
  std::optional<std::string> raw = platform::readWholeFile(path);
  if (!raw) return std::nullopt;
  return decode(*raw, detect(*raw));
}

std::string profileValue(std::string_view text, std::string_view section, std::string_view key,
                         std::string_view defaultText, std::size_t bufferSize) {
  std::string value;
  if (!ini_text::find(text, section, key, value)) value.assign(defaultText);
  if (bufferSize == 0) return {};
  if (value.size() > bufferSize - 1) value.resize(bufferSize - 1);
  return value;
}

std::string readProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultText, std::size_t bufferSize) {
  const std::optional<std::string> text = readProfileText(path);
  return profileValue(text ? *text : std::string_view(), section, key, defaultText, bufferSize);
}

bool writeProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  std::lock_guard<std::mutex> guard(profileLock());
  std::optional<std::string> raw = platform::readWholeFile(path);
  std::error_code ec;
  if (!raw && std::filesystem::exists(path, ec)) return false;  // there but unreadable: leave it be
  std::string current = raw ? *raw : std::string();
  const Encoding enc = detect(current);
  std::string updated = encode(ini_text::withValue(decode(current, enc), section, key, value), enc);
  // A UTF-16 file of an odd length: its last byte is no character, but it is kept.
  if (enc == Encoding::Utf16Le && current.size() % 2 == 1) updated.push_back(current.back());
  return platform::writeFileAtomically(path, updated);
}

}  // namespace qel::config
