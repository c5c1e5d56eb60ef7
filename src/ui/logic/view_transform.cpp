#include "ui/logic/view_transform.h"

#include <algorithm>
#include <cmath>

namespace qel::ui {

ViewTransform ViewTransform::fit(const QRectF& bounds, const QSize& size, double margin) {
  ViewTransform t;
  const double w = std::max(1.0, size.width() - 2 * margin);
  const double h = std::max(1.0, size.height() - 2 * margin);
  const double bw = std::max(bounds.width(), 1.0);
  const double bh = std::max(bounds.height(), 1.0);
  t.scale = std::min(w / bw, h / bh);
  if (!std::isfinite(t.scale) || t.scale <= 0) t.scale = 1.0;
  // Centre: the middle of the bounds lands in the middle of the widget.
  const double cx = bounds.left() + bounds.width() / 2, cy = bounds.top() + bounds.height() / 2;
  t.originX = size.width() / 2.0 - cx * t.scale;
  t.originY = size.height() / 2.0 + cy * t.scale;
  return t;
}

void ViewTransform::zoomAt(const QPointF& pixel, double factor) {
  if (!(factor > 0) || !std::isfinite(factor)) return;
  originX = pixel.x() - (pixel.x() - originX) * factor;
  originY = pixel.y() - (pixel.y() - originY) * factor;
  scale *= factor;
}

}  // namespace qel::ui
