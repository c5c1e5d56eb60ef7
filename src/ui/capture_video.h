#pragma once
// captureVideo: the camera picture of the CCD cut window. It feeds the frame source's frames to
// the frame handler (measurement, save-next-frame) and paints the display image the handler's
// helper makes; a double click opens or closes the camera. The grab thread hands each display
// image to the interface thread through a post channel, newest first: a picture that arrives
// while an older one still waits replaces it.
#include <QImage>
#include <QWidget>

#include <functional>
#include <memory>

#include "camera/frame_handler.h"
#include "camera/frame_source.h"
#include "ui/post_channel.h"

namespace qel::ui {

class captureVideo : public QWidget {
  Q_OBJECT
 public:
  // The handler and measurement outlive the widget; the source is owned.
  captureVideo(std::unique_ptr<camera::FrameSource> source, camera::FrameHandler& handler,
               camera::MarkMeasurement& measurement, QWidget* parent = nullptr);
  ~captureVideo() override;

  bool open();
  void close();
  bool grabbing() const;
  bool hasSource() const { return source_ != nullptr; }
  // Frames painted so far (tests wait on it).
  quint64 framesShown() const { return shown_; }
  const QImage& picture() const { return picture_; }
  QSize sizeHint() const override;

 signals:
  // Grabbing began or ended; `failed` with the end that a failure caused.
  void cameraStateChanged(bool grabbing, bool failed);

 protected:
  void paintEvent(QPaintEvent*) override;
  void mouseDoubleClickEvent(QMouseEvent*) override;

 private:
  void showPicture(const QImage& image);
  void pollState();

  std::unique_ptr<camera::FrameSource> source_;
  std::unique_ptr<camera::HeadlessCamera> feed_;
  std::shared_ptr<PostChannel> channel_;
  QImage picture_;
  quint64 shown_ = 0;
  bool lastGrabbing_ = false;
};

}  // namespace qel::ui
