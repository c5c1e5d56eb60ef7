#pragma once
// Where the windows stand on the screen. Every window opens whole on the screen (a remembered
// place that no longer fits, after a change of screen, is moved and if need be shrunk onto it),
// remembers its place (WindowPlaces.ini in the home folder, [Windows] <window>=x,y,width,height,
// the frame; kept apart from the settings, which a window's Cancel must leave as they were), and the
// follow preview stands beside the main window and never covers it. Rectangles are frames: the
// window with its title bar.
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

namespace qel::ui {

// The frame moved into `available`, and shrunk to it when larger (never below minimum).
QRect fitOnScreen(const QRect& frame, const QRect& available, const QSize& minimum = {});

// The follow preview's frame: against the main window's left edge, top aligned, when at least
// minWidth fits there, else against its right edge; as wide as wanted or as the room there is;
// never over the main window and never off the screen. Nothing when neither side has room (the
// preview then stays hidden).
std::optional<QRect> followPlace(const QRect& mainFrame, const QSize& wanted, const QRect& available, int minWidth);

// A main window's first place: with the room on its left for the follow preview (up to
// followWidth) when at least followMinWidth is left over beside it, else centred; shrunk to the
// screen.
QRect firstMainPlace(const QSize& wanted, const QRect& available, int followWidth, int followMinWidth);

// The remembered frame of a window; nothing when none was stored or it is not four numbers.
std::optional<QRect> loadPlace(const QString& home, const QString& window);
void savePlace(const QString& home, const QString& window, const QRect& frame);

}  // namespace qel::ui
