#include "ui/logic/window_place.h"

#include <algorithm>

namespace qel::ui {

QRect placeWindow(const std::optional<QRect>& saved, const QRect& available, QSize preferred, QSize minimum) {
  if (available.isEmpty()) return saved.value_or(QRect(QPoint(0, 0), preferred));
  QSize size = saved && saved->isValid() ? saved->size() : preferred;
  size = size.expandedTo(minimum).boundedTo(available.size());
  QPoint at = saved && saved->isValid()
                  ? saved->topLeft()
                  : available.topLeft() + QPoint((available.width() - size.width()) / 2,
                                                 (available.height() - size.height()) / 2);
  // Whole on the screen: right and bottom edges first, then left and top win (the title bar).
  at.setX(std::min(at.x(), available.right() + 1 - size.width()));
  at.setY(std::min(at.y(), available.bottom() + 1 - size.height()));
  at.setX(std::max(at.x(), available.left()));
  at.setY(std::max(at.y(), available.top()));
  return QRect(at, size);
}

}  // namespace qel::ui
