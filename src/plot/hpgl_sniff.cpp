// Recognising HPGL by its first bytes: strip encodings and escapes, then read mnemonics.
#include "plot/hpgl_sniff.h"

#include <algorithm>
#include <array>
#include <string>

namespace qel::plot {

namespace {

// The HP-GL and HP-GL/2 mnemonics a plot file is made of (the instruction set, not just what
// the reader draws: a file may open with any of them).
constexpr std::array<std::string_view, 76> kMnemonics = {
    "AA", "AC", "AD", "AF", "AH", "AP", "AR", "AS", "BL", "BP", "BR", "BZ", "CA", "CC", "CF", "CI", "CO", "CP", "CR",
    "CS", "CT", "CV", "DC", "DF", "DI", "DL", "DP", "DR", "DS", "DT", "DV", "EA", "EC", "EP", "ER", "ES", "EW", "FI",
    "FN", "FP", "FR", "FS", "FT", "IN", "IP", "IR", "IV", "IW", "LA", "LB", "LM", "LO", "LT", "MC", "MG", "MT", "NP",
    "NR", "PA", "PC", "PD", "PE", "PG", "PM", "PP", "PR", "PS", "PT", "PU", "PW", "RA", "RF", "RO", "RP", "RR", "SP"};
constexpr std::array<std::string_view, 15> kMoreMnemonics = {"SA", "SB", "SC", "SD", "SG", "SI", "SL", "SM", "SR",
                                                             "SS", "ST", "TD", "TR", "UL", "VS"};

bool isMnemonic(char a, char b) {
  const char m[2] = {a, b};
  const std::string_view s(m, 2);
  return std::find(kMnemonics.begin(), kMnemonics.end(), s) != kMnemonics.end() ||
         std::find(kMoreMnemonics.begin(), kMoreMnemonics.end(), s) != kMoreMnemonics.end() || s == "WD" ||
         s == "WU" || s == "QL";
}

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isParameter(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.' || c == ',' || isBlank(c); }

// The ASCII text of the head: UTF-16 (marked, or recognisable by its zero bytes) reduced to its
// low bytes, a UTF-8 byte-order mark dropped.
std::string asciiOf(std::string_view head) {
  const auto b = [&](std::size_t i) { return static_cast<unsigned char>(head[i]); };
  if (head.size() >= 3 && b(0) == 0xEF && b(1) == 0xBB && b(2) == 0xBF) return std::string(head.substr(3));
  int evenZeros = 0, oddZeros = 0;
  const std::size_t probe = std::min<std::size_t>(head.size(), 64);
  for (std::size_t i = 0; i < probe; ++i)
    if (b(i) == 0) ++((i % 2) ? oddZeros : evenZeros);
  std::size_t start = 0;
  int lowByte = -1;  // 0: little-endian text, 1: big-endian
  if (head.size() >= 2 && b(0) == 0xFF && b(1) == 0xFE) start = 2, lowByte = 0;
  else if (head.size() >= 2 && b(0) == 0xFE && b(1) == 0xFF) start = 2, lowByte = 1;
  else if (probe >= 8 && oddZeros * 2 >= static_cast<int>(probe) - 2) lowByte = 0;
  else if (probe >= 8 && evenZeros * 2 >= static_cast<int>(probe) - 2) lowByte = 1;
  if (lowByte < 0) return std::string(head);
  std::string out;
  for (std::size_t i = start + static_cast<std::size_t>(lowByte); i < head.size(); i += 2) out += head[i];
  return out;
}

}  // namespace

bool looksLikeHpgl(std::string_view head) {
  const std::string text = asciiOf(head);
  std::size_t i = 0;
  const std::size_t n = text.size();
  bool escape = false;  // a printer escape that switches to or configures HP-GL
  // Blanks, stray terminators and escape sequences before the first mnemonic.
  while (i < n) {
    const char c = text[i];
    if (isBlank(c) || c == ';') {
      ++i;
    } else if (c == '\x1b' && i + 1 < n) {
      const char k = text[i + 1];
      i += 2;
      if (k == '.') {
        // HP-GL device control: ESC . letter [parameters] up to ':' or the next ESC/letter.
        escape = true;
        if (i < n) ++i;
        while (i < n && (isParameter(text[i]) || text[i] == ';')) ++i;
        if (i < n && text[i] == ':') ++i;
      } else if (k == '%' || k == '&' || k == '*' || k == '(' || k == ')') {
        // PCL parameterised escape: ESC % 0 B enters HP-GL/2; others end at an upper-case letter.
        while (i < n && !(text[i] >= 'A' && text[i] <= 'Z') && text[i] != '\x1b') ++i;
        if (k == '%' && i < n && text[i] == 'B') escape = true;
        if (i < n && text[i] != '\x1b') ++i;
      }
      // ESC E (printer reset) and the like: the letter was consumed with ESC.
    } else {
      break;
    }
  }
  // Mnemonics: two upper-case letters, parameters, an optional ';'.
  int commands = 0;
  bool terminated = false;
  while (i + 1 < n && commands < 4) {
    if (!isMnemonic(text[i], text[i + 1])) break;
    const bool label = text[i] == 'L' && text[i + 1] == 'B';
    i += 2;
    ++commands;
    if (label) break;  // label text follows; nothing more to learn
    const std::size_t params = i;
    while (i < n && isParameter(text[i])) ++i;
    if (i < n && text[i] == ';') ++i, terminated = true;
    else if (commands == 1 && i == params && i < n && !escape) return false;  // "INTRO...": a word, not a command
    while (i < n && isBlank(text[i])) ++i;
  }
  if (commands == 0) return false;
  return escape || commands >= 2 || terminated;
}

}  // namespace qel::plot
