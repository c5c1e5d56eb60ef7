#include "generator.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "hershey.h"
#include "outline.h"

namespace qel::fontgen {

namespace {

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    if (!in && !in.eof()) throw std::runtime_error("cannot read " + path);
    return s.str();
}

}  // namespace

std::vector<Glyph> buildGlyphs(const GeneratorOptions& options, GeneratorStats* stats) {
    GeneratorStats local;
    GeneratorStats& st = stats ? *stats : local;
    st = {};
    std::vector<Glyph> glyphs;

    // The Roman .jhf sets list the characters 32..126 in code order.
    const std::vector<HersheyGlyph> hershey = parseJhf(readText(options.hersheyPath));
    if (hershey.size() < 95) {
        throw std::runtime_error(options.hersheyPath + " holds " + std::to_string(hershey.size()) +
                                 " glyphs, not the 95 of codes 32..126");
    }
    for (int code = 33; code <= 126; ++code) {
        Glyph g{asciiKey(code), placeHershey(hershey[code - 32])};
        if (g.segments.empty()) throw std::runtime_error("Hershey glyph of code " + std::to_string(code) + " is empty");
        glyphs.push_back(std::move(g));
        ++st.asciiGlyphs;
    }

    const OutlineFont font(options.cjkPath, options.cjkFace);
    for (const GbCharacter& c : gb2312Characters()) {
        auto segments = font.glyph(c.code, options.tolerance);
        if (!segments || segments->empty()) {
            ++st.cjkMissing;
            continue;
        }
        glyphs.push_back({gbKey(c.first, c.second), std::move(*segments)});
        ++st.cjkGlyphs;
    }

    for (const Glyph& g : glyphs) {
        st.segments += static_cast<long long>(g.segments.size());
        st.maxGlyphSegments = std::max(st.maxGlyphSegments, static_cast<int>(g.segments.size()));
    }
    return glyphs;
}

}  // namespace qel::fontgen
