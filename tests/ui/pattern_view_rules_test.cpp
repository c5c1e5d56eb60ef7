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
    auto s = r.move(kPixel, kOutside, false);
    QVERIFY(!r.hover());
    QVERIFY(s.cursor == ViewCursor::Arrow);
    s = r.move(kPixel, kInside, false);
    QVERIFY(r.hover());
    QVERIFY(s.cursor == ViewCursor::Hand);
    QVERIFY(s.redraw);  // the outline appears
    QVERIFY(!r.move(kPixel, kInside, false).redraw);  // nothing new to draw
    // A flat pattern (one line) can be hovered too.
    r.setOutline(QRectF(QPointF(100, 100), QPointF(500, 100)));
    r.move(kPixel, QPointF(300, 100), false);
    QVERIFY(r.hover());
    // Selected, the cursor no longer changes over the pattern.
    r = ccdRules();
    r.setSelected(true);
    s = r.move(kPixel, kInside, false);
    QVERIFY(!s.cursor);
    QVERIFY(!r.hover());
    // Nothing loaded: no hover anywhere.
    r.setOutline(std::nullopt);
    r.move(kPixel, kInside, false);
    QVERIFY(!r.hover());
  }

  void leftSelectsOnlyOnThePatternAndOnlyRightUnselects() {
    PatternViewRules r = ccdRules();
    // A click outside selects nothing.
    auto s = r.press(Qt::LeftButton, kPixel, kOutside);
    QVERIFY(!s.selection && !s.status && !r.selected());
    r.release(Qt::LeftButton);
    // On the pattern: selected, with the status, even without a move before the press.
    s = r.press(Qt::LeftButton, kPixel, kInside);
    QCOMPARE(s.selection, std::optional<bool>(true));
    QCOMPARE(s.status, std::optional<ViewStatus>(ViewStatus::PatternSelected));
    r.release(Qt::LeftButton);
    // A second left click keeps it selected and says nothing.
    s = r.press(Qt::LeftButton, kPixel, kInside);
    QVERIFY(!s.selection && !s.status && r.selected());
    r.release(Qt::LeftButton);
    // The right button unselects; a second right click has nothing to unselect.
    s = r.press(Qt::RightButton, kPixel, kInside);
    QCOMPARE(s.selection, std::optional<bool>(false));
    QCOMPARE(s.status, std::optional<ViewStatus>(ViewStatus::PatternUnselected));
    QVERIFY(!r.press(Qt::RightButton, kPixel, kInside).selection);
    // Outside CCD mode, or while the window closes, the selection changes without a text.
    r.setCcdMode(false);
    s = r.press(Qt::LeftButton, kPixel, kInside);
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
    auto w = r.wheel(1, false);
    QVERIFY(!w.zoom);
    QCOMPARE(w.scroll, QPointF(0, PatternViewRules::kScrollPixels));
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
    QVERIFY(t.mirrored);
    QCOMPARE(t.toPixel(0, 250), right);
    QCOMPARE(t.toPixel(1000, 250), left);
    QCOMPARE(t.toPixel(500, 250), middle);
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
    mark.points = {{500, 250}};
    mark.pen = 8;
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
