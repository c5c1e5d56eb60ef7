// The camera's frame sources and the frame handling of the camera window: Aravis's own fake
// camera, the simulated table in-process and over its socket, failures that end grabbing, the
// one-second hold of a found mark, saved frames and the display image.
#include <gtest/gtest.h>

#include "support/calendar.h"

#include <chrono>
#include <filesystem>
#include <future>

#include "camera/frame_handler.h"
#include "camera/frame_service.h"
#include "camera/sim_table.h"
#include "camera/socket_frame_source.h"
#include "config/ini_config.h"
#include "support/temp_home.h"
#include "support/wait.h"
#ifdef QEL_CAMERA_ARAVIS
#include "camera/aravis_frame_source.h"
#endif

using namespace qel;
using namespace qel::camera;

namespace {

struct Rig {
  explicit Rig(FrameSource& s, const std::string& home = "/tmp")
      : handler(measurement, clock, home), camera(s, handler, measurement) {}
  platform::SystemClock& clock = platform::SystemClock::instance();
  MarkMeasurement measurement;
  FrameHandler handler;
  HeadlessCamera camera;
};

using qel::test::waitUntil;

sim::SheetSpec discAt(cv::Point2d table) {
  sim::SheetSpec s;
  s.marks = {{0, 0}}, s.origin = table;
  return s;
}

}  // namespace

#ifdef QEL_CAMERA_ARAVIS
TEST(AravisCamera, FakeCameraDeliversFramesUntilClosed) {
  AravisFrameSource source({{"Fake"}});
  Rig rig(source);
  ASSERT_TRUE(rig.camera.open());
  ASSERT_TRUE(rig.camera.waitForFrame(5000)) << rig.camera.failure();
  EXPECT_TRUE(rig.camera.grabbing());
  rig.camera.close();
  EXPECT_FALSE(rig.camera.grabbing() || rig.camera.failed());
}

TEST(AravisCamera, ACameraThatStopsDeliveringEndsGrabbingWithinASecond) {
  AravisFrameSource source({{"Fake"}});
  Rig rig(source);
  std::atomic<std::int64_t> lastFrameMs{0};
  std::atomic<int> frames{0};
  rig.camera.onHandled = [&](const cv::Mat& f, const FrameResult&) {
    EXPECT_EQ(f.size(), cv::Size(640, 480));
    lastFrameMs = platform::SystemClock::instance().nowMs();
    // From the third frame on the camera takes five seconds for a frame.
    if (++frames == 3) EXPECT_TRUE(source.setFrameRate(0.2));
  };
  ASSERT_TRUE(rig.camera.open());
  ASSERT_TRUE(waitUntil([&] { return rig.camera.failed(); }, 6000));
  const std::int64_t gap = platform::SystemClock::instance().nowMs() - lastFrameMs;

  EXPECT_GE(gap, 900);
  EXPECT_LT(gap, 2000);
  EXPECT_FALSE(rig.camera.grabbing());
  EXPECT_NE(rig.camera.failure().find("1000 ms"), std::string::npos) << rig.camera.failure();
}

TEST(AravisCamera, NoCameraClosesWithoutTheFailureMessage) {
  AravisFrameSource source({{"USB3Vision"}});  // nothing is attached here
  Rig rig(source);
  ASSERT_TRUE(rig.camera.open());
  ASSERT_TRUE(waitUntil([&] { return !source.running(); }, 5000));
  EXPECT_FALSE(rig.camera.failed() || rig.camera.grabbing());
}
#endif

