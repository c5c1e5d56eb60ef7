#include "ui/logic/stroke_render.h"

#include <QPainter>
#include <QPen>

#include <cmath>
#include <vector>

namespace qel::ui {

namespace {

constexpr double kMarkSymbolPixels = 10.0;  // circle radius, cross arm

// One drawing of a display copy into an image: the strokes in their pens, the pattern's
// outline, then the labels.
class StrokePainter {
 public:
  StrokePainter(QImage& image, const DisplayCopy& copy, const ViewTransform& view, const QSize& size, const RenderOptions& o)
      : painter_(&image), copy_(copy), view_(view), o_(o),
        // Large drawings go the fast way: thin lines without antialiasing (a wide or smoothed
        // pen costs many times more per segment).
        large_(copy.segmentCount() >= 200000),
        area_(QRectF(QPointF(0, 0), QSizeF(size)).adjusted(-o.penWidth, -o.penWidth, o.penWidth, o.penWidth)) {
    painter_.setRenderHint(QPainter::Antialiasing, !large_);
    painter_.setBrush(Qt::NoBrush);
  }

  void strokes() {
    for (int i = 0; i < copy_.strokeCount(); ++i) stroke(i);
  }
  void outline();
  void labels();

 private:
  void usePen(const QColor& colour, double width, bool dashed);
  void stroke(int i);
  void markSymbol(int i, const plot::PlotPoint& first);
  void polyline(const DisplayStroke& s, const plot::PlotPoint* pts);

