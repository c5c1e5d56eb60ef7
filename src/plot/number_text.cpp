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
  {
    // Fast path for the common forms "-123" and "12.75": up to 15 digits are exact in a
    // double, and one correctly rounded division gives what strtod gives.
    static constexpr double kPow10[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
    const char* p = first;
    const bool negative = p < last && *p == '-';
    if (negative) ++p;
    long long mantissa = 0;
    int digits = 0, fraction = -1;
    for (; p < last; ++p) {
      if (*p >= '0' && *p <= '9') {
        mantissa = mantissa * 10 + (*p - '0');
        ++digits;
        if (fraction >= 0) ++fraction;
      } else if (*p == '.' && fraction < 0) {
        fraction = 0;
      } else {
        break;
      }
      if (digits > 15) break;
    }
    if (digits > 0 && digits <= 15 && (p == last || ((*p < '0' || *p > '9') && *p != '.' && *p != 'e' && *p != 'E'))) {
      double v = static_cast<double>(mantissa);
      if (fraction > 0) v /= kPow10[fraction];
      return negative ? -v : v;
    }
  }
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

int truncToInt(double v) {
  if (!(v == v)) return 0;
  if (v >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (v <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(v);
}

char* writeNumber(char* out, double v) {
  static constexpr double kPow10[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6};
  // Whole values below one million are by far the most common: write them directly.
  if (v > -1e6 && v < 1e6) {
    const long long whole = static_cast<long long>(v);
    if (static_cast<double>(whole) == v && !(whole == 0 && std::signbit(v)))
      return std::to_chars(out, out + 24, whole).ptr;
    // Values from 1 up with a fraction: six significant digits by integer arithmetic, unless
    // the value lies so near a rounding tie that only exact decimal expansion can decide.
    const double a = std::fabs(v);
    if (a >= 1.0) {
      const long long ip = static_cast<long long>(a);
      const int intDigits = ip >= 100000 ? 6 : ip >= 10000 ? 5 : ip >= 1000 ? 4 : ip >= 100 ? 3 : ip >= 10 ? 2 : 1;
      const int decimals = 6 - intDigits;
      const double scaled = a * kPow10[decimals];
      const double fl = std::floor(scaled);
      const double frac = scaled - fl;
      if (std::fabs(frac - 0.5) > 1e-6) {
        const long long r = static_cast<long long>(frac > 0.5 ? fl + 1 : fl);
        if (r < 1000000) {
          const long long unit = static_cast<long long>(kPow10[decimals]);
          long long fracDigits = r % unit;
          if (v < 0) *out++ = '-';
          out = std::to_chars(out, out + 24, r / unit).ptr;
          if (fracDigits != 0) {
            int width = decimals;
            while (fracDigits % 10 == 0) {
              fracDigits /= 10;
              --width;
            }
            *out++ = '.';
            char digits[8];
            for (int i = width - 1; i >= 0; --i) {
              digits[i] = static_cast<char>('0' + fracDigits % 10);
              fracDigits /= 10;
            }
            for (int i = 0; i < width; ++i) *out++ = digits[i];
          }
          return out;
        }
      }
    }
  }
  return std::to_chars(out, out + 32, v, std::chars_format::general, 6).ptr;
}

void appendNumber(std::string& out, double v) {
  char buf[32];
  out.append(buf, static_cast<size_t>(writeNumber(buf, v) - buf));
}

std::string formatNumber(double v) {
  std::string s;
  appendNumber(s, v);
  return s;
}

}  // namespace qel::plot
