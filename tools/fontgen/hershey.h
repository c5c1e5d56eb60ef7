// Hershey single-stroke fonts in the .jhf text form, and their placement into font cells.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "font_file.h"

namespace qel::fontgen {

struct HersheyPoint {
    int x = 0, y = 0;  // Hershey units, y downward, origin at the glyph's centre
};

struct HersheyGlyph {
    int number = 0;         // the Hershey glyph number of the source
    int left = 0, right = 0;  // advance bounds
    std::vector<std::vector<HersheyPoint>> strokes;  // pen-down runs
};

// Parses a .jhf file: per glyph a 5-column number, a 3-column vertex count (counting the
// left/right pair), then that many coordinate pairs written as characters offset by 'R', " R"
// being a pen-up. Line breaks inside a glyph are continuation. Throws std::runtime_error with
// the line of the first malformed glyph.
std::vector<HersheyGlyph> parseJhf(std::string_view text);

// Places a glyph into a font cell: centred on the cell by its advance bounds, its baseline
// (Hershey y = kHersheyBaseline) at kLatinBaselineHeight above the bottom of the cell, and
// scaled so that a glyph drawn with equal SI width and height keeps the source's proportions.
// Each pen-down run becomes a chain of segments.
inline constexpr int kHersheyBaseline = 9;          // caps of the Roman sets span -12..9
inline constexpr double kLatinScaleY = 21.0;        // font units per Hershey unit, vertical
inline constexpr double kLatinScaleX = 21.0 * 0.6;  // the label stage scales x by 2.5, y by 1.5
inline constexpr double kLatinBaselineHeight = 161.0;
std::vector<Segment> placeHershey(const HersheyGlyph& glyph);

// Turns polylines of real font-unit points into segments: points are rounded, and segments
// that round to nothing are dropped without breaking the chain.
struct PointD {
    double x = 0, y = 0;
};
void appendPolyline(std::vector<Segment>& out, const std::vector<PointD>& points);

}  // namespace qel::fontgen
