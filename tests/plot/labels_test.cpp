// Labels drawn as strokes from the stroke font.
#include <gtest/gtest.h>

#include <cmath>

#include "plot/stroke_font.h"
#include "plot_fixture.h"

namespace qel::plot {
namespace {

using Points = std::vector<PlotPoint>;

void be32(std::string& out, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<char>((u >> shift) & 0xFF));
}

std::string entry(const std::string& key, const std::vector<GlyphSegment>& segments) {
  std::string out = key;
  be32(out, static_cast<std::int32_t>(segments.size() * 16));
  for (const auto& s : segments) {
    be32(out, s.x1);
    be32(out, s.y1);
    be32(out, s.x2);
    be32(out, s.y2);
  }
  return out;
}

// "A": one continuous line of two segments; "B": one segment; the first GB2312 character: a bar.
std::string testFont() {
  return entry("JWASCII65", {{0, 700, 250, 0}, {250, 0, 500, 700}}) + entry("JWASCII66", {{0, 0, 0, 700}}) +
         entry("JW161", {{0, 350, 500, 350}});
}

class Labels : public ::testing::Test {
 protected:
  void SetUp() override { fontHome.writeFile("QEL.dat", testFont()); }
  DisposeOptions options() {
    DisposeOptions o = test::plainOptions();
    o.fontDisposeEnabled = true;
    o.fontSp = 5;
    o.homeDir = fontHome.path();
    return o;
  }
  std::vector<CStroke> load(const std::string& hpgl, DisposeOptions o) {
    test::DisposeRun run(hpgl, o);
    EXPECT_TRUE(run.loadOnly());
    return run.file().strokes();
  }
  qel::test::TempHome fontHome;
};

// SI 0.4,0.4: kx = 1, ky = 0.6 (a glyph 700 high is 420); advance = 40 + 500 = 540 units.
TEST_F(Labels, GlyphsAreLaidOutAlongTheLabel) {
  const struct {
    const char* name;
    std::string hpgl;
    std::size_t index;  // of the stroke checked (stroke 0 is the "PU" point)
    Points points;
  } rows[] = {
      {"A at the pen", "SI0.4,0.4;PU1000,2000;LBAB;PU0,0;PD1,1;", 1, {{1000, 2000}, {1250, 2420}, {1500, 2000}}},
      {"B one advance on", "SI0.4,0.4;PU1000,2000;LBAB;PU0,0;PD1,1;", 2, {{1540, 2420}, {1540, 2000}}},
      {"a space advances", "SI0.4,0.4;PU0,0;LBA A~\x01;PU0,0;", 2, {{1080, 0}, {1330, 420}, {1580, 0}}},
      // "~" has no glyph but advances; \x01 is skipped: the next label starts four advances on.
      {"unknown characters", "SI0.4,0.4;PU0,0;LBA A~\x01;LBB;", 3, {{2160, 420}, {2160, 0}}},
      {"the terminator is neither drawn nor advanced over", "DT@;SI0.4,0.4;PU0,0;LBA@B;", 2, {{540, 420}, {540, 0}}},
      {"double-byte text after a double-byte space", "SI0.4,0.4;PU0,0;LB\xa1\xa1\xb0\xa1;", 1, {{540, 210}, {1040, 210}}},
  };
  for (const auto& r : rows) {
    const auto s = load(r.hpgl, options());
    ASSERT_GT(s.size(), r.index) << r.name;
    const auto& got = s[r.index].points;
    ASSERT_EQ(got.size(), r.points.size()) << r.name;
    for (std::size_t k = 0; k < got.size(); ++k)
      EXPECT_LT(std::hypot(got[k].x - r.points[k].x, got[k].y - r.points[k].y), 1e-9) << r.name << " point " << k;
    EXPECT_EQ(s[r.index].pen, 5) << r.name;
    EXPECT_TRUE(s[r.index].labelStrokeFlag) << r.name;
  }
  EXPECT_FALSE(load(rows[0].hpgl, options()).back().labelStrokeFlag);
}

TEST_F(Labels, DirectionRotationAndOffsets) {
  DisposeOptions o = options();
  auto s = load("SI0.4,0.4;DI0,1;PU1000,1000;LBB;", o);
  ASSERT_EQ(s.size(), 2u);
  // Rotated by 1.57 about the start point: up becomes left.
  EXPECT_NEAR(s[1].points[0].x, 1000 - 420 * std::sin(1.57), 1e-9);
  EXPECT_NEAR(s[1].points[0].y, 1000 + 420 * std::cos(1.57), 1e-9);
  o.fontOffsetX = 1;
  o.fontOffsetY = -2;
  s = load("SI0.4,0.4;PU1000,1000;LBB;", o);
  EXPECT_EQ(s[1].points, (Points{{1040, 1340}, {1040, 920}}));
}

// (Without the conversion labels stay text: the page-text table.)
TEST_F(Labels, WithoutAFont) {
  DisposeOptions o = options();
  o.homeDir = fontHome.file("elsewhere");
  test::DisposeRun missing("SI0.4,0.4;PU0,0;LBAB;", o);
  if (StrokeFont::locate(o.homeDir).empty()) {
    // No font anywhere: the label is never dropped in silence.
    EXPECT_FALSE(missing.dispose());
    EXPECT_NE(missing.file().errorText().find("QEL.dat was found in none of"), std::string::npos);
  } else {
    EXPECT_TRUE(missing.dispose());
  }
}

TEST_F(Labels, AFontWithoutGlyphsFailsTheRunAndLeavesNoPage) {
  // The home folder's font comes first, so a broken one there is what the label stage gets.
  fontHome.writeFile("QEL.dat", "garbage\x00\xff");
  DisposeOptions o = options();
  test::DisposeRun run("PU0,0;PD100,0;PU0,0;SI0.4,0.4;LBAB;PU0,0;", o);
  EXPECT_FALSE(run.dispose());
  EXPECT_NE(run.file().errorText().find("holds no glyph"), std::string::npos) << run.file().errorText();
  EXPECT_NE(run.file().errorText().find("job.plt"), std::string::npos);
  EXPECT_TRUE(run.reports().empty());
  EXPECT_EQ(run.page(0), "<missing>");
  // Without a label the same font is never needed.
  test::DisposeRun plain("PU0,0;PD100,0;PU0,0;", o);
  EXPECT_TRUE(plain.dispose());
}

TEST_F(Labels, HugeLabelsAndBrokenFontFiles) {
  std::string hpgl = "SI0.4,0.4;PU0,0;LB" + std::string(100000, 'B') + ";";
  auto s = load(hpgl, options());
  EXPECT_EQ(s.size(), 100001u);  // the "PU" point and one stroke per letter
  const std::string font = testFont();
  for (size_t cut : {size_t{3}, size_t{11}, size_t{20}, font.size() - 1}) {
    auto parsed = StrokeFont::parse(std::string_view(font).substr(0, cut));
    EXPECT_LE(parsed->size(), 2u);
  }
  EXPECT_TRUE(StrokeFont::parse("garbage\x00\xff")->empty());
}

}  // namespace
}  // namespace qel::plot
