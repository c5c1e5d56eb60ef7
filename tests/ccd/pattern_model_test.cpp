// The pattern of the CCD cut window: marks taken out at load and put in front in their visiting
// order, the mark list from last to first, crosses from every second three-point stroke,
// selection, plates, the design marks of a plate, the control table and the plate buttons.
#include <gtest/gtest.h>

#include "support/calendar.h"

#include "ccd/ccd_state.h"
#include "ccd/ccd_workflow.h"
#include "ccd/pattern_model.h"
#include "config/ini_config.h"
#include "support/temp_home.h"

using namespace qel;
using namespace qel::camera;
using namespace qel::ccd;

namespace {

plot::CStroke stroke(int pen, std::vector<plot::PlotPoint> pts) {
  plot::CStroke s;
  s.pen = pen, s.points = std::move(pts);
  return s;
}

std::vector<plot::PlotPoint> firstPoints(const PatternModel& m, std::size_t n) {
  std::vector<plot::PlotPoint> out;
  for (std::size_t i = 0; i < n; ++i) out.push_back(m.strokes()[i].points[0]);
  return out;
}

}  // namespace

TEST(PatternMarks, CirclesGoInFrontAlongTheLowerRowAndBackAlongTheUpper) {
  PatternModel m;
  m.setStrokes({stroke(1, {{0, 0}, {100, 100}}),
                stroke(8, {{9000, 8000}}),  // upper right
                stroke(8, {{1000, 1000}}),  // lower left
                stroke(8, {{1000, 8000}}),  // upper left
                stroke(8, {{9000, 1200}}),  // lower right (a little higher)
                stroke(8, {{5, 5}, {6, 6}}),  // a mark-pen line stays in the pattern
                stroke(2, {{50, 50}, {60, 60}})},
               8, 1500);
  ASSERT_EQ(m.markCount(), 4u);
  ASSERT_EQ(m.strokes().size(), 7u);
  EXPECT_EQ(firstPoints(m, 4),
            (std::vector<plot::PlotPoint>{{1000, 1000}, {9000, 1200}, {9000, 8000}, {1000, 8000}}));
  EXPECT_EQ(m.markList(), (std::vector<plot::PlotPoint>{{1000, 8000}, {9000, 8000}, {9000, 1200}, {1000, 1000}}));
  // The rest keeps file order.
  EXPECT_EQ(std::vector<int>({m.strokes()[4].pen, m.strokes()[5].pen, m.strokes()[6].pen}), std::vector<int>({1, 8, 2}));
  EXPECT_EQ(m.strokes()[5].points.size(), 2u);
}

TEST(PatternMarks, EverySecondThreePointStrokeIsACross) {
  PatternModel m;
  m.setStrokes({stroke(8, {{0, 400}, {160, 400}, {320, 400}}),  // first of a pair: dropped
                stroke(8, {{0, 400}, {160, 400}, {320, 400}}),  // second: the cross
                stroke(8, {{4000, 400}, {4160, 400}, {4320, 400}}),
                stroke(8, {{4000, 400}, {4160, 400}, {4320, 400}}),
                stroke(8, {{2000, 2000}})},  // a circle mark among them
               8, 1500);
  ASSERT_EQ(m.markCount(), 3u);
  EXPECT_EQ(firstPoints(m, 3), (std::vector<plot::PlotPoint>{{0, 400}, {4000, 400}, {2000, 2000}}));
  EXPECT_EQ(std::vector<bool>({m.isCrossMark(0), m.isCrossMark(1), m.isCrossMark(2)}), std::vector<bool>({true, true, false}));
  EXPECT_EQ(m.crossMiddle(0), (plot::PlotPoint{160, 400}));
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(m.strokes()[i].points.size(), 1u);
}

TEST(PatternMarks, OrderingSwapsOnlyFirstPointsSoFlagsStayInPlace) {
  // A circle listed first, a cross second; the cross lies lower, so the first points trade
  // places while the cross flag stays with the second position.
  PatternModel m;
  m.setStrokes({stroke(8, {{0, 5000}}), stroke(8, {{0, 0}, {1, 0}, {2, 0}}), stroke(8, {{0, 100}, {1, 100}, {2, 100}})},
               8, 1500);
  ASSERT_EQ(m.markCount(), 2u);
  EXPECT_EQ(m.strokes()[0].points[0], (plot::PlotPoint{0, 100}));
  EXPECT_TRUE(!m.isCrossMark(0) && m.isCrossMark(1));
}

