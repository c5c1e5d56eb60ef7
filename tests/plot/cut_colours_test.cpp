// Which colours are cut, with which pen, and which are registration marks.
#include <gtest/gtest.h>

#include <tuple>

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
    EXPECT_EQ(std::tuple(rgb->r, rgb->g, rgb->b), std::tuple(c.r, c.g, c.b)) << c.text;
  }
}

TEST(CutColours, SpotColoursGoToTheirPensAndOthersAreNotCut) {
  DrawingOptions o;
  o.cutPens = "Thru-cut:2, Die*:3, Kiss-cut:0, Perf-cut:x, #00FF00:4";
  const CutColours c(o);
  // Pen 0 cuts nothing and a pen that is no number means nothing: those rules are left out.
  const std::pair<const char*, std::optional<int>> spots[] = {{"CutContour", 1}, {"thru cut", 2}, {"Die-line", 3},
      {"Kiss-cut", 1}, {"Perf-cut", 1}, {"PANTONE 485 C", std::nullopt}, {"Regmark", std::nullopt}};
  for (const auto& [name, pen] : spots) EXPECT_EQ(c.spotPen(name), pen) << name;
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
