#include "plot/cut_colours.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

namespace qel::plot {

namespace {

// The list items of a setting: separated by commas (or semicolons), blanks around them dropped.
std::vector<std::string> items(std::string_view text) {
  std::vector<std::string> out;
  std::size_t from = 0;
  while (from <= text.size()) {
    std::size_t end = text.find_first_of(",;", from);
    if (end == std::string_view::npos) end = text.size();
    std::string_view item = text.substr(from, end - from);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.front()))) item.remove_prefix(1);
    while (!item.empty() && std::isspace(static_cast<unsigned char>(item.back()))) item.remove_suffix(1);
    if (!item.empty()) out.emplace_back(item);
    from = end + 1;
  }
  return out;
}

// The letters that count in a colour name: lower case, without blanks, hyphens and underscores.
std::string key(std::string_view name) {
  std::string out;
  out.reserve(name.size());
  for (char c : name) {
    if (c == ' ' || c == '-' || c == '_' || c == '\t') continue;
    out.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return out;
}

// Wildcard match of a key pattern ("*" any run) against a key, without recursion.
bool wildcard(std::string_view p, std::string_view s) {
  std::size_t pi = 0, si = 0, star = std::string_view::npos, mark = 0;
  while (si < s.size()) {
    if (pi < p.size() && p[pi] == '*') {
      star = pi++;
      mark = si;
    } else if (pi < p.size() && p[pi] == s[si]) {
      ++pi;
      ++si;
    } else if (star != std::string_view::npos) {
      pi = star + 1;
      si = ++mark;
    } else {
      return false;
    }
  }
  while (pi < p.size() && p[pi] == '*') ++pi;
  return pi == p.size();
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

}  // namespace

bool colourNameMatches(std::string_view pattern, std::string_view name) {
  const std::string p = key(pattern), n = key(name);
  return !p.empty() && wildcard(p, n);
}

std::optional<Rgb> parseRgb(std::string_view text) {
  if (!text.empty() && text.front() == '#') text.remove_prefix(1);
  if (text.size() != 6 && text.size() != 3) return std::nullopt;
  int d[6];
  for (std::size_t i = 0; i < text.size(); ++i)
    if ((d[i] = hexDigit(text[i])) < 0) return std::nullopt;
  if (text.size() == 3) return Rgb{d[0] * 17 / 255.0, d[1] * 17 / 255.0, d[2] * 17 / 255.0};
  return Rgb{(d[0] * 16 + d[1]) / 255.0, (d[2] * 16 + d[3]) / 255.0, (d[4] * 16 + d[5]) / 255.0};
}

bool sameRgb(const Rgb& a, const Rgb& b) {
  constexpr double kSame = 5.0 / 255.0;
  return std::fabs(a.r - b.r) <= kSame && std::fabs(a.g - b.g) <= kSame && std::fabs(a.b - b.b) <= kSame;
}

CutColours::CutColours(const DrawingOptions& o) : cut_(items(o.cutColours)), marks_(items(o.markColours)) {
  for (const std::string& t : items(o.cutRgb))
    if (auto c = parseRgb(t)) {
      rgb_.push_back(*c);
      rgbText_.push_back(t);
    }
  for (const std::string& rule : items(o.cutPens)) {
    const std::size_t colon = rule.rfind(':');
    if (colon == std::string::npos) continue;
    const std::string pattern = rule.substr(0, colon);
    char* end = nullptr;
    const long pen = std::strtol(rule.c_str() + colon + 1, &end, 10);
    if (end == rule.c_str() + colon + 1 || *end != '\0' || pen < 1 || pen > 99) continue;
    PenRule r;
    r.pen = static_cast<int>(pen);
    if (!pattern.empty() && pattern.front() == '#')
      r.rgb = parseRgb(pattern);
    else
      r.pattern = pattern;
    if (r.rgb || !r.pattern.empty()) pens_.push_back(std::move(r));
  }
}

const CutColours::SpotRole& CutColours::role(std::string_view name) const {
  const std::string key(name);
  if (auto it = roles_.find(key); it != roles_.end()) return it->second;
  SpotRole r;
  for (const std::string& p : cut_)
    if (colourNameMatches(p, name)) r.pen = 1;
  if (r.pen)
    for (const PenRule& rule : pens_)
      if (!rule.pattern.empty() && colourNameMatches(rule.pattern, name)) {
        r.pen = rule.pen;
        break;
      }
  for (const std::string& p : marks_)
    if (colourNameMatches(p, name)) r.mark = true;
  return roles_.emplace(key, r).first->second;
}

std::optional<int> CutColours::spotPen(std::string_view name) const { return role(name).pen; }

bool CutColours::isMarkColour(std::string_view name) const { return role(name).mark; }

std::optional<int> CutColours::rgbPen(const Rgb& c) const {
  bool cut = false;
  for (const Rgb& r : rgb_)
    if (sameRgb(r, c)) cut = true;
  if (!cut) return std::nullopt;
  for (const PenRule& r : pens_)
    if (r.rgb && sameRgb(*r.rgb, c)) return r.pen;
  return 1;
}

}  // namespace qel::plot
