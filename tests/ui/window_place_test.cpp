// Where a window opens: its saved place when that is still on the screen, else centred; never
// larger than the screen's available area, never with its title bar off it.
#include <QtTest/QtTest>

#include "ui/logic/window_place.h"

using qel::ui::placeWindow;

class WindowPlaceTest : public QObject {
  Q_OBJECT
 private slots:
  void placesAWindowWholeOnTheScreen() {
    const QRect laptop(0, 0, 1366, 728);  // 1366 x 768 less a 40-pixel panel
    const QSize preferred(1100, 722), least(900, 640);
    struct Case {
      const char* what;
      std::optional<QRect> saved;
      QRect available;
      QRect expected;
    };
    const Case cases[] = {
        {"first opening: centred", std::nullopt, laptop, QRect(133, 3, 1100, 722)},
        {"saved place kept", QRect(40, 5, 1000, 700), laptop, QRect(40, 5, 1000, 700)},
        {"title bar above the screen comes down", QRect(100, -140, 1100, 722), laptop, QRect(100, 0, 1100, 722)},
        {"left of the screen comes right", QRect(-111, 20, 1000, 700), laptop, QRect(0, 20, 1000, 700)},
        {"beyond the right edge comes left", QRect(900, 20, 1000, 700), laptop, QRect(366, 20, 1000, 700)},
        {"larger than the screen shrinks to it", QRect(0, 0, 1600, 1000), laptop, QRect(0, 0, 1366, 728)},
        {"smaller than it can be grows", QRect(10, 10, 300, 200), laptop, QRect(10, 10, 900, 640)},
        {"a second screen's area", std::nullopt, QRect(1366, 0, 1920, 1040), QRect(1776, 159, 1100, 722)},
        {"no screen known: as it was", QRect(-50, -50, 800, 600), QRect(), QRect(-50, -50, 800, 600)},
    };
    for (const auto& c : cases) QCOMPARE(placeWindow(c.saved, c.available, preferred, least), c.expected);
  }
};

QTEST_MAIN(WindowPlaceTest)
#include "window_place_test.moc"
