#include "controller/tms_float.h"

#include <cmath>
#include <cstring>

namespace qel::controller {

std::uint32_t floatToTms(float value) {
  std::uint32_t bits;
  std::memcpy(&bits, &value, 4);
  const bool negative = bits >> 31;
  const int ieeeExp = static_cast<int>((bits >> 23) & 0xFF);
  const std::uint32_t mant = bits & 0x7FFFFF;
  if (ieeeExp == 0) return 0x80000000u;  // zero and denormals
  if (ieeeExp == 0xFF) {
    if (mant != 0) return 0x80000000u;  // NaN
    return negative ? 0x7FFFFFFFu : 0x7F7FFFFFu;
  }
  int e = ieeeExp - 127;
  std::uint32_t s = 0, f = mant;
  if (negative) {
    s = 1;
    if (mant == 0) {
      // −2^E is −2·2^(E−1): the mantissa −2 with a zero fraction.
      e -= 1;
      f = 0;
    } else {
      f = 0x800000u - mant;  // −(1 + m) = −2 + (1 − m)
    }
  }
  return (static_cast<std::uint32_t>(static_cast<std::uint8_t>(static_cast<std::int8_t>(e))) << 24) |
         (s << 23) | (f & 0x7FFFFF);
}

float tmsToFloat(std::uint32_t tms) {
  const int e = static_cast<std::int8_t>(static_cast<std::uint8_t>(tms >> 24));
  if (e == -128) {
    const std::uint32_t bits = tms & 0x80000000u;
    float out;
    std::memcpy(&out, &bits, 4);
    return out;
  }
  const bool s = (tms >> 23) & 1;
  const double frac = static_cast<double>(tms & 0x7FFFFF) / 8388608.0;
  const double mant = s ? (-2.0 + frac) : (1.0 + frac);
  return static_cast<float>(std::ldexp(mant, e));
}

}  // namespace qel::controller
