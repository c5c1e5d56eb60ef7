// Pictures of the CCD cut window for `qelcut screenshots`: a loaded print-and-cut pattern with
// its marks beside the camera picture, and the pattern selected.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPushButton>

#include <chrono>
#include <cmath>
#include <thread>

#include "app/screenshots.h"

#ifdef QEL_HAVE_CCD
#include <opencv2/imgproc.hpp>

#include "camera/frame_source.h"
#include "config/ini_config.h"
#include "links/transfer_owner.h"
#include "ui/camera_transfer.h"
#include "ui/capture_video.h"
#include "ui/my_view.h"

namespace {

// The camera over a printed sheet: paper with a little grain, a circle mark a few pixels off
// the crosshair and the edge of the printed artwork.
class SheetCamera final : public qel::camera::ThreadedFrameSource {
 public:
  ~SheetCamera() override { joinThread(); }

 protected:
  GrabEnd grab(qel::camera::FrameConsumer& consumer) override {
    cv::Mat frame(480, 640, CV_8UC1, cv::Scalar(228));
    cv::randn(frame, 228, 4);
    cv::rectangle(frame, {470, -10}, {700, 130}, cv::Scalar(120), cv::FILLED);
    cv::circle(frame, {338, 228}, 52, cv::Scalar(25), cv::FILLED);
    consumer.onCameraState(qel::camera::CameraState::Grabbing);
    while (!stopRequested()) {
      consumer.onFrame(frame);
      std::this_thread::sleep_for(std::chrono::milliseconds(40));
    }
    return {};
  }
};

// A label sheet: four circle marks round two rows of rounded labels and a star (mm * 40).
QByteArray labelSheet() {
  auto u = [](double mm) { return QByteArray::number(qlonglong(std::lround(mm * 40.0))); };
  QByteArray p = "IN;";
  for (auto [x, y] : {std::pair{10.0, 10.0}, {290.0, 10.0}, {290.0, 200.0}, {10.0, 200.0}})
    p += "SP8;PU" + u(x) + "," + u(y) + ";CI160;PU;";
  for (int row = 0; row < 2; ++row)
    for (int col = 0; col < 3; ++col) {
      const double x0 = 30 + col * 85, y0 = 30 + row * 85;
      p += "SP1;PU" + u(x0 + 8) + "," + u(y0) + ";";
      const double pts[][2] = {{72, 0}, {80, 8}, {80, 62}, {72, 70}, {8, 70}, {0, 62}, {0, 8}, {8, 0}};
      for (const auto& q : pts) p += "PD" + u(x0 + q[0]) + "," + u(y0 + q[1]) + ";";
      p += "PU;";
    }
  p += "SP2;PU" + u(150) + "," + u(195) + ";";
  for (int k = 1; k <= 10; ++k) {
    const double a = M_PI / 2 + k * M_PI / 5, r = k % 2 ? 6.0 : 14.0;
    p += "PD" + u(150 + r * std::cos(a)) + "," + u(181 + r * std::sin(a)) + ";";
  }
  p += "PU;SP0;";
  return p;
}

void shootCcd(qel::app::ShotContext& ctx) {
  const QString file = ctx.home() + QStringLiteral("/label-sheet.plt");
  {
    QFile f(file);
    if (f.open(QIODevice::WriteOnly)) f.write(labelSheet());
    qel::config::CIniConfig cfg(ctx.home().toStdString());
    cfg.write(qel::config::keys::Xitong_IP, "127.0.0.1");
  }
  qel::links::QuietOwner owner(ctx.home().toStdString());
  qel::ui::cameraTransfer::Services s;
  s.linkOwner = &owner;
  s.frameSource = [] { return std::make_unique<SheetCamera>(); };
  qel::ui::cameraTransfer w(ctx.home(), file, std::move(s));
  w.show();
  QElapsedTimer t;
  t.start();
  while ((w.loading() || w.video()->framesShown() < 3) && t.elapsed() < 10000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  ctx.save(&w, QStringLiteral("ccd"), QStringLiteral("loaded"));
  w.button(qel::camera::CcdControl::SelectAll)->click();
  ctx.save(&w, QStringLiteral("pattern"), QStringLiteral("selected"));
  w.workflow().stop();
}

const qel::app::ShotRegistration kCcd("ccd", shootCcd);

}  // namespace
#endif
