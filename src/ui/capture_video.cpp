#include "ui/capture_video.h"

#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include <atomic>
#include <mutex>

#include <opencv2/imgproc.hpp>

namespace qel::ui {

namespace {

// The display image as a QImage of its own (the Mat goes away with the frame).
QImage toImage(const cv::Mat& bgr) {
  cv::Mat rgb;
  cv::cvtColor(bgr, rgb, cv::COLOR_BGR2RGB);
  return QImage(rgb.data, rgb.cols, rgb.rows, static_cast<int>(rgb.step), QImage::Format_RGB888).copy();
}

}  // namespace

captureVideo::captureVideo(std::unique_ptr<camera::FrameSource> source, camera::FrameHandler& handler,
                           camera::MarkMeasurement& measurement, QWidget* parent)
    : QWidget(parent), source_(std::move(source)), channel_(PostChannel::make(this)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(268, 201);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
  if (!source_) return;
  auto* poll = new QTimer(this);
  connect(poll, &QTimer::timeout, this, &captureVideo::pollState);
  poll->start(100);
  feed_ = std::make_unique<camera::HeadlessCamera>(*source_, handler, measurement);
  auto channel = channel_;
  // At most one picture waits for the interface thread; later ones only replace it.
  auto waiting = std::make_shared<std::atomic<bool>>(false);
  auto latest = std::make_shared<std::pair<std::mutex, QImage>>();
  feed_->onHandled = [channel, waiting, latest](const cv::Mat& frame, const camera::FrameResult& r) {
    if (!r.draw) return;
    std::optional<cv::Point2d> find;
    if (r.showsFind && r.measured && r.measured->found) find = r.measured->position;
    QImage image = toImage(camera::makeDisplayImage(frame, find));
    {
      std::lock_guard l(latest->first);
      latest->second = std::move(image);
    }
    if (waiting->exchange(true)) return;
    channel->post<captureVideo>([waiting, latest](captureVideo* w) {
      QImage img;
      {
        std::lock_guard l(latest->first);
        img = latest->second;
      }
      waiting->store(false);
      w->showPicture(img);
    });
  };
}

captureVideo::~captureVideo() {
  channel_->close();
  if (feed_) feed_->close();
}

bool captureVideo::open() {
  if (!feed_ || grabbing()) return false;
  if (source_->running()) feed_->close();  // a grab that ended on its own is joined first
  return feed_->open();
}

void captureVideo::close() {
  if (!feed_) return;
  feed_->close();
  pollState();
}

// The grab thread keeps the camera state; the widget looks at it often enough for the status
// pane, so that no callback of the grab thread ever reaches a widget that is gone.
void captureVideo::pollState() {
  const bool now = grabbing();
  if (now == lastGrabbing_) return;
  lastGrabbing_ = now;
  emit cameraStateChanged(now, !now && feed_ && feed_->failed());
}

bool captureVideo::grabbing() const { return feed_ && feed_->grabbing(); }

QSize captureVideo::sizeHint() const { return {402, 302}; }

void captureVideo::showPicture(const QImage& image) {
  picture_ = image;
  ++shown_;
  update();
}

void captureVideo::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), Qt::black);
  if (picture_.isNull()) return;
  const QSize s = picture_.size().scaled(size(), Qt::KeepAspectRatio);
  const QRect r(QPoint((width() - s.width()) / 2, (height() - s.height()) / 2), s);
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(r, picture_);
}

void captureVideo::mouseDoubleClickEvent(QMouseEvent*) {
  if (grabbing()) close();
  else open();
}

}  // namespace qel::ui
