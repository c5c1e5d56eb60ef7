// CJK glyphs from a TrueType font: GB2312 to Unicode, outlines flattened into segments.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "font_file.h"

namespace qel::fontgen {

// The GB2312 characters of rows 0xB0..0xF7 in row and column order, with their Unicode code
// points (glibc iconv); byte pairs that name no character are left out.
struct GbCharacter {
    unsigned char first = 0, second = 0;
    char32_t code = 0;
};
std::vector<GbCharacter> gb2312Characters();

// Placement of the outlines: one em is kCjkEmX font units wide and kCjkEmY high (the label
// stage scales x by 2.5 and y by 1.5, so a square em stays square with equal SI width and
// height); glyphs are centred on the cell by their advance, and the ideographic box, taken
// from the outline of U+56FD, is centred between the bottom of the cell and the top line.
inline constexpr double kCjkEmX = 420.0;
inline constexpr double kCjkEmY = 700.0;

class OutlineFont {
public:
    // Opens face `faceIndex` of a TrueType/OpenType file; throws std::runtime_error on failure.
    OutlineFont(const std::string& path, int faceIndex);
    ~OutlineFont();
    OutlineFont(const OutlineFont&) = delete;
    OutlineFont& operator=(const OutlineFont&) = delete;

    // The glyph of `code` as segments in font units, each contour a closed chain; curves are
    // flattened so that no point of the curve is further than `tolerance` font units from its
    // chord. Nothing when the font has no glyph for the character.
    std::optional<std::vector<Segment>> glyph(char32_t code, double tolerance) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace qel::fontgen
