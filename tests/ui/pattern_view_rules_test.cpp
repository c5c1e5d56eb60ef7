// The pattern view's mouse rules without a widget: hover, selection, drag, the wheel, and the
// turned-over mapping of the reverse side.
#include <QTest>

#include "ui/logic/display_copy.h"
#include "ui/logic/pattern_view_rules.h"
#include "ui/logic/stroke_render.h"
#include "ui/logic/view_transform.h"

using namespace qel::ui;

namespace {
// A pattern from (100, 100) to (500, 300) plot units, shown at one pixel per unit.
PatternViewRules ccdRules() {
  PatternViewRules r;
  r.setCcdMode(true);
  r.setOutline(QRectF(QPointF(100, 100), QPointF(500, 300)));
  return r;
}
const QPointF kInside(200, 200), kOutside(50, 50), kPixel(10, 10);
}  // namespace

class PatternViewRulesTest : public QObject {
  Q_OBJECT
 private slots:
  void hoverFollowsTheOutlineUntilSelected() {
    PatternViewRules r = ccdRules();
    QVERIFY(r.move(kPixel, kOutside, false).cursor == ViewCursor::Arrow && !r.hover());
    const auto s = r.move(kPixel, kInside, false);
    QVERIFY(s.cursor == ViewCursor::Hand && s.redraw && r.hover());  // the outline appears
    QVERIFY(!r.move(kPixel, kInside, false).redraw);                   // nothing new to draw
    r.setOutline(QRectF(QPointF(100, 100), QPointF(500, 100)));       // a flat pattern (one line)
    r.move(kPixel, QPointF(300, 100), false);
    QVERIFY(r.hover());
    // Selected, the cursor no longer changes over the pattern; nothing loaded, no hover anywhere.
    r = ccdRules();
    r.setSelected(true);
    QVERIFY(!r.move(kPixel, kInside, false).cursor && !r.hover());
    r.setOutline(std::nullopt);
    r.move(kPixel, kInside, false);
    QVERIFY(!r.hover());
  }

  void leftSelectsOnlyOnThePatternAndOnlyRightUnselects() {
    const struct { const char* what; Qt::MouseButton button; QPointF at;
                   std::optional<bool> selection; std::optional<ViewStatus> status; } presses[] = {
        {"left beside it", Qt::LeftButton, kOutside, {}, {}},
        {"left on it, no move before", Qt::LeftButton, kInside, true, ViewStatus::PatternSelected},
        {"left again", Qt::LeftButton, kInside, {}, {}},
        {"right", Qt::RightButton, kInside, false, ViewStatus::PatternUnselected},
        {"right again", Qt::RightButton, kInside, {}, {}},
    };
    PatternViewRules r = ccdRules();
    for (const auto& p : presses) {
      const auto s = r.press(p.button, kPixel, p.at);
      QVERIFY2(s.selection == p.selection && s.status == p.status, p.what);
      r.release(p.button);
    }
    // Outside CCD mode, or while the window closes, the selection changes without a text.
    r.setCcdMode(false);
    auto s = r.press(Qt::LeftButton, kPixel, kInside);
    QVERIFY(s.selection && !s.status);
    r.release(Qt::LeftButton);
    r.setCcdMode(true);
    r.setClosing(true);
    s = r.press(Qt::RightButton, kPixel, kInside);
    QVERIFY(s.selection && !s.status);
    // A new file clears the selection.
    r.setSelected(true);
    r.setOutline(QRectF(0, 0, 10, 10));
    QVERIFY(!r.selected());
  }

  void dragMovesTheDrawingByEachStepAndSaysSo() {
    PatternViewRules r = ccdRules();
    r.press(Qt::LeftButton, QPointF(100, 100), kOutside);
    auto s = r.move(QPointF(110, 95), kOutside, true);
    QCOMPARE(s.pan, QPointF(10, -5));
    QVERIFY(s.cursor == ViewCursor::Cross);
    QCOMPARE(s.status, std::optional<ViewStatus>(ViewStatus::Moving));
    s = r.move(QPointF(112, 95), kOutside, true);
    QCOMPARE(s.pan, QPointF(2, 0));
    QCOMPARE(r.release(Qt::LeftButton).status, std::optional<ViewStatus>(ViewStatus::MoveFinished));
    // A click without a move is no drag.
    r.press(Qt::LeftButton, QPointF(100, 100), kOutside);
    QVERIFY(!r.release(Qt::LeftButton).status);
    // A move with the button held that did not start in the view moves nothing.
    QVERIFY(r.move(QPointF(150, 150), kOutside, true).pan.isNull());
  }

