// The font file written by the build, read back the way the label stage reads it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "font_file.h"

namespace qel::fontgen {
namespace {

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class GeneratedFont : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        bytes_ = new std::string(readFile(QEL_TEST_FONT_FILE));
        entries_ = new std::vector<ParsedEntry>(parseFontFile(*bytes_));
    }
    static void TearDownTestSuite() {
        delete bytes_;
        delete entries_;
    }
    static const ParsedEntry* entry(const std::string& key) {
        for (const ParsedEntry& e : *entries_) {
            if (e.key == key) return &e;
        }
        return nullptr;
    }
    static std::string* bytes_;
    static std::vector<ParsedEntry>* entries_;
};
std::string* GeneratedFont::bytes_ = nullptr;
std::vector<ParsedEntry>* GeneratedFont::entries_ = nullptr;

// Every printable ASCII first, then GB2312 in row order; each key found first by the label stage's
// byte search, columns 1..9 included (prefixes of the columns 10..19 keys).
TEST_F(GeneratedFont, HoldsAsciiThenGb2312AndEachKeyIsFoundFirstByByteSearch) {
    ASSERT_GE(entries_->size(), 94u + 6700u);
    EXPECT_LT(bytes_->size(), 12u * 1024 * 1024);
    for (int code = 33; code <= 126; ++code) {
        EXPECT_EQ((*entries_)[code - 33].key, asciiKey(code));
        EXPECT_FALSE((*entries_)[code - 33].segments.empty()) << code;
    }
    EXPECT_EQ((*entries_)[94].key, "JW161");
    EXPECT_EQ(entries_->back().key, gbKey(0xF7, 0xFE));
    EXPECT_FALSE(entry(asciiKey(32))) << "the space has no glyph";
    EXPECT_FALSE(entry(gbKey(0xA1, 0xA1))) << "the double-byte space has no glyph";
    std::vector<const ParsedEntry*> sample;
    for (std::size_t i = 0; i < entries_->size(); i += i < 94 ? 1 : 53) sample.push_back(&(*entries_)[i]);
    for (const char* key : {"JW169", "JW1610", "JW5027", "JW871"}) sample.push_back(entry(key));
    for (const ParsedEntry* e : sample) {
        ASSERT_TRUE(e);
        const auto found = findGlyph(*bytes_, e->key);
        ASSERT_TRUE(found) << e->key;
        EXPECT_EQ(found->keyOffset, e->keyOffset) << e->key;
        EXPECT_EQ(found->segments, e->segments) << e->key;
    }
}

TEST_F(GeneratedFont, SegmentsStayInsideTheCellAndHaveLength) {
    for (const ParsedEntry& e : *entries_) {
        for (const Segment& s : e.segments) {
            for (int x : {s.x1, s.x2}) ASSERT_TRUE(x >= 0 && x <= kCellWidth) << e.key << " x " << x;
            for (int y : {s.y1, s.y2}) ASSERT_TRUE(y >= 0 && y <= kTopLine) << e.key << " y " << y;
            ASSERT_FALSE(s.x1 == s.x2 && s.y1 == s.y2) << e.key << " has a zero-length segment";
        }
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

TEST_F(GeneratedFont, GlyphsStandUprightWithStrokesAndClosedOutlines) {
    // "A": three pen-down runs, narrow at the top and wide at the baseline.
    const ParsedEntry* a = entry(asciiKey('A'));
    ASSERT_TRUE(a);
    EXPECT_GE(a->segments.size(), 3u);
    EXPECT_LT(halfWidths(a->segments).first * 2, halfWidths(a->segments).second);
    // 上 (C9CF) has its long bar at the bottom, 下 (CFC2) at the top.
    const ParsedEntry* up = entry(gbKey(0xC9, 0xCF));
    const ParsedEntry* down = entry(gbKey(0xCF, 0xC2));
    ASSERT_TRUE(up && down);
    EXPECT_GT(halfWidths(up->segments).second, halfWidths(up->segments).first);
    EXPECT_GT(halfWidths(down->segments).first, halfWidths(down->segments).second);
    // Every outline of a CJK glyph is a chain returning to its start.
    for (std::size_t i = 94; i < entries_->size(); i += 97) {
        const auto& segs = (*entries_)[i].segments;
        std::size_t start = 0;
        for (std::size_t j = 0; j < segs.size(); ++j) {
            const bool chainEnds = j + 1 == segs.size() || segs[j + 1].x1 != segs[j].x2 || segs[j + 1].y1 != segs[j].y2;
            if (!chainEnds) continue;
            EXPECT_EQ(segs[j].x2, segs[start].x1) << (*entries_)[i].key;
            EXPECT_EQ(segs[j].y2, segs[start].y1) << (*entries_)[i].key;
            start = j + 1;
        }
    }
}

// The generator run as the build runs it, into a folder of its own; its exit status.
int generate(const std::string& hershey, const std::string& out) {
    const std::string command = std::string("'") + QEL_TEST_FONTGEN + "' --hershey '" + hershey + "' --cjk '" +
                                QEL_TEST_FONT_CJK + "' --face '" + QEL_TEST_FONT_CJK_FACE + "' --tolerance '" +
                                QEL_TEST_FONT_TOLERANCE + "' --output '" + out + "' --quiet 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::filesystem::path scratch(const char* what) {
    const auto dir = std::filesystem::temp_directory_path() / (std::string("qel-font-") + what + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir;
}

TEST_F(GeneratedFont, SecondGenerationWritesTheSameBytes) {
    const auto dir = scratch("test-");
    ASSERT_EQ(generate(QEL_TEST_FONT_HERSHEY, (dir / "QEL.dat").string()), 0);
    const std::string again = readFile((dir / "QEL.dat").string());
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(again == *bytes_) << "sizes " << again.size() << " and " << bytes_->size();
}

TEST(FontGenerator, MissingSourceFailsAndLeavesNoFile) {
    const auto dir = scratch("miss-");
    EXPECT_NE(generate((dir / "none.jhf").string(), (dir / "QEL.dat").string()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "QEL.dat"));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qel::fontgen
