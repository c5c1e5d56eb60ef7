#pragma once
// The machine's code page: names and texts the machine keeps are in CP936 (GBK), the system code
// page of the design programs. Converts file names (UTF-8 here) to it, and measures its
// characters (one byte, or a lead byte 0x81-0xFE and a trail byte).
#include <cstddef>
#include <string>
#include <string_view>

namespace qel::platform {

// UTF-8 text in CP936; a character CP936 lacks, or a byte that is no UTF-8, becomes "?".
std::string toSystemCodePage(std::string_view utf8);
// CP936 text in UTF-8; a byte pair CP936 does not define becomes "?".
std::string fromSystemCodePage(std::string_view cp936);

// The longest start of a CP936 text that is at most maxBytes long and ends on a character
// boundary (a double-byte character is never split).
std::string_view cutAtCharacter(std::string_view cp936, std::size_t maxBytes);

}  // namespace qel::platform
