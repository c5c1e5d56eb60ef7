#pragma once
// Conversions between IEEE single precision and the coordinator's signal-processor float:
// bits 31..24 two's-complement exponent e, bit 23 sign s, bits 22..0 fraction f; the value is
// (1 + f/2^23)·2^e for s = 0 and (−2 + f/2^23)·2^e for s = 1; exponent −128 is zero.
#include <cstdint>

namespace qel::controller {

std::uint32_t floatToTms(float value);
float tmsToFloat(std::uint32_t tms);

}  // namespace qel::controller
