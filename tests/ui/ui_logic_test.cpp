// The rules below the windows: the preview's start line and control states, the drawing's
// mapping and picking, the main window's stored sizes and menus.
#include <QTest>

#include "plot/model.h"
#include "ui/logic/display_copy.h"
#include "ui/logic/main_rules.h"
#include "ui/logic/message_queue.h"
#include "ui/logic/window_place.h"
#include "ui/logic/preview_logic.h"
#include "ui/logic/stroke_render.h"
#include "ui/logic/view_transform.h"

using namespace qel::ui;

namespace {
qel::plot::CStroke line(double x0, double y0, double x1, double y1, int pen = 1) {
  qel::plot::CStroke s;
  s.points = {{x0, y0}, {x1, y1}};
  s.pen = pen;
  return s;
}
}  // namespace

class UiLogicTest : public QObject {
  Q_OBJECT
 private slots:
  void startLineRange() {
    PreviewLogic p(10, {}, false);
    for (int n = 1; n <= 11; ++n) {
      QVERIFY2(p.set(QString::number(n)), qPrintable(QString::number(n)));
      QCOMPARE(p.startIndex(), n - 1);
    }
    p.set(QStringLiteral("4"));
    for (const char* bad : {"0", "12", "-3", "", "abc", "5x", "99999999999"}) {
      QVERIFY2(!p.set(QLatin1String(bad)), bad);
      QCOMPARE(p.startIndex(), 3);  // a refused number changes nothing
    }
  }

  void contourModeMovesTheStartToItsGroup() {
    // Lines 0-2 inside contour 3, lines 4-5 inside contour 6.
    std::vector<bool> marks = {false, false, false, true, false, false, true};
    PreviewLogic p(7, marks, true);
    // Line 6 carries the mark: back to line 4; line 3: back to the first line; unmarked lines stay.
    for (const auto& [text, index] : {std::pair{"7", 4}, {"4", 0}, {"6", 5}}) {
      QVERIFY(p.set(QLatin1String(text)));
      QCOMPARE(p.startIndex(), index);
    }
    PreviewLogic plain(7, marks, false);  // other modes never move it
    QVERIFY(plain.set(QStringLiteral("7")));
    QCOMPARE(plain.startIndex(), 6);
  }

  void controlStatesAndPicks() {
    PreviewLogic p(10, {}, false);
    auto c = p.controls();
    QVERIFY(c.print && !c.cancel && c.exit && !c.set && c.mod && !c.startField && c.marking);
    QCOMPARE(p.pick(6), QStringLiteral("7"));  // a pick outside editing sets the start
    QCOMPARE(p.startIndex(), 6);
    p.mod();
    c = p.controls();
    QVERIFY(!c.print && c.set && !c.mod && c.startField && !c.marking);
    QCOMPARE(p.pick(2), QStringLiteral("3"));  // while editing it only fills the field
    QCOMPARE(p.startIndex(), 6);
    p.sendStarted();
    c = p.controls();
    QVERIFY(!c.print && c.cancel && !c.exit && !c.mod && p.previewTransfer());
    p.sendFinished();
    QVERIFY(p.controls().print && !p.previewTransfer());
  }

  void zoomAndFit() {
    ViewTransform t = ViewTransform::fit(QRectF(0, 0, 4000, 2000), QSize(424, 224), 12);
    QCOMPARE(t.scale, 0.1);
    QCOMPARE(t.toPixel(0, 0), QPointF(12, 212));  // y grows upwards
    QCOMPARE(t.toPixel(4000, 2000), QPointF(412, 12));
    const QPointF cursor(100, 50);
    const QPointF under = t.toPlot(cursor);
    t.zoomAt(cursor, 1.2);
    QVERIFY(std::abs(t.toPixel(under.x(), under.y()).x() - 100) < 1e-9);
    t.zoomAt(cursor, 0.8);
    QVERIFY(std::abs(t.scale - 0.096) < 1e-12);  // one step in and out is not the identity
  }

  void picksTheNearestStrokeWithinReach() {
    qel::plot::CStroke circle;
    circle.points = {{5000, 5000}}, circle.circleFlag = true, circle.circleRadius = 500;
    DisplayCopy copy({line(0, 0, 1000, 0), line(0, 100, 1000, 100), line(0, 2000, 10, 2000), circle});
    QCOMPARE(copy.nearestStroke({500, 30}, 60), 0);
    QCOMPARE(copy.nearestStroke({500, 70}, 60), 1);
    QCOMPARE(copy.nearestStroke({500, 1000}, 60), -1);
    QCOMPARE(copy.nearestStroke({5500, 5010}, 60), 3);  // on the circle's outline
    QCOMPARE(copy.nearestStroke({5000, 5000}, 60), 3);  // nor its centre point, which is a point of the stroke
    QCOMPARE(copy.bounds(), QRectF(0, 0, 5500, 5500));
    // Plates of 600 units: the strokes beginning at x = 0 are on plate 0, the circle on 8.
    QCOMPARE(copy.plateOf(3, 600), 8);
    QCOMPARE(copy.nearestStroke({500, 30}, 60, 1, 600), -1);
  }