TEST(SimulatedCamera, StallEndsGrabbingAndWakesAWaitingMeasurement) {
  platform::FakeClock clock;
  sim::SimTable table(clock, discAt({0, 0}), {});
  sim::SimFrameSource source([&] { return table.renderFrame(); }, 5);
  source.stallAfterFrames(4);
  source.setTimeoutMs(300);
  Rig rig(source);
  ASSERT_TRUE(rig.camera.open());
  ASSERT_TRUE(waitUntil([&] { return rig.camera.frames() >= 4; }, 5000));
  auto measured = std::async(std::launch::async, [&] { return rig.measurement.measure(1); });
  ASSERT_EQ(measured.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_EQ(measured.get(), cv::Point2d(0, 0));
  ASSERT_TRUE(waitUntil([&] { return rig.camera.failed(); }, 5000));
  EXPECT_EQ(rig.camera.frames(), 4u);
}

TEST(SimulatedCamera, SocketServiceRendersWhereTheHeadStands) {
  test::TempHome home;
  platform::FakeClock clock;
  sim::SimTable table(clock, discAt({100, 50}), {});
  std::atomic<double> headX{100.0};
  sim::SimCameraService service;
  const std::string path = home.file("cam.sock");
  ASSERT_TRUE(service.start(path, [&] { return table.renderAt({headX.load(), 50.0}); }));
  SocketFrameSource source(path, 5);
  Rig rig(source, home.path());
  ASSERT_TRUE(rig.camera.open());
  ASSERT_TRUE(rig.camera.waitForFrame(5000)) << rig.camera.failure();
  rig.measurement.setParameters(MarkType::Circle, 15, 60);
  EXPECT_NEAR(rig.measurement.measure(1).x, 320.0, 0.5);
  headX = 105.0;  // the head moves 5 mm along X: the mark moves 40 pixels to the left
  rig.camera.waitForFrame(2000);
  EXPECT_LT(cv::norm(rig.measurement.measure(1) - cv::Point2d(280, 240)), 0.5);

  // The service going away is a camera failure; no service at all is only a closed camera.
  service.stop();
  ASSERT_TRUE(waitUntil([&] { return rig.camera.failed(); }, 5000));
  SocketFrameSource none(home.file("nobody.sock"));
  Rig nobody(none, home.path());
  ASSERT_TRUE(nobody.camera.open());
  ASSERT_TRUE(waitUntil([&] { return !none.running(); }, 5000));
  EXPECT_FALSE(nobody.camera.failed());
}

TEST(SimulatedCamera, ConfiguredSourceFollowsTheHomeSettings) {
  test::TempHome home;
  config::CIniConfig cfg(home.path());
  cfg.writeText(kFrameSourceSection, kFrameSourceKey, "sim");
  std::string what;
  auto source = makeConfiguredFrameSource(home.path(), &what);
  ASSERT_NE(source, nullptr);
  EXPECT_NE(dynamic_cast<SocketFrameSource*>(source.get()), nullptr);
  EXPECT_NE(what.find(home.path()), std::string::npos) << what;
}

TEST(FrameHandling, AFoundMarkStaysOnScreenForOneSecond) {
  platform::FakeClock clock;
  sim::SimTable table(clock, discAt({0, 0}), {});
  const cv::Mat frame = table.renderFrame();
  MarkMeasurement m;
  m.setParameters(MarkType::Circle, 15, 60);
  FrameHandler handler(m, clock, "/tmp");
  EXPECT_TRUE(handler.handle(frame).draw);  // no request: drawn, nothing measured

  auto measured = std::async(std::launch::async, [&] { return m.measure(1); });
  ASSERT_TRUE(waitUntil([&] { return m.pending(); }, 2000));
  const FrameResult found = handler.handle(frame);
  EXPECT_TRUE(found.measured && found.showsFind && found.draw);
  EXPECT_NEAR(measured.get().x, 320.0, 0.5);

  clock.advance(999);
  EXPECT_FALSE(handler.handle(frame).draw);
  clock.advance(1);
  EXPECT_TRUE(handler.handle(frame).draw);
}

TEST(FrameHandling, SavesTheNextFrameOnceWithATimeStampedName) {
  test::TempHome home;
  platform::FakeClock clock;
  MarkMeasurement m;
  // The current folder cannot take a file: frames go to the home's frame folder.
  FrameHandler handler(m, clock, home.path(), home.file("no/such/folder"));
  const cv::Mat frame(480, 640, CV_8UC1, cv::Scalar(77));
  EXPECT_FALSE(handler.saveIfRequested(frame).has_value());
  handler.requestSave();
  handler.requestSave();
  const auto path = handler.saveIfRequested(frame);
  ASSERT_TRUE(path.has_value());
  EXPECT_EQ(path->rfind(home.file("Frames/"), 0), 0u) << *path;
  EXPECT_FALSE(handler.saveIfRequested(frame).has_value());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(home.file("Frames")), {}), 1);

  // A writable current folder takes them itself.
  FrameHandler here(m, clock, home.path(), home.path());
  here.requestSave();
  const auto local = here.saveIfRequested(frame);
  ASSERT_TRUE(local.has_value());
  EXPECT_EQ(std::filesystem::path(*local).parent_path(), std::filesystem::path(home.path()));
}

TEST(FrameHandling, FrameNamesFollowTheLocalTime) {
  std::tm tm = qel::test::at(2026, 3, 4, 5, 6, 7);
  EXPECT_EQ(frameFileName(std::mktime(&tm)), "2026-03-04-05-06-07.bmp");
}

TEST(FrameHandling, DisplayImageIsScaledWithARedCrosshair) {
  const cv::Mat frame(480, 640, CV_8UC1, cv::Scalar(200));
  const cv::Mat plain = makeDisplayImage(frame, std::nullopt);
  ASSERT_EQ(std::tuple(plain.cols, plain.rows, plain.type()), std::tuple(268, 201, CV_8UC3));
  EXPECT_GT(plain.at<cv::Vec3b>(100, 20)[2], 200);  // horizontal line, red
  EXPECT_LT(plain.at<cv::Vec3b>(100, 20)[0], 100);
  EXPECT_EQ(plain.at<cv::Vec3b>(20, 20), cv::Vec3b(200, 200, 200));
  EXPECT_GT(plain.at<cv::Vec3b>(20, 134)[2], 200);  // vertical line

  const cv::Mat marked = makeDisplayImage(frame, cv::Point2d(100, 400));  // -> (42, 168)
  EXPECT_GT(marked.at<cv::Vec3b>(168, 42 + 15)[2], 200);
  EXPECT_LT(marked.at<cv::Vec3b>(168, 42 + 15)[0], 100);
  EXPECT_EQ(marked.at<cv::Vec3b>(168, 42 + 25), cv::Vec3b(200, 200, 200));
}
