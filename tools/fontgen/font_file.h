// The label stroke font file "QEL.dat": glyph keys, the encoder and a small reader.
//
// The file is a plain concatenation of glyph entries, each one
//   key (ASCII, not terminated) | length L (uint32, big-endian) | L/16 segment records,
// a segment record being four int32 big-endian values x1 y1 x2 y2 in font units. Readers find a
// key by a byte search from the start of the file, so the entry order matters: the first
// occurrence of every key has to be its own entry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qel::fontgen {

// Font units: x runs right across a cell kCellWidth wide; y runs downward from the top line,
// the label stage draws 700 - y as the height above the pen position.
inline constexpr int kCellWidth = 500;
inline constexpr int kTopLine = 700;

struct Segment {
    int32_t x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    bool operator==(const Segment&) const = default;
};

struct Glyph {
    std::string key;
    std::vector<Segment> segments;
};

// "JWASCII%d" for the printable ASCII codes 33..126.
std::string asciiKey(int code);
// "JW%d%d" applied to (first - 0xA0, second - 0xA0) for a GB2312 double-byte character.
std::string gbKey(unsigned char first, unsigned char second);

// Serialises the glyphs in the given order.
std::string encodeFontFile(const std::vector<Glyph>& glyphs);

// Checks that for every glyph the first byte-search occurrence of its key in `bytes` (the
// encoding of `glyphs`) is the glyph's own entry, and that no key appears twice. Returns one
// message per fault; empty when the order is sound.
std::vector<std::string> verifyKeyOrder(std::string_view bytes, const std::vector<Glyph>& glyphs);

// One entry as laid out in a file.
struct EntryView {
    std::size_t keyOffset = 0;
    std::vector<Segment> segments;
};

// Looks `key` up the way the label stage does: first byte-search occurrence, then the length
// and the records after it. Returns nothing when the key is absent or its entry is cut short.
std::optional<EntryView> findGlyph(std::string_view bytes, std::string_view key);

// Walks the file entry by entry from the start: every entry must be a key of the form
// "JW..." followed by a sane length and its records, up to the exact end of the file.
// Returns the entries in file order, or throws std::runtime_error naming the first fault.
struct ParsedEntry {
    std::string key;
    std::size_t keyOffset = 0;
    std::vector<Segment> segments;
};
std::vector<ParsedEntry> parseFontFile(std::string_view bytes);

}  // namespace qel::fontgen