  void drawsPenColoursAndThePaleUnmarkedPart() {
    DisplayCopy copy(std::vector<qel::plot::CStroke>{line(0, 0, 1000, 0, 2), line(0, 500, 1000, 500, 7)});
    ViewTransform t = ViewTransform::fit(copy.bounds(), QSize(200, 200), 20);
    RenderOptions o;
    o.penWidth = 6;
    QImage img = renderStrokes(copy, t, QSize(200, 200), o);
    const QPoint a = t.toPixel(500, 0).toPoint(), b = t.toPixel(500, 500).toPoint();
    QCOMPARE(img.pixelColor(a), QColor(242, 101, 34));
    QCOMPARE(img.pixelColor(b), QColor(0, 0, 255));
    o.marking = true;
    o.markFrom = 1;
    img = renderStrokes(copy, t, QSize(200, 200), o);
    QCOMPARE(img.pixelColor(a), QColor(200, 200, 200));
    QCOMPARE(img.pixelColor(b), QColor(0, 0, 255));
  }

  void wholeNumbersAndMenus() {
    QCOMPARE(wholePart(-3.7), QStringLiteral("-3"));
    QCOMPARE(wholePart(1e300), QStringLiteral("0"));
    QVERIFY(menuFor(qel::intake::QueueList::Waiting).empty());  // the other lists' menus are used by the window test
  }

  // Where windows stand on a 1366 x 728 work area (a 768-pixel screen less its panel).
  void windowsStandWholeOnTheScreenAndBesideEachOther() {
    const QRect screen(0, 0, 1366, 728);
    QCOMPARE(fitOnScreen(QRect(100, 50, 900, 600), screen), QRect(100, 50, 900, 600));
    QCOMPARE(fitOnScreen(QRect(-111, -20, 900, 600), screen), QRect(0, 0, 900, 600));     // off the left and top
    QCOMPARE(fitOnScreen(QRect(900, 500, 900, 600), screen), QRect(466, 128, 900, 600));  // off the right and bottom
    QCOMPARE(fitOnScreen(QRect(0, 0, 1400, 909), screen), QRect(0, 0, 1366, 728));       // larger than the screen
    QCOMPARE(fitOnScreen(QRect(3000, 0, 400, 300), QRect(1366, 0, 1920, 1080)), QRect(2886, 0, 400, 300));  // second screen

    const QSize follow(420, 360);
    struct Case { QRect main; std::optional<QRect> want; } cases[] = {
        {QRect(500, 80, 800, 600), QRect(80, 80, 420, 360)},    // room on the left
        {QRect(300, 80, 800, 600), QRect(0, 80, 300, 360)},     // narrower room: narrower preview
        {QRect(0, 100, 900, 600), QRect(900, 100, 420, 360)},   // against the left edge: on the right
        {QRect(200, 10, 1000, 600), std::nullopt},              // no room on either side: hidden
        {QRect(600, 500, 700, 200), QRect(180, 368, 420, 360)}, // low on the screen: lifted to stay whole
    };
    for (const Case& c : cases) {
      const auto got = followPlace(c.main, follow, screen, 240);
      QCOMPARE(got.has_value(), c.want.has_value());
      if (got) QCOMPARE(*got, *c.want);
    }
    // A first start leaves the room on the left for the preview, where there is enough.
    QCOMPARE(firstMainPlace(QSize(984, 684), screen, 420, 240), QRect(382, 22, 984, 684));
    QCOMPARE(firstMainPlace(QSize(984, 684), QRect(0, 0, 1920, 1050), 420, 240), QRect(678, 183, 984, 684));
    QCOMPARE(firstMainPlace(QSize(1200, 684), screen, 420, 240), QRect(83, 22, 1200, 684));  // centred
  }

  void messagesWaitWhileABoxIsOpen() {
    MessageQueue q;
    QVERIFY(q.offer(QStringLiteral("a")));
    QVERIFY(!q.offer(QStringLiteral("b")));
    QVERIFY(!q.offer(QStringLiteral("c")));
    QVERIFY(!q.offer(QStringLiteral("b")));
    QCOMPARE(q.next(), (QStringList{QStringLiteral("b"), QStringLiteral("c")}));
    QVERIFY(!q.offer(QStringLiteral("d")));  // the box of b and c is open
    QCOMPARE(q.next(), QStringList{QStringLiteral("d")});
    QCOMPARE(q.next(), QStringList{});
    QVERIFY(q.offer(QStringLiteral("e")));
  }
};

QTEST_MAIN(UiLogicTest)
#include "ui_logic_test.moc"
