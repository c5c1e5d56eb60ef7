#pragma once
// The simulated coordinator's own check of what it receives: CRC-16 (polynomial 0x8005, start
// 0) from a table built bit by bit, and the three printable characters a program header or
// body carries it in. Kept apart from the controller library's so that each checks the other.
#include <array>
#include <cstdint>
#include <string>

namespace qel::sim {

inline std::uint16_t simCrc16(const std::string& s) {
  static const auto table = [] {
    std::array<std::uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
      std::uint16_t crc = static_cast<std::uint16_t>(i << 8);
      for (int k = 0; k < 8; ++k)
        crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x8005) : static_cast<std::uint16_t>(crc << 1);
      t[static_cast<std::size_t>(i)] = crc;
    }
    return t;
  }();
  std::uint16_t crc = 0;
  for (unsigned char ch : s) crc = static_cast<std::uint16_t>((crc << 8) ^ table[((crc >> 8) ^ ch) & 0xFF]);
  return crc;
}

// Four bits, six bits, six bits, each added to 0x20.
inline std::string simCrcText(std::uint16_t crc) {
  return {static_cast<char>(0x20 + ((crc >> 12) & 0x0F)), static_cast<char>(0x20 + ((crc >> 6) & 0x3F)),
          static_cast<char>(0x20 + (crc & 0x3F))};
}

// The answer to a completed download: STX "CRC=" hex ETX, or a wrong one when asked to.
inline std::string simCrcReply(std::uint16_t crc, bool wrong) {
  static const char* hex = "0123456789ABCDEF";
  const std::uint16_t v = crc ^ (wrong ? 0x1111 : 0);
  std::string digits;
  for (int shift = 12; shift >= 0; shift -= 4)
    if (!digits.empty() || ((v >> shift) & 0xF) != 0 || shift == 0) digits += hex[(v >> shift) & 0xF];
  return "\x02" "CRC=" + digits + "\x03";
}

}  // namespace qel::sim