TEST(PatternLoad, LoadsThroughTheLoadOnlyRunAndReportsMissingFiles) {
  test::TempHome home;
  config::CIniConfig cfg(home.path());
  cfg.write(config::keys::CUT_FT, 9);
  home.writeFile("a.plt", "IN;SP8;PU400,400;CI160;PU;SP8;PU12400,400;CI160;PU;SP1;PU800,800;PD11000,800,11000,5000;PU;SP0;");
  PatternModel m;
  ASSERT_EQ(m.load(home.file("a.plt"), cfg), PatternLoad::Loaded);
  EXPECT_EQ(std::pair(m.markCount(), m.markList().size()), std::pair(2ul, 2ul));
  EXPECT_EQ(m.strokes()[1].points[0], (plot::PlotPoint{12400, 400}));
  EXPECT_TRUE(m.strokes()[0].circleFlag);
  EXPECT_FALSE(m.selected());

  // Strokes of later pages keep the file's coordinates: plate 1 of 100 mm pages.
  cfg.write(config::keys::Page_Width, 100.0);
  ASSERT_EQ(m.load(home.file("a.plt"), cfg), PatternLoad::Loaded);
  EXPECT_EQ(m.strokes()[1].points[0], (plot::PlotPoint{12400, 400}));
  EXPECT_EQ(m.plateOf(m.strokes()[1]), 3);
  EXPECT_EQ(m.plateCount(), 4);
  EXPECT_EQ(m.strokes().size(), 3u);  // the long stroke is not cut at page edges

  for (const std::string& path : {home.file("missing.plt"), home.path() /* a folder is no plot file */})
    EXPECT_EQ(m.load(path, cfg), PatternLoad::NotExist) << path;
  EXPECT_FALSE(m.loaded());
}

TEST(PatternSelection, ClickOutsideSelectsNothingAndOnlyTheRightButtonUnselects) {
  PatternModel m;
  EXPECT_FALSE(m.pressAt({0, 0}));  // nothing loaded
  m.setStrokes({stroke(8, {{1000, 1000}}), stroke(8, {{9000, 1000}}), stroke(1, {{2000, 2000}, {8000, 7000}})}, 8, 1500);
  EXPECT_FALSE(m.pressAt({500, 500}));
  EXPECT_FALSE(m.selected() || m.selectionRange().has_value());
  EXPECT_TRUE(m.pressAt({5000, 3000}));
  EXPECT_FALSE(m.pressAt({5000, 3000}));  // a second press keeps it selected
  EXPECT_TRUE(m.selected());
  EXPECT_EQ(m.selectionRange(), std::make_pair(std::size_t{0}, std::size_t{2}));
  EXPECT_TRUE(m.unselect());
  EXPECT_FALSE(m.unselect());
  m.toggleSelectAll();
  EXPECT_TRUE(m.selected() && m.selectAll());
}

TEST(PatternPlates, DesignMarksOfAPlateWithAndWithoutSharedMarks) {
  PatternModel m;
  // Page width 100 mm = 4000 units: plate 0 holds x < 4000, plate 1 4000..8000.
  m.setStrokes({stroke(8, {{400, 400}}), stroke(8, {{3600, 400}}), stroke(8, {{4400, 400}}), stroke(8, {{7600, 400}}),
                stroke(8, {{5990, 3000}}), stroke(1, {{500, 500}, {3000, 500}}), stroke(1, {{4500, 500}, {7000, 500}})},
               8, 100);
  EXPECT_EQ(m.plateCount(), 2);
  m.toggleSelectAll();
  // Without shared marks: every selected mark-pen stroke, in stroke order.
  EXPECT_EQ(m.designMarks(1, false).size(), 5u);
  // Shared marks: the mark list within 50 mm of the plate, from the last mark to the first.
  m.setPlate(1);
  const auto shared = m.designMarks(2, true);
  for (const auto& p : shared) EXPECT_GT(p.x, 4000 - 2000);
  EXPECT_EQ(shared.size(), 4u);  // 3600, 4400, 7600 and 5990; 400 is too far left
  EXPECT_EQ(shared.front(), m.markList().front());
  // The corrected pattern holds the selected strokes of the current plate only.
  for (const plot::CStroke* s : m.plateSelection()) EXPECT_EQ(m.plateOf(*s), 1);
  EXPECT_EQ(m.plateSelection().size(), 4u);  // 4400, 5990, 7600 marks and the plate's line
}

