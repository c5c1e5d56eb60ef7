// Which colours are cut, with which pen, and which are registration marks.
#include <gtest/gtest.h>

#include "plot/cut_colours.h"

namespace qel::plot {
namespace {

TEST(CutColours, NamesMatchWithoutCaseSeparatorsAndWithWildcards) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"CutContour", "CutContour", true},  {"CutContour", "cutcontour", true},
      {"CutContour", "Cut Contour", true}, {"Thru-cut", "ThruCut", true},
      {"Thru-cut", "thru_cut", true},      {"Die*", "Die", true},
      {"Die*", "die-line", true},          {"Die*", "DIE CUT", true},
      {"Die*", "Diecut 2", true},          {"Die*", "Bleed", false},
      {"*cut", "Kiss-cut", true},          {"*cut", "Kiss-cutter", false},
      {"C*t*r", "CutContour", true},       {"CutContour", "CutContour2", false},
      {"CutContour", "Cut", false},        {"", "CutContour", false},
      {"*", "anything", true},             {"Perf-cut", "Perf cut", true},
  };
  for (const auto& c : cases) EXPECT_EQ(colourNameMatches(c.pattern, c.name), c.matches) << c.pattern << " / " << c.name;
}

TEST(CutColours, RgbTextsAreParsedOrRefused) {
  struct Case {
    const char* text;
    bool ok;
    double r, g, b;
  } cases[] = {
      {"#FF00FF", true, 1, 0, 1},  {"ff00ff", true, 1, 0, 1}, {"#f0f", true, 1, 0, 1},
      {"#000000", true, 0, 0, 0},  {"#80FF00", true, 128 / 255.0, 1, 0},
      {"#FF00F", false, 0, 0, 0},  {"#GG00FF", false, 0, 0, 0}, {"", false, 0, 0, 0},
      {"magenta", false, 0, 0, 0},
  };
  for (const auto& c : cases) {
    const auto rgb = parseRgb(c.text);
    ASSERT_EQ(rgb.has_value(), c.ok) << c.text;
    if (!rgb) continue;
    EXPECT_DOUBLE_EQ(rgb->r, c.r) << c.text;
    EXPECT_DOUBLE_EQ(rgb->g, c.g) << c.text;
    EXPECT_DOUBLE_EQ(rgb->b, c.b) << c.text;
  }
}

TEST(CutColours, SpotColoursGoToTheirPensAndOthersAreNotCut) {
  DrawingOptions o;
  o.cutPens = "Thru-cut:2, Die*:3, Kiss-cut:0, Perf-cut:x, #00FF00:4";
  const CutColours c(o);
  EXPECT_EQ(c.spotPen("CutContour"), 1);
  EXPECT_EQ(c.spotPen("thru cut"), 2);
  EXPECT_EQ(c.spotPen("Die-line"), 3);
  EXPECT_EQ(c.spotPen("Kiss-cut"), 1) << "pen 0 cuts nothing: the rule is left out";
  EXPECT_EQ(c.spotPen("Perf-cut"), 1) << "a pen that is no number is left out";
  EXPECT_EQ(c.spotPen("PANTONE 485 C"), std::nullopt);
  EXPECT_EQ(c.spotPen("Regmark"), std::nullopt);
  EXPECT_TRUE(c.isMarkColour("Registration"));
  EXPECT_TRUE(c.isMarkColour("All"));
  EXPECT_FALSE(c.isMarkColour("CutContour"));
}

TEST(CutColours, ProcessColoursAreCutWhenTheyAreACutRgbColour) {
  DrawingOptions o;
  o.cutRgb = "#FF00FF, #00FF00, nonsense";
  o.cutPens = "#00FF00:4";
  const CutColours c(o);
  EXPECT_EQ(c.rgbPen({1, 0, 1}), 1);
  EXPECT_EQ(c.rgbPen({1 - 4 / 255.0, 3 / 255.0, 1}), 1) << "within 5 of 255 is the same colour";
  EXPECT_EQ(c.rgbPen({0.9, 0, 1}), std::nullopt);
  EXPECT_EQ(c.rgbPen({0, 1, 0}), 4);
  EXPECT_EQ(c.rgbPen({0, 0, 0}), std::nullopt);
  EXPECT_EQ(c.rgbNames(), (std::vector<std::string>{"#FF00FF", "#00FF00"}));
}

}  // namespace
}  // namespace qel::plot
