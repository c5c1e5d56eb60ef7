// Assembles the glyphs of the label stroke font from its two sources.
#pragma once

#include <string>
#include <vector>

#include "font_file.h"

namespace qel::fontgen {

struct GeneratorOptions {
    std::string hersheyPath;  // a Roman .jhf set holding the glyphs of codes 32..126 in order
    std::string cjkPath;      // a TrueType/OpenType font with the GB2312 ideographs
    int cjkFace = 0;
    double tolerance = 2.0;   // flattening tolerance in font units
};

struct GeneratorStats {
    int asciiGlyphs = 0;
    int cjkGlyphs = 0;
    int cjkMissing = 0;  // GB2312 characters the outline font lacks (not written)
    long long segments = 0;
    int maxGlyphSegments = 0;
};

// The glyphs in file order: ASCII 33..126, then the GB2312 rows 0xB0..0xF7 in row and column
// order. Throws std::runtime_error when a source cannot be read or is malformed.
std::vector<Glyph> buildGlyphs(const GeneratorOptions& options, GeneratorStats* stats = nullptr);

}  // namespace qel::fontgen
