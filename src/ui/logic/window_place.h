#pragma once
// Where a window opens: the place it had when it was last closed, or centred, always whole on
// the screen's available area with its title bar reachable, and never larger than that area.
#include <QRect>
#include <QSize>

#include <optional>

namespace qel::ui {

// `saved`: the frame (title bar included) it had last, when known. `available`: the screen's
// available area. `preferred`: the frame size it would like; `minimum`: the least it can take.
// Returns the frame rectangle.
QRect placeWindow(const std::optional<QRect>& saved, const QRect& available, QSize preferred, QSize minimum);

}  // namespace qel::ui
