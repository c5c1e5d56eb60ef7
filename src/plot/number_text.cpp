#include "plot/number_text.h"

#include <locale.h>

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace qel::plot {

namespace {

bool isCSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

}  // namespace

double parseReal(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  if (i < text.size() && text[i] == '+') {
    // from_chars takes no '+': skip it unless another sign follows ("+-5" is no number).
    if (i + 1 < text.size() && text[i + 1] == '-') return 0.0;
    ++i;
  }
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  // Hexadecimal, infinity and NaN forms are left to strtod below.
  bool plain = true;
  for (const char* p = first; p < last && p < first + 3; ++p)
    if (*p == 'x' || *p == 'X' || *p == 'i' || *p == 'I' || *p == 'n' || *p == 'N') plain = false;
  if (plain) {
    double v = 0.0;
    auto res = std::from_chars(first, last, v, std::chars_format::general);
    if (res.ec == std::errc()) return v;
    if (res.ec == std::errc::invalid_argument) return 0.0;
  }
  // Out of range, or a form from_chars does not read: the C library decides.
  std::string copy(first, last);
  return strtod_l(copy.c_str(), nullptr, cLocale());
}

int parseInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && isCSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long v = 0;
  bool any = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    any = true;
    if (v < 1'000'000'000'000LL) v = v * 10 + (text[i] - '0');
  }
  if (!any) return 0;
  if (negative) v = -v;
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

void appendNumber(std::string& out, double v) {
  // Whole values below one million are by far the most common: write them directly.
  if (v > -1e6 && v < 1e6) {
    long long whole = static_cast<long long>(v);
    if (static_cast<double>(whole) == v && !(whole == 0 && std::signbit(v))) {
      char buf[24];
      auto res = std::to_chars(buf, buf + sizeof buf, whole);
      out.append(buf, res.ptr);
      return;
    }
  }
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 6);
  out.append(buf, res.ptr);
}

std::string formatNumber(double v) {
  std::string s;
  appendNumber(s, v);
  return s;
}

}  // namespace qel::plot
