// Draws glyphs of a font file into a PNG picture for a quick look.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qel::fontgen {

// One picture cell per key (an empty key leaves a blank cell, as a space would), up to eight
// cells a row. Cells are drawn as the label stage draws them with equal SI width and height
// (x scaled 2.5, y 1.5), upright, with faint lines at the bottom of the cell and the top line.
// Keys not in the file show a crossed cell. Throws std::runtime_error when the file cannot be
// written.
void renderGlyphsPng(const std::string& pngPath, std::string_view fontBytes, const std::vector<std::string>& keys,
                     int cellPixels = 160);

// The keys of a text as the label stage forms them: the text (UTF-8) is converted to GB2312;
// ASCII 33..126 and the double-byte characters of rows 0xB0..0xF7 give keys, a space gives an
// empty key, anything else is skipped.
std::vector<std::string> keysOfText(const std::string& utf8);

}  // namespace qel::fontgen
