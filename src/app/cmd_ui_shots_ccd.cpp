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

#ifdef QEL_SHOTS_SIM_TABLE
#include <cstdio>

#include "camera/sim_sheet.h"
#include "coordinator_services.h"
#include "links/mc_command.h"
#include "platform/clock.h"
#endif

namespace {

#ifndef QEL_SHOTS_SIM_TABLE
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
#endif

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

#ifdef QEL_SHOTS_SIM_TABLE
// The live bench a demo runs: the label sheet printed on the simulated table, an in-process
// simulated coordinator whose head the window's command client moves, and the table's camera
// rendering every frame where that head stands.
struct LiveTable {
  std::unique_ptr<qel::sim::CoordinatorServices> coordinator;
  qel::platform::FakeClock clock;
  std::unique_ptr<qel::sim::SimTable> table;
  std::string error;

  LiveTable(const QString& home, const QString& plot) {
    qel::sim::SimSheetOptions o;
    o.plotPath = plot.toStdString();
    o.printScale = 1.003;
    o.printRotateDeg = 0.7;
    const auto sheet = qel::sim::loadSimSheet(home.toStdString(), o, &error);
    if (!sheet) return;
    qel::sim::CoordinatorServiceOptions c;
    c.mpePort = 0;  // every port picked free: a running demo keeps its own
    c.controlPort = -1;
    c.commandPort = 0;
    coordinator = qel::sim::startCoordinatorServices("127.0.0.1", c, &error);
    if (!coordinator) return;
    table = std::make_unique<qel::sim::SimTable>(clock, sheet->sheet, sheet->camera);
  }
  std::unique_ptr<qel::camera::FrameSource> camera() {
    auto* services = coordinator.get();
    auto* t = table.get();
    return std::make_unique<qel::sim::SimFrameSource>(
        [services, t] {
          const cv::Point2d head(services->model().position(0), services->model().position(1));
          return t->renderAt(t->trueOf(head));
        },
        40);
  }
  // Moves the head over table point `at` over the command line, as a jog would, and waits
  // until it stands.
  bool headOver(const cv::Point2d& at) {
    qel::links::CMC_Command command;
    command.setAddress("127.0.0.1");
    command.setPort(coordinator->commandPort());
    if (!command.movePos(2, 3000, 30000, at.x, at.y)) return false;
    QElapsedTimer t;
    t.start();
    while (coordinator->model().moving() && t.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 20);
    return !coordinator->model().moving();
  }
};
#endif

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
#ifdef QEL_SHOTS_SIM_TABLE
  LiveTable live(ctx.home(), file);
  if (!live.table) {
    std::fprintf(stderr, "screenshots: no simulated table for the CCD pictures: %s\n", live.error.c_str());
    return;
  }
  // The camera a little beside the first mark (10, 10 mm on the sheet), as after a jog.
  if (!live.headOver(live.table->sheet().tablePosition({10.0, 10.0}) + cv::Point2d(1.2, -0.8))) {
    std::fprintf(stderr, "screenshots: the simulated head did not reach the first mark\n");
    return;
  }
  s.commandPort = live.coordinator->commandPort();
  s.frameSource = [&live] { return live.camera(); };
#else
  s.frameSource = [] { return std::make_unique<SheetCamera>(); };
#endif
  qel::ui::cameraTransfer w(ctx.home(), file, std::move(s));
  w.show();
  QElapsedTimer t;
  t.start();
  while ((w.loading() || w.video()->framesShown() < 3) && t.elapsed() < 10000)
    QApplication::processEvents(QEventLoop::AllEvents, 20);
  ctx.save(&w, QStringLiteral("ccd"), QStringLiteral("loaded"));
  w.button(qel::ccd::CcdControl::SelectAll)->click();
  ctx.save(&w, QStringLiteral("pattern"), QStringLiteral("selected"));
  w.workflow().stop();
}

const qel::app::ShotRegistration kCcd("ccd", shootCcd);

}  // namespace
#endif