  void wheelZoomsOnlyWhenEnabledInCcdMode() {
    PatternViewRules r = ccdRules();
    QVERIFY(!r.wheel(1, false).zoom);
    QCOMPARE(r.wheel(1, false).scroll, QPointF(0, PatternViewRules::kScrollPixels));
    QCOMPARE(r.wheel(-2, true).scroll, QPointF(-2 * PatternViewRules::kScrollPixels, 0));
    r.setZoomEnabled(true);
    QCOMPARE(r.wheel(1, false).factor, 1.2);
    QCOMPARE(r.wheel(-1, false).factor, 0.8);
    QVERIFY(qFuzzyCompare(r.wheel(2, false).factor, 1.44));
    QVERIFY(!r.wheel(1, true).zoom);
    r.setZoomEnabled(false);
    r.setCcdMode(false);  // the print preview always zooms
    QVERIFY(r.wheel(1, false).zoom);
  }

  void reverseSideTurnsTheDrawingOverInPlace() {
    ViewTransform t = ViewTransform::fit(QRectF(0, 0, 1000, 500), QSize(400, 300));
    const QPointF left = t.toPixel(0, 250), right = t.toPixel(1000, 250), middle = t.toPixel(500, 250);
    t.mirrorAbout(500);
    QVERIFY(t.mirrored && t.toPixel(0, 250) == right && t.toPixel(1000, 250) == left && t.toPixel(500, 250) == middle);
    // Picking still finds the plot point under the cursor, and zoom keeps it there.
    QCOMPARE(t.toPlot(t.toPixel(123, 45)), QPointF(123, 45));
    const QPointF under = t.toPlot({77, 88});
    t.zoomAt({77, 88}, 1.2);
    QVERIFY((t.toPlot({77, 88}) - under).manhattanLength() < 1e-9);
    const QPointF mid = t.toPixel(500, 250);
    t.mirrorAbout(500);
    QVERIFY(!t.mirrored);
    QCOMPARE(t.toPixel(500, 250), mid);
    QVERIFY(t.toPixel(0, 250).x() < mid.x());
  }

  void marksAndOutlineAreDrawn() {
    // A one-point mark stroke of the mark pen: a circle of its own, or a cross where flagged.
    qel::plot::CStroke mark;
    mark.points = {{500, 250}}, mark.pen = 8;
    DisplayCopy copy({mark});
    const ViewTransform v = ViewTransform::fit(QRectF(0, 0, 1000, 500), QSize(400, 300));
    const QPointF c = v.toPixel(500, 250);
    RenderOptions o;
    o.markPen = 8;
    auto inked = [&](const RenderOptions& opts, QPointF at) {
      const QImage img = renderStrokes(copy, v, QSize(400, 300), opts);
      return qGray(img.pixel(at.toPoint())) < 250;
    };
    // Circle: ink on the ring (radius 10), none at 5 pixels along the diagonal.
    QVERIFY(inked(o, c + QPointF(10, 0)));
    QVERIFY(!inked(o, c + QPointF(4, 4)));
    o.crossMarks = {true};
    QVERIFY(inked(o, c + QPointF(0, 7)));
    QVERIFY(!inked(o, c + QPointF(10, 0.5) + QPointF(0, 3)));
    // The outline: nothing without hover or selection, a frame round the box with either.
    RenderOptions frame;
    frame.outlineBox = QRectF(200, 100, 600, 300);
    const QPointF corner = v.toPixel(200, 100) + QPointF(-4, 4);
    QVERIFY(!inked(frame, corner));
    frame.outline = RenderOptions::Outline::Selected;
    QVERIFY(inked(frame, corner));
  }
};

QTEST_MAIN(PatternViewRulesTest)
#include "pattern_view_rules_test.moc"
