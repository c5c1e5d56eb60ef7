#include "ui/logic/stroke_render.h"

#include <QPainter>
#include <QPen>

#include <cmath>
#include <vector>

namespace qel::ui {

namespace {
constexpr double kMarkSymbolPixels = 10.0;  // circle radius, cross arm
}  // namespace

QImage renderStrokes(const DisplayCopy& copy, const ViewTransform& view, const QSize& size, const RenderOptions& o) {
  QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  image.fill(o.background);
  QPainter painter(&image);
  // Large drawings go the fast way: thin lines without antialiasing (a wide or smoothed pen
  // costs many times more per segment).
  const bool large = copy.segmentCount() >= 200000;
  painter.setRenderHint(QPainter::Antialiasing, !large);
  const QRectF area = QRectF(QPointF(0, 0), QSizeF(size)).adjusted(-o.penWidth, -o.penWidth, o.penWidth, o.penWidth);
  const QColor pale(200, 200, 200);

  std::vector<QPointF> line;
  std::vector<QPoint> ipoints;
  QPen current(Qt::NoPen);
  auto usePen = [&](const QColor& colour, double width, bool dashed) {
    if (large) width = 0.0;
    if (current.style() != Qt::NoPen && current.color() == colour && current.widthF() == width &&
        (current.style() == Qt::DashLine) == dashed)
      return;
    current = QPen(colour, width, dashed ? Qt::DashLine : Qt::SolidLine, large ? Qt::FlatCap : Qt::RoundCap,
                   large ? Qt::MiterJoin : Qt::RoundJoin);
    painter.setPen(current);
  };
  painter.setBrush(Qt::NoBrush);

  for (int i = 0; i < copy.strokeCount(); ++i) {
    const DisplayStroke& s = copy.stroke(i);
    if (s.count == 0) continue;
    if (o.plate >= 0 && copy.plateOf(i, o.plateWidth) != o.plate) continue;
    const QPointF a = view.toPixel(s.box.left(), s.box.top());
    const QPointF b = view.toPixel(s.box.right(), s.box.bottom());
    const QRectF box = QRectF(a, b).normalized();
    // A straight horizontal or vertical stroke has an empty box: compare it widened.
    if (!box.adjusted(-0.5, -0.5, 0.5, 0.5).intersects(area)) continue;

    const bool inRange = !o.marking || (i >= o.markFrom && (o.markTo < 0 || i <= o.markTo));
    const bool emphasised = i == o.emphasised;
    const double width = emphasised ? o.penWidth * 2.5 : (inRange ? o.penWidth : std::max(1.0, o.penWidth * 0.6));
    usePen(inRange ? DisplayCopy::penColor(s.pen) : pale, width, inRange && s.pen == 8);

    const plot::PlotPoint* pts = copy.points(i);
    if (o.markPen >= 0 && s.pen == o.markPen) {
      // The mark's symbol, the same size at any zoom.
      const QPointF c = view.toPixel(pts[0].x, pts[0].y);
      const bool cross = std::size_t(i) < o.crossMarks.size() && o.crossMarks[std::size_t(i)];
      if (cross) {
        painter.drawLine(c - QPointF(kMarkSymbolPixels, 0), c + QPointF(kMarkSymbolPixels, 0));
        painter.drawLine(c - QPointF(0, kMarkSymbolPixels), c + QPointF(0, kMarkSymbolPixels));
      } else {
        painter.drawEllipse(c, kMarkSymbolPixels, kMarkSymbolPixels);
      }
    }
    if (box.width() < 1.0 && box.height() < 1.0 && !s.circle) {
      // Smaller than a pixel: one dot.
      painter.drawPoint(box.center());
      continue;
    }
    line.clear();
    line.reserve(s.count);
    QPointF last = view.toPixel(pts[0].x, pts[0].y);
    line.push_back(last);
    for (std::uint32_t k = 1; k < s.count; ++k) {
      const QPointF q = view.toPixel(pts[k].x, pts[k].y);
      const bool lastPoint = k + 1 == s.count;
      if (!lastPoint && std::abs(q.x() - last.x()) < 0.75 && std::abs(q.y() - last.y()) < 0.75) continue;
      line.push_back(q);
      last = q;
    }
    if (line.size() == 1) painter.drawPoint(line.front());
    else if (large) {
      // Whole pixels draw fastest.
      ipoints.resize(line.size());
      for (std::size_t k = 0; k < line.size(); ++k) ipoints[k] = line[k].toPoint();
      painter.drawPolyline(ipoints.data(), static_cast<int>(ipoints.size()));
    } else {
      painter.drawPolyline(line.data(), static_cast<int>(line.size()));
    }
    if (s.circle) {
      const QPointF c = view.toPixel(pts[s.count - 1].x, pts[s.count - 1].y);
      const double r = s.radius * view.scale;
      painter.drawEllipse(c, r, r);
    }
  }
  if (o.outline != RenderOptions::Outline::None && !o.outlineBox.isNull()) {
    const QRectF box = QRectF(view.toPixel(o.outlineBox.left(), o.outlineBox.top()),
                              view.toPixel(o.outlineBox.right(), o.outlineBox.bottom()))
                           .normalized()
                           .adjusted(-4, -4, 4, 4);
    const bool hover = o.outline == RenderOptions::Outline::Hover;
    painter.setPen(QPen(hover ? QColor(0, 120, 215) : QColor(220, 0, 0), hover ? 1.5 : 2.0,
                        hover ? Qt::DashLine : Qt::SolidLine));
    painter.setBrush(hover ? QColor(0, 120, 215, 24) : QColor(Qt::transparent));
    painter.drawRect(box);
    painter.setBrush(Qt::NoBrush);
    current = QPen(Qt::NoPen);
  }
  // Labels kept as text, in their pen colour along their baseline.
  for (const DisplayLabel& l : copy.labels()) {
    const double px = l.height * view.scale;
    if (px < 2.0 || l.text.isEmpty()) continue;
    const QPointF at = view.toPixel(l.at.x, l.at.y);
    if (!area.adjusted(-4000, -4000, 4000, 4000).contains(at)) continue;
    QFont font = painter.font();
    font.setPixelSize(std::max(2, int(std::lround(px))));
    painter.save();
    painter.setFont(font);
    painter.setPen(o.marking ? QColor(120, 120, 120) : DisplayCopy::penColor(l.pen));
    painter.translate(at);
    painter.rotate(-l.angleDeg);
    painter.drawText(QPointF(0, 0), l.text);
    painter.restore();
  }
  return image;
}

}  // namespace qel::ui
