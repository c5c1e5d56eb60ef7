#include "hershey.h"

#include <cmath>
#include <stdexcept>

namespace qel::fontgen {

namespace {

int fieldNumber(std::string_view field, int line, const char* what) {
    int value = 0;
    bool any = false;
    for (char c : field) {
        if (c == ' ') {
            if (any) throw std::runtime_error("jhf line " + std::to_string(line) + ": bad " + what);
            continue;
        }
        if (c < '0' || c > '9') throw std::runtime_error("jhf line " + std::to_string(line) + ": bad " + what);
        value = value * 10 + (c - '0');
        any = true;
    }
    if (!any) throw std::runtime_error("jhf line " + std::to_string(line) + ": missing " + what);
    return value;
}

}  // namespace

std::vector<HersheyGlyph> parseJhf(std::string_view text) {
    std::vector<HersheyGlyph> glyphs;
    std::size_t p = 0;
    int line = 1;
    auto skipBreaks = [&] {
        while (p < text.size() && (text[p] == '\n' || text[p] == '\r')) {
            if (text[p] == '\n') ++line;
            ++p;
        }
    };
    while (true) {
        skipBreaks();
        if (p >= text.size()) break;
        const int glyphLine = line;
        if (text.size() - p < 8) throw std::runtime_error("jhf line " + std::to_string(line) + ": glyph header cut short");
        for (std::size_t i = p; i < p + 8; ++i) {
            if (text[i] == '\n' || text[i] == '\r') {
                throw std::runtime_error("jhf line " + std::to_string(line) + ": glyph header cut short");
            }
        }
        HersheyGlyph g;
        g.number = fieldNumber(text.substr(p, 5), line, "glyph number");
        const int count = fieldNumber(text.substr(p + 5, 3), line, "vertex count");
        p += 8;
        if (count < 1) throw std::runtime_error("jhf line " + std::to_string(line) + ": glyph without bounds");
        // Collect the 2*count coordinate characters; a line break inside them continues the glyph.
        std::string coords;
        coords.reserve(2 * count);
        while (coords.size() < static_cast<std::size_t>(2 * count)) {
            if (p >= text.size()) {
                throw std::runtime_error("jhf line " + std::to_string(glyphLine) + ": glyph cut short");
            }
            const char c = text[p++];
            if (c == '\n') {
                ++line;
                continue;
            }
            if (c == '\r') continue;
            if (c < ' ' || c > '~') {
                throw std::runtime_error("jhf line " + std::to_string(line) + ": bad coordinate character");
            }
            coords.push_back(c);
        }
        // Anything else left on the line (trailing blanks) is ignored.
        while (p < text.size() && text[p] == ' ') ++p;
        if (p < text.size() && text[p] != '\n' && text[p] != '\r') {
            throw std::runtime_error("jhf line " + std::to_string(line) + ": more coordinates than counted");
        }
        g.left = coords[0] - 'R';
        g.right = coords[1] - 'R';
        std::vector<HersheyPoint> run;
        for (int i = 1; i < count; ++i) {
            const char cx = coords[2 * i], cy = coords[2 * i + 1];
            if (cx == ' ' && cy == 'R') {
                if (!run.empty()) g.strokes.push_back(std::move(run));
                run.clear();
                continue;
            }
            run.push_back({cx - 'R', cy - 'R'});
        }
        if (!run.empty()) g.strokes.push_back(std::move(run));
        glyphs.push_back(std::move(g));
    }
    return glyphs;
}

void appendPolyline(std::vector<Segment>& out, const std::vector<PointD>& points) {
    if (points.empty()) return;
    auto round = [](double v) { return static_cast<int32_t>(std::lround(v)); };
    int32_t px = round(points[0].x), py = round(points[0].y);
    for (std::size_t i = 1; i < points.size(); ++i) {
        const int32_t x = round(points[i].x), y = round(points[i].y);
        if (x == px && y == py) continue;
        out.push_back({px, py, x, y});
        px = x;
        py = y;
    }
}

std::vector<Segment> placeHershey(const HersheyGlyph& glyph) {
    const double centre = (glyph.left + glyph.right) / 2.0;
    std::vector<Segment> segments;
    for (const auto& run : glyph.strokes) {
        std::vector<PointD> points;
        points.reserve(run.size());
        for (const HersheyPoint& h : run) {
            const double x = kCellWidth / 2.0 + (h.x - centre) * kLatinScaleX;
            const double height = kLatinBaselineHeight + (kHersheyBaseline - h.y) * kLatinScaleY;
            points.push_back({x, kTopLine - height});
        }
        appendPolyline(segments, points);
    }
    return segments;
}

}  // namespace qel::fontgen
