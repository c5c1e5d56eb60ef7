#pragma once
// The HPGL reader's syntax: the commands it knows by their two letters, what ends a parameter
// list, and how parameter fields are split. Only the reader's files include this header.
#include <string_view>
#include <vector>

namespace qel::plot::hpgl {

inline bool isLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Outside label mode ";" or any ASCII letter ends a parameter list; in label mode only ETX or ";".
inline bool isTerminator(int c, bool labelMode) {
  if (labelMode) return c == 3 || c == ';';
  return c == ';' || isLetter(c);
}

// Parameters are separated by "," and by white space (spaces, tabs, line breaks): white space is
// never a number of its own.
inline bool isWhiteSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }
inline bool isSeparator(char c) { return c == ',' || isWhiteSpace(c); }
inline bool allWhiteSpace(std::string_view text) {
  for (char c : text)
    if (!isWhiteSpace(c)) return false;
  return true;
}

enum Command {
  kNone = -1, kPD, kPU, kPA, kSP, kPG, kNR, kDI, kSI, kLO, kDT, kLB, kAA, kCI, kLT, kWD,
  // Beyond the fifteen: commands that draw, scale or move.
  kPR, kIP, kSC, kEA, kER, kRA, kRR, kPE, kPM, kEP,
  // Label size, slant and spacing: kept with each label like "DI" and "SI".
  kSR, kSL, kES,
  // Machine state kept where it takes effect.
  kVS, kFS, kPC,
  // Read and left out: resets, fills, pen widths, comments and other attributes a cutter
  // cannot use.
  kIN, kDF, kQuoted, kCO, kSM, kSkip
};

// The command of two letters (case-sensitive), kNone for any other pair.
Command lookup(int c1, int c2);

// Commands that only set or query state: before the first drawing command they stay part of
// the header text, as every unrecognised command does.
inline bool isHeaderText(Command c) { return c == kVS || c == kFS || c == kPC || c >= kIN; }

// Splits "a<sep>rest" at the first separator; leading white space is skipped first.
std::string_view firstField(std::string_view text, std::string_view& rest);

// The fields of a parameter list separated by "," or white space (empty fields skipped).
std::vector<std::string_view> fields(std::string_view text);

}  // namespace qel::plot::hpgl
