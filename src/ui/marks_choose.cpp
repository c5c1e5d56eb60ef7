#include "ui/marks_choose.h"

#include <QApplication>
#include <QEvent>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <cmath>

#include "ui/message_service.h"

namespace qel::ui {

int hoveredCandidate(const QVector<QPointF>& candidates, QPointF cursor, int chosen, double pickRadius) {
  for (int i = 0; i < candidates.size(); ++i) {
    if (i == chosen) continue;
    const double d = std::hypot(candidates[i].x() - cursor.x(), candidates[i].y() - cursor.y());
    if (d < pickRadius) return i;
  }
  return -1;
}

MarkFrameView::MarkFrameView(QImage frame, QVector<QPointF> candidates, double pickRadius, QWidget* parent)
    : QWidget(parent), frame_(std::move(frame)), candidates_(std::move(candidates)), pickRadius_(pickRadius) {
  setObjectName(QStringLiteral("frame"));
  setMouseTracking(true);
  setFixedSize(frame_.size().isEmpty() ? QSize(640, 480) : frame_.size());
}

void MarkFrameView::hoverAt(QPointF pos) {
  const int h = hoveredCandidate(candidates_, pos, chosen_, pickRadius_);
  setCursor(h >= 0 ? Qt::PointingHandCursor : Qt::ArrowCursor);
  if (h != hovered_) {
    hovered_ = h;
    update();
  }
}

void MarkFrameView::clickAt(QPointF pos) {
  hoverAt(pos);
  if (hovered_ < 0) return;
  chosen_ = hovered_;
  hovered_ = -1;
  setCursor(Qt::ArrowCursor);
  update();
}

void MarkFrameView::mouseMoveEvent(QMouseEvent* event) { hoverAt(event->position()); }

void MarkFrameView::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) clickAt(event->position());
}

void MarkFrameView::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  if (frame_.isNull()) p.fillRect(rect(), Qt::black);
  else p.drawImage(0, 0, frame_);
  QFont f = p.font();
  f.setBold(true);
  p.setFont(f);
  for (int i = 0; i < candidates_.size(); ++i) {
    const QPointF c = candidates_[i];
    QColor colour(230, 40, 40);          // a candidate
    if (i == hovered_) colour = QColor(255, 200, 0);   // under the cursor
    if (i == chosen_) colour = QColor(40, 220, 60);    // the choice
    p.setPen(QPen(colour, i == chosen_ || i == hovered_ ? 3 : 2));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(c, pickRadius_, pickRadius_);
    p.drawLine(c - QPointF(8, 0), c + QPointF(8, 0));
    p.drawLine(c - QPointF(0, 8), c + QPointF(0, 8));
    // The number on a light tag, readable on dark and light print alike.
    const QString number = QString::number(i + 1);
    const QRectF tag(c + QPointF(pickRadius_ * 0.72, -pickRadius_ * 0.72 - p.fontMetrics().height()),
                     QSizeF(p.fontMetrics().horizontalAdvance(number) + 8, p.fontMetrics().height()));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 255, 255, 220));
    p.drawRoundedRect(tag, 3, 3);
    p.setPen(colour.darker(140));
    p.drawText(tag, Qt::AlignCenter, number);
  }
}

MarksChoose::MarksChoose(const QImage& frame, const QVector<QPointF>& candidates, int pickRadius, QWidget* parent)
    : QDialog(parent) {
  view_ = new MarkFrameView(frame, candidates, pickRadius, this);
  ok_ = new QPushButton(this);
  ok_->setObjectName(QStringLiteral("ok"));
  ok_->setAutoDefault(false);
  connect(ok_, &QPushButton::clicked, this, &MarksChoose::onOk);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(view_, 0, Qt::AlignCenter);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
  retranslate();
}

void MarksChoose::retranslate() {
  setWindowTitle(tr("Please select one Mark point among these"));
  ok_->setText(tr("OK"));
}

void MarksChoose::onOk() {
  if (view_->chosen() < 0) {
    information(this, tr("Tip"), tr("Please select one Mark point"));
    return;
  }
  accept();
}

void MarksChoose::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  QDialog::changeEvent(event);
}

#if QEL_UI_HAS_CAMERA

QImage imageOfFrame(const cv::Mat& frame) {
  if (frame.empty() || frame.depth() != CV_8U) return {};
  if (frame.channels() == 1)
    return QImage(frame.data, frame.cols, frame.rows, static_cast<qsizetype>(frame.step), QImage::Format_Grayscale8).copy();
  if (frame.channels() == 3)
    return QImage(frame.data, frame.cols, frame.rows, static_cast<qsizetype>(frame.step), QImage::Format_BGR888).copy();
  return {};
}

std::optional<cv::Point2d> MarksChooser::choose(const cv::Mat& colourFrame, const std::vector<cv::Point2d>& candidates,
                                                int pickRadius) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app || candidates.empty()) return std::nullopt;
  const QImage image = imageOfFrame(colourFrame);
  QVector<QPointF> points;
  for (const auto& c : candidates) points << QPointF(c.x, c.y);
  auto ask = [&]() -> int {
    MarksChoose dialog(image, points, pickRadius, parent_.data());
    return dialog.exec() == QDialog::Accepted ? dialog.chosenIndex() : -1;
  };
  int chosen = -1;
  if (QThread::currentThread() == app->thread()) chosen = ask();
  else QMetaObject::invokeMethod(app, ask, Qt::BlockingQueuedConnection, &chosen);
  if (chosen < 0 || chosen >= static_cast<int>(candidates.size())) return std::nullopt;
  return candidates[chosen];
}

#endif

}  // namespace qel::ui
