#pragma once
// The mark-choice dialog (MarksChoose): when a camera frame shows several mark candidates, the
// frame is shown with the candidates drawn on it; the operator points at one (the hand cursor
// appears within the pick radius) and clicks it, then confirms with "OK". MarksChooser plugs
// the dialog into the camera measurement as its chooser.
#include <QDialog>
#include <QImage>
#include <QPointF>
#include <QPointer>
#include <QVector>
#include <QWidget>

#if QEL_UI_HAS_CAMERA
#include "camera/measurement.h"
#endif

class QPushButton;

namespace qel::ui {

// The candidate under the cursor: the first one, other than `chosen`, whose distance from the
// cursor (pixels) is strictly below the pick radius; -1 when there is none.
int hoveredCandidate(const QVector<QPointF>& candidates, QPointF cursor, int chosen, double pickRadius);

// The frame at its own size (one widget pixel per frame pixel) with the candidates drawn.
class MarkFrameView : public QWidget {
 public:
  MarkFrameView(QImage frame, QVector<QPointF> candidates, double pickRadius, QWidget* parent = nullptr);

  int hovered() const { return hovered_; }
  int chosen() const { return chosen_; }
  int candidateCount() const { return static_cast<int>(candidates_.size()); }
  // The same as a mouse move to / a left click at `pos` (frame pixels).
  void hoverAt(QPointF pos);
  void clickAt(QPointF pos);

  QSize sizeHint() const override { return frame_.size(); }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;

 private:
  QImage frame_;
  QVector<QPointF> candidates_;
  double pickRadius_;
  int hovered_ = -1;
  int chosen_ = -1;
};

class MarksChoose : public QDialog {
  Q_OBJECT
 public:
  // frame: the camera frame (colour or grey); candidates in frame pixels.
  MarksChoose(const QImage& frame, const QVector<QPointF>& candidates, int pickRadius, QWidget* parent = nullptr);

  // -1 while nothing is chosen.
  int chosenIndex() const { return view_->chosen(); }
  MarkFrameView* view() const { return view_; }

 protected:
  void changeEvent(QEvent* event) override;

 private:
  void retranslate();
  void onOk();

  MarkFrameView* view_;
  QPushButton* ok_;
};

#if QEL_UI_HAS_CAMERA
// The camera measurement's chooser: shows MarksChoose modally on the interface thread (a frame
// thread asking waits for the answer) and answers the chosen candidate, or nothing when the
// operator closed the dialog. Any thread may call choose(), as long as the interface thread is
// not itself waiting for that thread (the measurement's requester never runs there).
class MarksChooser final : public camera::MarkChooser {
 public:
  explicit MarksChooser(QWidget* parent = nullptr) : parent_(parent) {}  // not owned
  std::optional<cv::Point2d> choose(const cv::Mat& colourFrame, const std::vector<cv::Point2d>& candidates,
                                    int pickRadius) override;

 private:
  QPointer<QWidget> parent_;
};

// The frame as a picture: 8-bit grey or 3-channel BGR; a null image for anything else.
QImage imageOfFrame(const cv::Mat& frame);
#endif

}  // namespace qel::ui