TEST(CcdControls, StatesEnableWhatTheTableSays) {
  using C = CcdControl;
  const CcdControls ready = initialControls();
  for (C k : {C::Stop, C::MarkConfirm}) EXPECT_FALSE(enabled(ready, k));
  for (C k : {C::Start, C::Jog}) EXPECT_TRUE(enabled(ready, k));

  const CcdControls marking = controlsFor(CcdState::AutoMarking, ready);
  EXPECT_EQ(marking.count(), 1u);
  EXPECT_TRUE(enabled(marking, C::Stop));

  const CcdControls manual = controlsFor(CcdState::ManualMarking, marking);
  for (C k : {C::Stop, C::Jog, C::Center, C::Fast, C::Manual, C::MarkConfirm}) EXPECT_TRUE(enabled(manual, k));
  EXPECT_FALSE(enabled(manual, C::Start));
  const CcdControls back = controlsFor(CcdState::AutoMarkingAfterManual, manual);
  EXPECT_EQ(back, marking);
  EXPECT_FALSE(enabled(controlsFor(CcdState::ManualMarkingToCenter, manual), C::Center));
  EXPECT_TRUE(enabled(controlsFor(CcdState::AutoMarkingAfterCenter, back), C::MarkConfirm));

  const CcdControls adjusting = controlsFor(CcdState::AutoAdjusting, ready);
  for (C k : {C::Start, C::Settings}) EXPECT_FALSE(enabled(adjusting, k));
  for (C k : {C::NextPlate, C::Stop}) EXPECT_TRUE(enabled(adjusting, k));
  EXPECT_EQ(controlsFor(CcdState::MarkFinished, adjusting), ready);
  const CcdControls adjust = controlsFor(CcdState::ManualAdjust, marking);  // Stop off, jog, plates and confirm on
  EXPECT_EQ(adjust.count(), 4u);
  for (C k : {C::Jog, C::PrevPlate, C::NextPlate, C::AdjustConfirm}) EXPECT_TRUE(enabled(adjust, k));
  for (auto [state, text] : std::vector<std::pair<CcdState, const char*>>{
           {CcdState::AutoMarkingAfterCenter, "Operate: Auto Marking"}, {CcdState::AutoAdjusting, "Operate: Auto Adjusting"},
           {CcdState::ManualMarking, "Operate: Manual Marking"}, {CcdState::ManualMarkingToCenter, "Operate: Manual Marking(to Center)"},
           {CcdState::ToCenter, "Operate: To Center"}, {CcdState::CalibrationCorrecting, "Operate: Calibration correcting"},
           {static_cast<CcdState>(99), "Operate:"}})  // a state the table does not know
    EXPECT_STREQ(operationText(state), text) << static_cast<int>(state);
  EXPECT_EQ(operationText(CcdState::ManualAdjust), nullptr);
}

TEST(PlateButtons, NextOnTheLastFileAndPreviousOnTheFirstChangeNothing) {
  PlateFiles files({"/d/a.plt", "/d/b.plt"}, 0);
  EXPECT_EQ(files.previous(), PlateFiles::Step::AtFirst);
  EXPECT_EQ(files.next(), PlateFiles::Step::Moved);
  EXPECT_EQ(files.current(), "/d/b.plt");
  EXPECT_EQ(files.next(), PlateFiles::Step::AtLast);
  EXPECT_EQ(files.index(), 1u);
  EXPECT_TRUE(files.previous() == PlateFiles::Step::Moved && files.index() == 0u);
}

TEST(CcdNames, HistoryNameCarriesTheBaseNameAndTheLocalTime) {
  std::tm tm = qel::test::at(2026, 1, 2, 3, 4, 5);
  EXPECT_EQ(CcdWorkflow::historyName("/home/u/DisposeDir/job.a.plt", std::mktime(&tm)), "job.a_20260102_030405_001.PLT");
  EXPECT_EQ(CcdWorkflow::historyName("plain", std::mktime(&tm)), "plain_20260102_030405_001.PLT");
}
