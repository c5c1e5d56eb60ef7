// The font file written by the build, read back the way the label stage reads it.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "font_file.h"
#include "render.h"

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

TEST_F(GeneratedFont, HoldsEveryPrintableAsciiFirstThenGb2312InRowOrder) {
    ASSERT_GE(entries_->size(), 94u + 6700u);
    EXPECT_LT(bytes_->size(), 12u * 1024 * 1024);
    for (int code = 33; code <= 126; ++code) {
        EXPECT_EQ((*entries_)[code - 33].key, asciiKey(code));
        const auto found = findGlyph(*bytes_, asciiKey(code));
        ASSERT_TRUE(found) << code;
        EXPECT_EQ(found->keyOffset, (*entries_)[code - 33].keyOffset) << code;
        EXPECT_FALSE(found->segments.empty()) << code;
    }
    EXPECT_EQ((*entries_)[94].key, "JW161");
    EXPECT_EQ(entries_->back().key, gbKey(0xF7, 0xFE));
    EXPECT_FALSE(entry(asciiKey(32))) << "the space has no glyph";
    EXPECT_FALSE(entry(gbKey(0xA1, 0xA1))) << "the double-byte space has no glyph";
}

TEST_F(GeneratedFont, SampledGb2312KeysAreFoundFirstByByteSearch) {
    // A spread over the rows, including columns 1..9 (prefixes of the columns 10..19 keys).
    int checked = 0;
    for (std::size_t i = 94; i < entries_->size(); i += 53) {
        const ParsedEntry& e = (*entries_)[i];
        const auto found = findGlyph(*bytes_, e.key);
        ASSERT_TRUE(found) << e.key;
        EXPECT_EQ(found->keyOffset, e.keyOffset) << e.key;
        EXPECT_EQ(found->segments, e.segments) << e.key;
        ++checked;
    }
    for (const char* key : {"JW161", "JW169", "JW1610", "JW5027", "JW871", "JW8794"}) {
        const ParsedEntry* e = entry(key);
        ASSERT_TRUE(e) << key;
        const auto found = findGlyph(*bytes_, key);
        ASSERT_TRUE(found) << key;
        EXPECT_EQ(found->keyOffset, e->keyOffset) << key;
    }
    EXPECT_GT(checked, 100);
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

// The ink of a glyph split at half height: widths of what lies above and below.
struct HalfWidths {
    int upper = 0, lower = 0;
};
HalfWidths halfWidths(const std::vector<Segment>& segments) {
    int upMin = kCellWidth, upMax = 0, loMin = kCellWidth, loMax = 0;
    for (const Segment& s : segments) {
        for (auto [x, y] : {std::pair{s.x1, s.y1}, std::pair{s.x2, s.y2}}) {
            if (y < kTopLine / 2) {
                upMin = std::min(upMin, x), upMax = std::max(upMax, x);
            } else {
                loMin = std::min(loMin, x), loMax = std::max(loMax, x);
            }
        }
    }
    return {std::max(0, upMax - upMin), std::max(0, loMax - loMin)};
}

TEST_F(GeneratedFont, GlyphsStandUprightWithStrokesAndClosedOutlines) {
    // "A": three pen-down runs, narrow at the top and wide at the baseline.
    const ParsedEntry* a = entry(asciiKey('A'));
    ASSERT_TRUE(a);
    EXPECT_GE(a->segments.size(), 3u);
    const HalfWidths aw = halfWidths(a->segments);
    EXPECT_LT(aw.upper * 2, aw.lower);
    // "T": wide at the top.
    const HalfWidths tw = halfWidths(entry(asciiKey('T'))->segments);
    EXPECT_GT(tw.upper, 3 * tw.lower);
    // 上 (C9CF) has its long bar at the bottom, 下 (CFC2) at the top.
    const ParsedEntry* up = entry(gbKey(0xC9, 0xCF));
    const ParsedEntry* down = entry(gbKey(0xCF, 0xC2));
    ASSERT_TRUE(up && down);
    EXPECT_GT(halfWidths(up->segments).lower, halfWidths(up->segments).upper);
    EXPECT_GT(halfWidths(down->segments).upper, halfWidths(down->segments).lower);
    // 一 (D2BB) is a flat bar: an outline closed on itself.
    const ParsedEntry* one = entry(gbKey(0xD2, 0xBB));
    ASSERT_TRUE(one);
    int minY = kTopLine, maxY = 0, minX = kCellWidth, maxX = 0;
    for (const Segment& s : one->segments) {
        minY = std::min({minY, s.y1, s.y2}), maxY = std::max({maxY, s.y1, s.y2});
        minX = std::min({minX, s.x1, s.x2}), maxX = std::max({maxX, s.x1, s.x2});
    }
    EXPECT_GT(maxX - minX, 5 * (maxY - minY));
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

TEST_F(GeneratedFont, SecondGenerationWritesTheSameBytes) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("qel-font-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string out = (dir / "QEL.dat").string();
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::execl(QEL_TEST_FONTGEN, QEL_TEST_FONTGEN, "--hershey", QEL_TEST_FONT_HERSHEY, "--cjk", QEL_TEST_FONT_CJK,
                "--face", QEL_TEST_FONT_CJK_FACE, "--tolerance", QEL_TEST_FONT_TOLERANCE, "--output", out.c_str(),
                "--quiet", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    const std::string again = readFile(out);
    std::filesystem::remove_all(dir);
    EXPECT_TRUE(again == *bytes_) << "sizes " << again.size() << " and " << bytes_->size();
}

TEST_F(GeneratedFont, RenderedPictureIsAPng) {
    const std::filesystem::path png = std::filesystem::temp_directory_path() /
                                      ("qel-font-render-" + std::to_string(::getpid()) + ".png");
    renderGlyphsPng(png.string(), *bytes_, keysOfText("A \xE5\x9B\xBD"), 40);  // "A 国"
    const std::string picture = readFile(png.string());
    std::filesystem::remove(png);
    ASSERT_GT(picture.size(), 8u);
    EXPECT_EQ(picture.substr(1, 3), "PNG");
    EXPECT_THROW(renderGlyphsPng("/nonexistent-dir/x.png", *bytes_, {"JWASCII65"}), std::runtime_error);
}

TEST(FontGenerator, MissingSourceFailsAndLeavesNoFile) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                      ("qel-font-miss-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string out = (dir / "QEL.dat").string();
    const std::string command = std::string("'") + QEL_TEST_FONTGEN + "' --hershey '" + (dir / "none.jhf").string() +
                                "' --cjk '" + QEL_TEST_FONT_CJK + "' --output '" + out + "' 2>/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) != 0);
    EXPECT_FALSE(std::filesystem::exists(out));
    std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace qel::fontgen
