#include "ui/my_view.h"

#include <QMouseEvent>
#include <QPainter>
#include <QThreadPool>
#include <QWheelEvent>

namespace qel::ui {

CMyView::CMyView(QWidget* parent) : QWidget(parent), channel_(PostChannel::make(this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::ClickFocus);
  setMinimumSize(200, 150);
}

CMyView::~CMyView() { channel_->close(); }

void CMyView::setDisplay(std::shared_ptr<const DisplayCopy> copy) {
  copy_ = std::move(copy);
  picture_ = QImage();
  fitPending_ = true;
  fitToWindow();
}

void CMyView::setRenderOptions(const RenderOptions& options) {
  options_ = options;
  requestRender();
}

void CMyView::setTransform(const ViewTransform& t) {
  view_ = t;
  requestRender();
}

void CMyView::fitToWindow() {
  if (!copy_ || copy_->strokeCount() == 0) {
    update();
    return;
  }
  const bool reverse = view_.mirrored;
  view_ = ViewTransform::fit(copy_->bounds(), size());
  if (reverse) view_.mirrorAbout(copy_->bounds().center().x());
  fitPending_ = !isVisible();
  requestRender();
}

void CMyView::setOutline(std::optional<QRectF> outline) {
  outline_ = outline;
  rules_.setOutline(outline);
  unsetCursor();
  requestRender();
}

void CMyView::setSelected(bool on) {
  if (on == rules_.selected()) return;
  rules_.setSelected(on);
  requestRender();
}

void CMyView::setReverse(bool on) {
  if (on == view_.mirrored) return;
  const double middle = copy_ ? copy_->bounds().center().x() : 0.0;
  view_.mirrorAbout(middle);
  requestRender();
}

RenderOptions CMyView::drawOptions() const {
  RenderOptions o = options_;
  if (ccdMode_ && outline_) {
    o.outlineBox = *outline_;
    o.outline = rules_.selected() ? RenderOptions::Outline::Selected
                : rules_.hover()  ? RenderOptions::Outline::Hover
                                  : RenderOptions::Outline::None;
  }
  return o;
}

void CMyView::apply(const PatternViewRules::Step& step) {
  if (step.cursor) {
    switch (*step.cursor) {
      case ViewCursor::Arrow: setCursor(Qt::ArrowCursor); break;
      case ViewCursor::Hand: setCursor(Qt::PointingHandCursor); break;
      case ViewCursor::Cross: setCursor(Qt::CrossCursor); break;
    }
  }
  if (!step.pan.isNull()) view_.pan(step.pan.x(), step.pan.y());
  if (step.status) emit statusChanged(*step.status);
  if (step.redraw || !step.pan.isNull()) requestRender();
}

void CMyView::resizeEvent(QResizeEvent*) {
  if (fitPending_) fitToWindow();
  else requestRender();
}

void CMyView::requestRender() {
  ++generation_;
  if (!copy_ || copy_->segmentCount() <= kDirectSegments) {
    pending_ = false;
    update();
    return;
  }
  pending_ = true;
  update();
  auto copy = copy_;
  auto channel = channel_;
  const auto generation = generation_;
  const ViewTransform view = view_;
  const QSize size = this->size();
  const RenderOptions options = drawOptions();
  QThreadPool::globalInstance()->start([copy, channel, generation, view, size, options] {
    QImage image = renderStrokes(*copy, view, size, options);
    channel->post<CMyView>([generation, image, view](CMyView* v) { v->onRendered(generation, image, view); });
  });
}

void CMyView::onRendered(quint64 generation, const QImage& image, const ViewTransform& view) {
  // A picture for an older mapping still beats none; only the newest ends the wait.
  picture_ = image;
  pictureView_ = view;
  if (generation == generation_) pending_ = false;
  update();
  emit rendered();
}

void CMyView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  if (!copy_ || copy_->segmentCount() <= kDirectSegments) {
    if (copy_) p.drawImage(0, 0, renderStrokes(*copy_, view_, size(), drawOptions()));
    else p.fillRect(rect(), options_.background);
    return;
  }
  p.fillRect(rect(), options_.background);
  if (picture_.isNull() || pictureView_.mirrored != view_.mirrored) return;
  if (pictureView_ == view_ && picture_.size() == size()) {
    p.drawImage(0, 0, picture_);
    return;
  }
  // The last picture, moved and scaled to the current mapping until the exact one arrives.
  const double f = view_.scale / pictureView_.scale;
  p.translate(view_.originX - pictureView_.originX * f, view_.originY - pictureView_.originY * f);
  p.scale(f, f);
  p.drawImage(0, 0, picture_);
}

void CMyView::mousePressEvent(QMouseEvent* e) {
  if (!interactive_) return;
  if (ccdMode_) {
    setFocus(Qt::MouseFocusReason);
    const QPointF plot = view_.toPlot(e->position());
    const PatternViewRules::Step step = rules_.press(e->button(), e->position(), plot);
    apply(step);
    if (step.selection) {
      if (*step.selection) emit patternSelected(plot);
      else emit patternUnselected();
    }
    emit plotClicked(plot, e->button());
    return;
  }
  pressAt_ = lastAt_ = e->position();
  moved_ = false;
  dragging_ = e->button() == Qt::LeftButton;
  if (e->button() == Qt::RightButton) {
    emit strokeClicked(pickAt(e->position()), Qt::RightButton);
    if (ccdMode_) emit plotClicked(view_.toPlot(e->position()), Qt::RightButton);
  }
}

void CMyView::mouseMoveEvent(QMouseEvent* e) {
  if (!interactive_) return;
  if (ccdMode_) {
    apply(rules_.move(e->position(), view_.toPlot(e->position()), e->buttons() & Qt::LeftButton));
    return;
  }
  if (!dragging_) return;
  const QPointF d = e->position() - lastAt_;
  if (!moved_ && (e->position() - pressAt_).manhattanLength() < 4) return;
  moved_ = true;
  setCursor(Qt::ClosedHandCursor);
  view_.pan(d.x(), d.y());
  lastAt_ = e->position();
  requestRender();
}

void CMyView::mouseReleaseEvent(QMouseEvent* e) {
  if (!interactive_) return;
  if (ccdMode_) {
    apply(rules_.release(e->button()));
    return;
  }
  if (e->button() != Qt::LeftButton) return;
  dragging_ = false;
  unsetCursor();
  if (moved_) return;
  emit strokeClicked(pickAt(e->position()), Qt::LeftButton);
  if (ccdMode_) emit plotClicked(view_.toPlot(e->position()), Qt::LeftButton);
}

int CMyView::pickAt(const QPointF& pixel) const {
  if (!copy_) return -1;
  const QPointF q = view_.toPlot(pixel);
  return copy_->nearestStroke({q.x(), q.y()}, kPickPixels / view_.scale, options_.plate, options_.plateWidth);
}

void CMyView::wheelEvent(QWheelEvent* e) {
  if (!interactive_) return;
  const QPoint delta = e->angleDelta();
  const bool horizontal = delta.y() == 0 && delta.x() != 0;
  const PatternViewRules::Wheel w = rules_.wheel((horizontal ? delta.x() : delta.y()) / 120, horizontal);
  if (w.zoom) view_.zoomAt(e->position(), w.factor);
  else if (!w.scroll.isNull()) view_.pan(w.scroll.x(), w.scroll.y());
  else return;
  requestRender();
  e->accept();
}

}  // namespace qel::ui
