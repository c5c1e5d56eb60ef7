// What the painted paths of a drawing become: cut lines with their pens (spot colours first,
// then the cut RGB colours or every stroke), fills and text by their rules, registration marks
// for print-and-cut, and the reason when nothing is cut.
#include <gtest/gtest.h>

#include <cmath>
#include <string_view>
#include <vector>

#include "plot/drawing_collector.h"
#include "plot/plot_builder.h"

namespace qel::plot {
namespace {

struct Path {
  PaintKind kind;
  std::vector<std::string_view> spots;
  std::optional<Rgb> rgb;
  std::vector<PlotPoint> points;
  bool closed = false;
  std::vector<std::vector<PlotPoint>> more = {};  // further subpaths
};

const Rgb kMagenta{1, 0, 1}, kBlack{0, 0, 0};

Path line(PaintKind k, std::vector<std::string_view> spots, std::optional<Rgb> rgb = std::nullopt, double y = 0) {
  return {k, std::move(spots), rgb, {{0, y}, {400, y}}};
}

void paint(DrawingCollector& c, const Path& p) {
  int pen = 0;
  c.countPath();
  const auto use = c.classify(p.kind, PaintColour{p.spots, p.rgb}, &pen);
  if (use == DrawingCollector::Use::Ignore) return;
  c.beginPath(use, pen);
  c.moveTo(p.points.front());
  for (std::size_t i = 1; i < p.points.size(); ++i) c.lineTo(p.points[i]);
  if (p.closed) c.closePath();
  for (const auto& sub : p.more) {
    c.moveTo(sub.front());
    for (std::size_t i = 1; i < sub.size(); ++i) c.lineTo(sub[i]);
  }
  c.endPath();
}

struct Outcome {
  SourceResult result;
  PlotModel model;
  std::vector<int> pens() const {
    std::vector<int> out;
    for (const auto& s : model.strokes) out.push_back(s.pen);
    return out;
  }
};

Outcome emit(DrawingCollector& c, const char* file = "job.pdf") {
  Outcome out;
  DisposeOptions d;
  d.cutFt = 5;
  PlotBuilder b(out.model, d, nullptr);
  b.reset();
  out.result = c.emit(b, file);
  return out;
}

Outcome collect(const std::vector<Path>& paths, DrawingOptions o = {}) {
  DrawingCollector c(o, 8);
  c.beginPage(0);
  for (const Path& p : paths) paint(c, p);
  return emit(c);
}

TEST(DrawingCollector, CutColoursAndTheirPens) {
  using K = PaintKind;
  DrawingOptions pens;
  pens.cutPens = "Thru-cut:2";
  DrawingOptions fills;
  fills.cutFills = true;
  DrawingOptions all;
  all.cutAll = true;
  struct Case {
    const char* name;
    std::vector<Path> paths;
    DrawingOptions options;
    std::vector<int> pens;
  } cases[] = {
      {"spot strokes by CutPens", {line(K::Stroke, {"CutContour"}), line(K::Stroke, {"Thru-cut"})}, pens, {1, 2}},
      {"a spot colour that is no cut colour", {line(K::Stroke, {"PANTONE 485 C"}), line(K::Stroke, {"Die"})}, {}, {1}},
      {"fills only with CutFills", {line(K::Fill, {"CutContour"}), line(K::Stroke, {"CutContour"})}, {}, {1}},
      {"fills with CutFills", {line(K::Fill, {"CutContour"})}, fills, {1}},
      {"text in a cut colour whatever CutFills", {line(K::Text, {"CutContour"})}, {}, {1}},
      {"magenta strokes without spot colours", {line(K::Stroke, {}, kMagenta), line(K::Stroke, {}, kBlack)}, {}, {1}},
      {"magenta fills only with CutFills", {line(K::Fill, {}, kMagenta)}, fills, {1}},
      {"a cut spot colour turns process colours off",
       {line(K::Stroke, {}, kMagenta), line(K::Stroke, {"CutContour"}), line(K::Stroke, {}, kMagenta)}, {}, {1}},
      {"CutAll: every stroke, no fill, no filled text",
       {line(K::Stroke, {}, kBlack), line(K::Fill, {}, kBlack), line(K::Text, {}, kBlack),
        line(K::StrokedText, {}, kBlack)},
       all, {1, 1}},
      {"CutAll does not reach past a cut spot colour",
       {line(K::Stroke, {}, kBlack), line(K::Stroke, {"Kiss-cut"})}, all, {1}},
      {"DeviceN: the inked colorant that is a cut colour", {line(K::Stroke, {"Cyan", "Perf-cut"})}, {}, {1}},
  };
  for (const Case& c : cases) {
    const Outcome out = collect(c.paths, c.options);
    ASSERT_TRUE(out.result.ok) << c.name << ": " << out.result.text;
    EXPECT_EQ(out.pens(), c.pens) << c.name;
  }
}

TEST(DrawingCollector, KeepsEachSubpathAsAStrokeAndClosesClosedOnes) {
  // A lone point between the subpaths cuts nothing.
  const Outcome out =
      collect({{PaintKind::Stroke, {}, kMagenta, {{0, 0}, {100, 0}, {100, 100}}, true, {{{500, 500}}, {{200, 0}, {300, 0}}}}});
  ASSERT_TRUE(out.result.ok);
  ASSERT_EQ(out.model.strokes.size(), 2u);
  EXPECT_EQ(out.model.strokes[0].points, (std::vector<PlotPoint>{{0, 0}, {100, 0}, {100, 100}, {0, 0}}));
  EXPECT_EQ(out.model.strokes[1].points, (std::vector<PlotPoint>{{200, 0}, {300, 0}}));
}

TEST(DrawingCollector, NothingCutSaysWhatWasLookedForAndWhatTheFileHolds) {
  DrawingCollector c({}, 8);
  c.noteSpotName("PANTONE 485 C");
  c.beginPage(0);
  for (int i = 0; i < 1204; ++i) paint(c, line(PaintKind::Stroke, {}, kBlack));
  const Outcome out = emit(c, "/in/job.pdf");
  EXPECT_FALSE(out.result.ok);
  EXPECT_EQ(out.result.text,
            "/in/job.pdf: no cut line: 1,204 paths, none in CutContour, Thru-cut, Kiss-cut, Perf-cut, Die* or "
            "#FF00FF; set CutColours or CutAll (spot colours in the file: PANTONE 485 C)");
  EXPECT_TRUE(out.model.strokes.empty());
}

TEST(DrawingCollector, StopsCountingBeyondItsPathLimit) {
  DrawingCollector c({}, 8);
  for (std::int64_t i = 0; i < DrawingCollector::kMaxPaths; ++i) c.countPath();
  EXPECT_TRUE(c.withinLimits());
  c.countPath();
  EXPECT_FALSE(c.withinLimits());
  EXPECT_EQ(c.limitText(), "it paints more than 5,000,000 paths");
}

// Print-and-cut: marks in the registration colour, or four filled circles at the corners.
std::vector<PlotPoint> circle(PlotPoint c, double r) {
  std::vector<PlotPoint> out;
  for (int i = 0; i < 64; ++i) out.push_back({c.x + r * std::cos(i * M_PI / 32), c.y + r * std::sin(i * M_PI / 32)});
  return out;
}

std::vector<PlotPoint> marksOf(const Outcome& out) {
  std::vector<PlotPoint> centres;
  for (const auto& s : out.model.strokes)
    if (s.pen == 8 && s.circleFlag && s.points.size() == 1) centres.push_back(s.points[0]);
  return centres;
}

TEST(DrawingCollector, RegistrationShapesBecomeMarkStrokes) {
  DrawingOptions o;
  o.findMarks = true;
  const PlotPoint a{400, 400}, b{8000, 400};
  std::vector<Path> paths{
      {PaintKind::Fill, {"All"}, std::nullopt, circle(a, 100), true},
      // A cross over the same mark is the same mark.
      {PaintKind::Stroke, {"All"}, std::nullopt, {{a.x - 120, a.y}, {a.x + 120, a.y}}, false,
       {{{a.x, a.y - 120}, {a.x, a.y + 120}}}},
      {PaintKind::Fill, {"Regmark"}, std::nullopt, circle(b, 100), true},
      // A crop line in the registration colour is no mark.
      {PaintKind::Stroke, {"All"}, std::nullopt, {{0, 0}, {0, 800}}},
      line(PaintKind::Stroke, {"CutContour"}, std::nullopt, 2000),
  };
  const Outcome out = collect(paths, o);
  ASSERT_TRUE(out.result.ok) << out.result.text;
  const auto marks = marksOf(out);
  ASSERT_EQ(marks.size(), 2u);
  EXPECT_NEAR(marks[0].x, a.x, 1e-9);
  EXPECT_NEAR(marks[0].y, a.y, 1e-9);
  EXPECT_EQ(out.model.strokes[0].circleRadius, 120) << "as large as the largest shape of the mark";
  EXPECT_NEAR(marks[1].x, b.x, 1e-9);
  o.findMarks = false;
  EXPECT_TRUE(marksOf(collect(paths, o)).empty()) << "outside print-and-cut marks are print";
}

TEST(DrawingCollector, WithoutRegistrationColourFourCornerCirclesAreTheMarks) {
  DrawingOptions o;
  o.findMarks = true;
  auto sheet = [](bool fourth) {
    std::vector<Path> paths;
    for (PlotPoint c : {PlotPoint{200, 200}, PlotPoint{7800, 200}, PlotPoint{7800, 5800}})
      paths.push_back({PaintKind::Fill, {}, kBlack, circle(c, 120), true});
    if (fourth) paths.push_back({PaintKind::Fill, {}, kBlack, circle({200, 5800}, 120), true});
    paths.push_back({PaintKind::Fill, {}, kBlack, circle({4000, 3000}, 120), true});  // a dot in the artwork
    paths.push_back({PaintKind::Fill, {}, kBlack, {{1000, 1000}, {6000, 1000}, {6000, 5000}}, true});
    paths.push_back(line(PaintKind::Stroke, {"CutContour"}, std::nullopt, 2500));
    return paths;
  };
  const auto marks = marksOf(collect(sheet(true), o));
  ASSERT_EQ(marks.size(), 4u);
  for (const PlotPoint& m : marks) EXPECT_TRUE(m.x == 200 || m.x == 7800) << m.x;
  EXPECT_TRUE(marksOf(collect(sheet(false), o)).empty()) << "three corners are not a sheet of marks";
}

}  // namespace
}  // namespace qel::plot
