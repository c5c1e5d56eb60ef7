// The font file written by the build, read back the way the label stage reads it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "font_file.h"
#include "support/process.h"

namespace qel::fontgen {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The build's font file, read once.
struct Font {
    std::string bytes;
    std::vector<ParsedEntry> entries;
    const ParsedEntry* entry(const std::string& key) const {
        const auto it = std::find_if(entries.begin(), entries.end(), [&](const ParsedEntry& e) { return e.key == key; });
        return it == entries.end() ? nullptr : &*it;
    }
};
const Font& font() {
    static const Font f = [] {
        Font read{readFile(QEL_TEST_FONT_FILE), {}};
        read.entries = parseFontFile(read.bytes);
        return read;
    }();
    return f;
}

// Every printable ASCII first, then GB2312 in row order; each key found first by the label stage's
// byte search, columns 1..9 included (prefixes of the columns 10..19 keys).
TEST(GeneratedFont, HoldsAsciiThenGb2312AndEachKeyIsFoundFirstByByteSearch) {
    const Font& f = font();
    ASSERT_GE(f.entries.size(), 94u + 6700u);
    EXPECT_LT(f.bytes.size(), 12u * 1024 * 1024);
    for (int code = 33; code <= 126; ++code) {
        EXPECT_EQ(f.entries[code - 33].key, asciiKey(code));
        EXPECT_FALSE(f.entries[code - 33].segments.empty()) << code;
    }
    EXPECT_EQ(f.entries[94].key, "JW161");
    EXPECT_EQ(f.entries.back().key, gbKey(0xF7, 0xFE));
    EXPECT_FALSE(f.entry(asciiKey(32))) << "the space has no glyph";
    EXPECT_FALSE(f.entry(gbKey(0xA1, 0xA1))) << "the double-byte space has no glyph";
    std::vector<const ParsedEntry*> sample;
    for (std::size_t i = 0; i < f.entries.size(); i += i < 94 ? 1 : 53) sample.push_back(&f.entries[i]);
    for (const char* key : {"JW169", "JW1610", "JW5027", "JW871"}) sample.push_back(f.entry(key));
    for (const ParsedEntry* e : sample) {
        ASSERT_TRUE(e);
        const auto found = findGlyph(f.bytes, e->key);
        ASSERT_TRUE(found) << e->key;
        EXPECT_EQ(found->keyOffset, e->keyOffset) << e->key;
        EXPECT_EQ(found->segments, e->segments) << e->key;
    }
}

// The widths of a glyph's ink above (first) and below (second) half height.
std::pair<int, int> halfWidths(const std::vector<Segment>& segments) {
    int lo[2] = {kCellWidth, kCellWidth}, hi[2] = {0, 0};
    for (const Segment& s : segments)
        for (auto [x, y] : {std::pair{s.x1, s.y1}, std::pair{s.x2, s.y2}}) {
            const int half = y < kTopLine / 2 ? 0 : 1;
            lo[half] = std::min(lo[half], x), hi[half] = std::max(hi[half], x);
        }
    return {std::max(0, hi[0] - lo[0]), std::max(0, hi[1] - lo[1])};
}

// Strokes inside the cell and of some length; glyphs upright; every outline of a CJK glyph a chain
// returning to its start.
TEST(GeneratedFont, GlyphsStayInTheirCellUprightWithClosedOutlines) {
    const Font& f = font();
    for (const ParsedEntry& e : f.entries)
        for (const Segment& s : e.segments) {
            ASSERT_TRUE(std::min({s.x1, s.x2, s.y1, s.y2}) >= 0 && std::max(s.x1, s.x2) <= kCellWidth &&
                        std::max(s.y1, s.y2) <= kTopLine) << e.key;
            ASSERT_FALSE(s.x1 == s.x2 && s.y1 == s.y2) << e.key << " has a zero-length segment";
        }
    // 上 (C9CF) has its long bar at the bottom, 下 (CFC2) at the top.
    const ParsedEntry* up = f.entry(gbKey(0xC9, 0xCF));
    const ParsedEntry* down = f.entry(gbKey(0xCF, 0xC2));
    ASSERT_TRUE(up && down);
    EXPECT_GT(halfWidths(up->segments).second, halfWidths(up->segments).first);
    EXPECT_GT(halfWidths(down->segments).first, halfWidths(down->segments).second);
    for (std::size_t i = 94; i < f.entries.size(); i += 97) {
        const auto& segs = f.entries[i].segments;
        for (std::size_t j = 0, start = 0; j < segs.size(); ++j) {
            if (j + 1 < segs.size() && segs[j + 1].x1 == segs[j].x2 && segs[j + 1].y1 == segs[j].y2) continue;
            EXPECT_TRUE(segs[j].x2 == segs[start].x1 && segs[j].y2 == segs[start].y1) << f.entries[i].key;
            start = j + 1;
        }
    }
}

// The generator run as the build runs it; its exit status.
int generate(const std::string& hershey, const std::string& out) {
    const std::string command = std::string("'") + QEL_TEST_FONTGEN + "' --hershey '" + hershey + "' --cjk '" +
                                QEL_TEST_FONT_CJK + "' --face '" + QEL_TEST_FONT_CJK_FACE + "' --tolerance '" +
                                QEL_TEST_FONT_TOLERANCE + "' --output '" + out + "' --quiet";
    return test::runCommand(command).status;
}

// A second run writes the same bytes; a missing source fails it and leaves no file.
TEST(FontGenerator, RunsAgainToTheSameBytesAndFailsWithoutItsSource) {
    const auto dir = std::filesystem::temp_directory_path() / ("qel-font-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    EXPECT_NE(generate((dir / "none.jhf").string(), (dir / "QEL.dat").string()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "QEL.dat"));
    ASSERT_EQ(generate(QEL_TEST_FONT_HERSHEY, (dir / "QEL.dat").string()), 0);
    const std::string again = readFile((dir / "QEL.dat").string());
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(again == font().bytes) << "sizes " << again.size() << " and " << font().bytes.size();
}

}  // namespace
}  // namespace qel::fontgen