  QPainter painter_;
  const DisplayCopy& copy_;
  const ViewTransform& view_;
  const RenderOptions& o_;
  const bool large_;
  const QRectF area_;  // the image, widened by a pen width
  const QColor pale_{200, 200, 200};  // strokes outside the marked range
  QPen current_{Qt::NoPen};
  std::vector<QPointF> line_;
  std::vector<QPoint> ipoints_;
};

void StrokePainter::usePen(const QColor& colour, double width, bool dashed) {
  if (large_) width = 0.0;
  if (current_.style() != Qt::NoPen && current_.color() == colour && current_.widthF() == width &&
      (current_.style() == Qt::DashLine) == dashed)
    return;
  current_ = QPen(colour, width, dashed ? Qt::DashLine : Qt::SolidLine, large_ ? Qt::FlatCap : Qt::RoundCap,
                  large_ ? Qt::MiterJoin : Qt::RoundJoin);
  painter_.setPen(current_);
}

void StrokePainter::stroke(int i) {
  const DisplayStroke& s = copy_.stroke(i);
  if (s.count == 0) return;
  if (o_.plate >= 0 && copy_.plateOf(i, o_.plateWidth) != o_.plate) return;
  const QPointF a = view_.toPixel(s.box.left(), s.box.top());
  const QPointF b = view_.toPixel(s.box.right(), s.box.bottom());
  const QRectF box = QRectF(a, b).normalized();
  // A straight horizontal or vertical stroke has an empty box: compare it widened.
  if (!box.adjusted(-0.5, -0.5, 0.5, 0.5).intersects(area_)) return;

  const bool inRange = !o_.marking || (i >= o_.markFrom && (o_.markTo < 0 || i <= o_.markTo));
  const bool emphasised = i == o_.emphasised;
  const double width = emphasised ? o_.penWidth * 2.5 : (inRange ? o_.penWidth : std::max(1.0, o_.penWidth * 0.6));
  usePen(inRange ? DisplayCopy::penColor(s.pen) : pale_, width, inRange && s.pen == 8);

  const plot::PlotPoint* pts = copy_.points(i);
  if (o_.markPen >= 0 && s.pen == o_.markPen) markSymbol(i, pts[0]);
  if (box.width() < 1.0 && box.height() < 1.0 && !s.circle) {
    // Smaller than a pixel: one dot.
    painter_.drawPoint(box.center());
    return;
  }
  polyline(s, pts);
  if (s.circle) {
    const QPointF c = view_.toPixel(pts[s.count - 1].x, pts[s.count - 1].y);
    const double r = s.radius * view_.scale;
    painter_.drawEllipse(c, r, r);
  }
}

void StrokePainter::markSymbol(int i, const plot::PlotPoint& first) {
  // The mark's symbol, the same size at any zoom.
  const QPointF c = view_.toPixel(first.x, first.y);
  const bool cross = std::size_t(i) < o_.crossMarks.size() && o_.crossMarks[std::size_t(i)];
  if (cross) {
    painter_.drawLine(c - QPointF(kMarkSymbolPixels, 0), c + QPointF(kMarkSymbolPixels, 0));
    painter_.drawLine(c - QPointF(0, kMarkSymbolPixels), c + QPointF(0, kMarkSymbolPixels));
  } else {
    painter_.drawEllipse(c, kMarkSymbolPixels, kMarkSymbolPixels);
  }
}

void StrokePainter::polyline(const DisplayStroke& s, const plot::PlotPoint* pts) {
  line_.clear();
  line_.reserve(s.count);
  QPointF last = view_.toPixel(pts[0].x, pts[0].y);
  line_.push_back(last);
  // Points within a pixel of the last one drawn are passed over (the stroke's end never).
  for (std::uint32_t k = 1; k < s.count; ++k) {
    const QPointF q = view_.toPixel(pts[k].x, pts[k].y);
    const bool lastPoint = k + 1 == s.count;
    if (!lastPoint && std::abs(q.x() - last.x()) < 0.75 && std::abs(q.y() - last.y()) < 0.75) continue;
    line_.push_back(q);
    last = q;
  }
  if (line_.size() == 1) {
    painter_.drawPoint(line_.front());
  } else if (large_) {
    // Whole pixels draw fastest.
    ipoints_.resize(line_.size());
    for (std::size_t k = 0; k < line_.size(); ++k) ipoints_[k] = line_[k].toPoint();
    painter_.drawPolyline(ipoints_.data(), static_cast<int>(ipoints_.size()));
  } else {
    painter_.drawPolyline(line_.data(), static_cast<int>(line_.size()));
  }
}

void StrokePainter::outline() {
  if (o_.outline == RenderOptions::Outline::None || o_.outlineBox.isNull()) return;
  const QRectF box = QRectF(view_.toPixel(o_.outlineBox.left(), o_.outlineBox.top()),
                            view_.toPixel(o_.outlineBox.right(), o_.outlineBox.bottom()))
                         .normalized()
                         .adjusted(-4, -4, 4, 4);
  const bool hover = o_.outline == RenderOptions::Outline::Hover;
  painter_.setPen(QPen(hover ? QColor(0, 120, 215) : QColor(220, 0, 0), hover ? 1.5 : 2.0,
                       hover ? Qt::DashLine : Qt::SolidLine));
  painter_.setBrush(hover ? QColor(0, 120, 215, 24) : QColor(Qt::transparent));
  painter_.drawRect(box);
  painter_.setBrush(Qt::NoBrush);
  current_ = QPen(Qt::NoPen);
}

void StrokePainter::labels() {
  // Labels kept as text, in their pen colour along their baseline.
  for (const DisplayLabel& l : copy_.labels()) {
    const double px = l.height * view_.scale;
    if (px < 2.0 || l.text.isEmpty()) continue;
    const QPointF at = view_.toPixel(l.at.x, l.at.y);
    if (!area_.adjusted(-4000, -4000, 4000, 4000).contains(at)) continue;
    QFont font = painter_.font();
    font.setPixelSize(std::max(2, int(std::lround(px))));
    painter_.save();
    painter_.setFont(font);
    painter_.setPen(o_.marking ? QColor(120, 120, 120) : DisplayCopy::penColor(l.pen));
    painter_.translate(at);
    painter_.rotate(-l.angleDeg);
    painter_.drawText(QPointF(0, 0), l.text);
    painter_.restore();
  }
}

}  // namespace

QImage renderStrokes(const DisplayCopy& copy, const ViewTransform& view, const QSize& size, const RenderOptions& o) {
  QImage image(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
  image.fill(o.background);
  {
    StrokePainter p(image, copy, view, size, o);
    p.strokes();
    p.outline();
    p.labels();
  }  // the painter ends before the image is handed on
  return image;
}

}  // namespace qel::ui
