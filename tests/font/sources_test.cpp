// Reading the Hershey source and placing its strokes into font cells.
#include <gtest/gtest.h>

#include <stdexcept>

#include "hershey.h"
#include "render.h"

namespace qel::fontgen {
namespace {

TEST(HersheyParser, ReadsBoundsStrokesPenUpsAndContinuationLines) {
    // Glyph 501 is an "A": left -9, right 9, two strokes and a bar; glyph 502 is wrapped over
    // two lines, and the file ends without a line break.
    const std::string text =
        "  501  9I[RFJ[ RRFZ[ RMTWT\n"
        "  502  4G\\KF\r\nK[RR";
    const auto glyphs = parseJhf(text);
    ASSERT_EQ(glyphs.size(), 2u);
    EXPECT_EQ(glyphs[0].number, 501);
    EXPECT_EQ(glyphs[0].left, -9);
    EXPECT_EQ(glyphs[0].right, 9);
    ASSERT_EQ(glyphs[0].strokes.size(), 3u);
    ASSERT_EQ(glyphs[0].strokes[0].size(), 2u);
    EXPECT_TRUE(glyphs[0].strokes[0][0].x == 0 && glyphs[0].strokes[0][0].y == -12);
    EXPECT_TRUE(glyphs[0].strokes[0][1].x == -8 && glyphs[0].strokes[0][1].y == 9);
    EXPECT_EQ(glyphs[1].number, 502);
    ASSERT_EQ(glyphs[1].strokes.size(), 1u);
    EXPECT_EQ(glyphs[1].strokes[0].size(), 3u);
}

TEST(HersheyParser, MalformedGlyphsAreReportedWithTheirLine) {
    // Fewer pairs than counted, more, a bad number, no count, a header cut short.
    for (const char* bad : {"  501  9I[RFJ[\n", "  501  2I[RFJ[ RR\n", "  5x1  2I[RF\n", "  501   I[\n", "  501\n"})
        EXPECT_THROW(parseJhf(bad), std::runtime_error) << bad;
    try {
        parseJhf("  501  2I[RF\n  502  2I[RF\n  503  5I[RF\n");
        FAIL() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("line 3"), std::string::npos) << e.what();
    }
    EXPECT_TRUE(parseJhf("").empty());
}

TEST(HersheyPlacement, BaselineCapHeightAndCentreLandWhereTheCellExpectsThem) {
    HersheyGlyph g;
    g.left = -4;
    g.right = 8;  // advance centre at x = 2
    g.strokes = {{{2, -12}, {2, kHersheyBaseline}}};
    const auto segments = placeHershey(g);
    ASSERT_EQ(segments.size(), 1u);
    EXPECT_EQ(segments[0].x1, kCellWidth / 2);
    EXPECT_EQ(segments[0].x2, kCellWidth / 2);
    // Height (700 - y): the baseline at kLatinBaselineHeight, the cap top 21 units above it.
    EXPECT_EQ(kTopLine - segments[0].y2, 161);
    EXPECT_EQ(kTopLine - segments[0].y1, 161 + 21 * 21);
}

TEST(Polylines, RoundedDuplicatesAreDroppedWithoutBreakingTheChain) {
    std::vector<Segment> out;
    appendPolyline(out, {{0, 0}, {0.2, 0.3}, {10, 0}, {10.4, 0.1}, {10, 10}});
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0], (Segment{0, 0, 10, 0}));
    EXPECT_EQ(out[1], (Segment{10, 0, 10, 10}));
    appendPolyline(out, {{5, 5}});
    appendPolyline(out, {});
    EXPECT_EQ(out.size(), 2u);
}

TEST(TextKeys, TextBecomesTheKeysTheLabelStageLooksUp) {
    const auto keys = keysOfText("A b\xE5\x95\x8A\xE3\x80\x80!\xE2\x82\xAC");  // "A b啊　!€"
    const std::vector<std::string> expected = {"JWASCII65", "", "JWASCII98", "JW161", "", "JWASCII33"};
    EXPECT_EQ(keys, expected);
}

}  // namespace
}  // namespace qel::fontgen
