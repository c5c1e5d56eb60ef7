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
  view_ = ViewTransform::fit(copy_->bounds(), size());
  fitPending_ = !isVisible();
  requestRender();
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
  const RenderOptions options = options_;
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
    if (copy_) p.drawImage(0, 0, renderStrokes(*copy_, view_, size(), options_));
    else p.fillRect(rect(), options_.background);
    return;
  }
  p.fillRect(rect(), options_.background);
  if (picture_.isNull()) return;
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
  pressAt_ = lastAt_ = e->position();
  moved_ = false;
  dragging_ = e->button() == Qt::LeftButton;
  if (e->button() == Qt::RightButton) {
    emit strokeClicked(pickAt(e->position()), Qt::RightButton);
    if (ccdMode_) emit plotClicked(view_.toPlot(e->position()), Qt::RightButton);
  }
}

void CMyView::mouseMoveEvent(QMouseEvent* e) {
  if (!interactive_ || !dragging_) return;
  const QPointF d = e->position() - lastAt_;
  if (!moved_ && (e->position() - pressAt_).manhattanLength() < 4) return;
  moved_ = true;
  setCursor(Qt::ClosedHandCursor);
  view_.pan(d.x(), d.y());
  lastAt_ = e->position();
  requestRender();
}

void CMyView::mouseReleaseEvent(QMouseEvent* e) {
  if (!interactive_ || e->button() != Qt::LeftButton) return;
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
  if (!interactive_ || (ccdMode_ && !wheelZoom_)) return;
  const int steps = e->angleDelta().y() / 120;
  if (steps == 0) return;
  double factor = 1.0;
  for (int i = 0; i < std::abs(steps); ++i) factor *= steps > 0 ? 1.2 : 0.8;
  view_.zoomAt(e->position(), factor);
  requestRender();
  e->accept();
}

}  // namespace qel::ui
