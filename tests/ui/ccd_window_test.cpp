// The CCD cut window over a plot with registration marks: loading, selection in the pattern
// view, the controls of each operation state, the plate buttons, the camera picture and Exit.
#include <QApplication>
#include <QComboBox>
#include <QWheelEvent>
#include <QPushButton>
#include <QTest>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <thread>
#include <string>

#ifdef QEL_HAVE_CCD
#include <opencv2/imgproc.hpp>

#include "ccd/ccd_state.h"
#ifdef QEL_HAVE_CCD_RIG
#include "ccd/ccd_rig.h"
#endif
#include "config/ini_config.h"
#include "links/fake_owner.h"
#include "support/temp_home.h"
#include "ui/camera_transfer.h"
#include "ui/capture_video.h"
#include "ui/message_service.h"
#include "ui/my_view.h"

using namespace qel;
using ccd::CcdControl;
using ccd::CcdState;

namespace {

// A camera that shows a white sheet with one black mark, a frame every 20 ms.
class StillCamera final : public camera::ThreadedFrameSource {
 public:
  ~StillCamera() override { joinThread(); }

 protected:
  GrabEnd grab(camera::FrameConsumer& consumer) override {
    cv::Mat frame(480, 640, CV_8UC1, cv::Scalar(235));
    cv::circle(frame, {330, 235}, 40, cv::Scalar(20), cv::FILLED);
    consumer.onCameraState(camera::CameraState::Grabbing);
    while (!stopRequested()) {
      consumer.onFrame(frame);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return {};
  }
};

// Four circle marks at the corners of a 180 x 130 mm box, and a shape of pen 1 inside.
std::string markedPlot(double dx = 0) {
  auto u = [](double mm) { return std::to_string(std::lround(mm * 40.0)); };
  std::string out = "IN;";
  for (auto [x, y] : {std::pair{10.0, 10.0}, {190.0, 10.0}, {190.0, 140.0}, {10.0, 140.0}})
    out += "SP8;PU" + u(x + dx) + "," + u(y) + ";CI160;PU;";
  out += "SP1;PU" + u(40 + dx) + "," + u(40) + ";PD" + u(160 + dx) + "," + u(40) + ";PD" + u(160 + dx) + "," + u(110) +
         ";PD" + u(40 + dx) + "," + u(110) + ";PD" + u(40 + dx) + "," + u(40) + ";PU;SP0;";
  return out;
}

}  // namespace

class CcdWindowTest : public QObject {
  Q_OBJECT

  std::unique_ptr<test::TempHome> home_;
  std::unique_ptr<test::FakeTransferOwner> owner_;

  std::unique_ptr<ui::cameraTransfer> open(const QStringList& files = {}, bool camera = true) {
    ui::cameraTransfer::Services s;
    s.linkOwner = owner_.get(), s.files = files, s.openCamera = camera;
    s.frameSource = [] { return std::make_unique<StillCamera>(); };
    const QString first = files.isEmpty() ? QString::fromStdString(home_->file("job.plt")) : files.value(0);
    auto w = std::make_unique<ui::cameraTransfer>(QString::fromStdString(home_->path()), first, std::move(s));
    w->show();
    return w;
  }
  static bool waitLoaded(ui::cameraTransfer& w) {
    return QTest::qWaitFor([&] { return !w.loading(); }, 10000);
  }
#ifdef QEL_HAVE_CCD_RIG
  // The window over the bench's home and job.plt, its camera the bench's table; null unless it
  // loaded the file and grabs.
  static std::unique_ptr<ui::cameraTransfer> openOnBench(test::CcdBench& b) {
    ui::cameraTransfer::Services s;
    s.linkOwner = &b.owner, s.clock = &b.fakeClock, s.commandPort = b.coordinator->commandPort();
    s.frameSource = [&b] { return std::make_unique<sim::SimFrameSource>([&b] { return b.renderHere(); }, 10); };
    auto w = std::make_unique<ui::cameraTransfer>(QString::fromStdString(b.home.path()),
                                                  QString::fromStdString(b.home.file("job.plt")), std::move(s));
    w->show();
    if (!waitLoaded(*w) || !QTest::qWaitFor([&] { return w->paneText(2) == QStringLiteral("Camera: Open,Grabing"); }, 5000))
      return nullptr;
    return w;
  }
#endif

 private slots:
  void init() {
    home_ = std::make_unique<test::TempHome>();
    config::CIniConfig cfg(home_->path());
    cfg.write(config::keys::Xitong_IP, "127.0.0.9");  // nothing listens: the head commands fail at once
    home_->writeFile("job.plt", markedPlot());
    home_->writeFile("job2.plt", markedPlot(5));
    owner_ = std::make_unique<test::FakeTransferOwner>(home_->path());
  }
  void cleanup() {
    owner_.reset();
    home_.reset();
  }

  // Opens over the first of two plates with its camera; the plate buttons step through the list.
  void opensOverAPlotWithMarksAndStepsThroughThePlates() {
    ui::RecordingMessages boxes;
    const QStringList files{QString::fromStdString(home_->file("job.plt")), QString::fromStdString(home_->file("job2.plt"))};
    auto w = open(files);
    QVERIFY(waitLoaded(*w));
    QCOMPARE(w->pattern().markCount(), std::size_t(4));
    QCOMPARE(w->paneText(0), QStringLiteral("Operate: Ready"));
    QCOMPARE(w->paneText(1), QStringLiteral("File: Load finished"));
    QCOMPARE(w->windowTitle(), files[0]);
    for (int k = 0; k < int(CcdControl::Count); ++k) {  // every control as the state table says
      QWidget* b = CcdControl(k) == CcdControl::CalibrationSet ? static_cast<QWidget*>(w->calibrationSetBox()) : w->button(CcdControl(k));
      QVERIFY2(b && b->isEnabled() == ccd::enabled(ccd::initialControls(), CcdControl(k)), qPrintable(QString::number(k)));
    }
    // The camera picture: frames painted, the pane says the camera grabs.
    QTRY_VERIFY_WITH_TIMEOUT(w->video()->framesShown() > 2, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(w->paneText(2), QStringLiteral("Camera: Open,Grabing"), 5000);
    QCOMPARE(w->video()->picture().size(), QSize(268, 201));
    // A double click closes the camera, another opens it again.
    QTest::mouseDClick(w->video(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w->paneText(2), QStringLiteral("Camera: Close"), 5000);
    QTest::mouseDClick(w->video(), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(w->paneText(2), QStringLiteral("Camera: Open,Grabing"), 5000);

    w->button(CcdControl::PrevPlate)->click();
    QCOMPARE(boxes.texts.last(), QStringLiteral("This file is the first one!"));
    w->button(CcdControl::NextPlate)->click();
    QVERIFY(waitLoaded(*w));
    QTRY_COMPARE_WITH_TIMEOUT(w->windowTitle(), files[1], 5000);
    w->button(CcdControl::NextPlate)->click();
    QCOMPARE(boxes.texts.last(), QStringLiteral("This file is the last one!"));
    // A file that is gone: the pane says so and the pattern shown stays.
    std::filesystem::remove(home_->file("job2.plt"));
    w->loadFile(files[1]);
    QVERIFY(waitLoaded(*w));
    QCOMPARE(w->paneText(1), QStringLiteral("File: Not exist"));
    QCOMPARE(w->pattern().markCount(), std::size_t(4));
  }

  // Start refuses without a selection; the pattern view's mouse rules reach the window (the rules
  // themselves are tested below the widget): hover, press, drag, the wheel and the reverse side.
  void patternViewUnderTheMouse() {
    ui::RecordingMessages boxes;
    auto w = open({}, false);
    QVERIFY(waitLoaded(*w));
    ui::CMyView* view = w->view();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    const QPoint inside = view->transform().toPixel(100 * 40, 75 * 40).toPoint();
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(3, 3));
    QVERIFY(!w->pattern().selected());  // a click beside the pattern selects nothing
    QTest::mouseMove(view, inside);
    QCOMPARE(view->cursor().shape(), Qt::PointingHandCursor);

    const ui::ViewTransform before = view->transform();
    QTest::mousePress(view, Qt::LeftButton, {}, inside);
    QVERIFY(w->pattern().selected());
    QCOMPARE(w->paneText(1), QStringLiteral("File: Pattern selected"));
    const QPoint to = inside + QPoint(30, 20);
    QMouseEvent drag(QEvent::MouseMove, to, view->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(view, &drag);
    QTest::mouseRelease(view, Qt::LeftButton, {}, to);
    QCOMPARE(w->paneText(1), QStringLiteral("File: Move finished"));
    QVERIFY(view->transform().originX == before.originX + 30 && view->transform().originY == before.originY + 20);

    w->wheelZoomButton()->click();
    const double scale = view->transform().scale;
    QWheelEvent wheel(inside, view->mapToGlobal(inside), {}, {0, 120}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view, &wheel);
    QVERIFY(qFuzzyCompare(view->transform().scale, scale * 1.2));

    w->button(CcdControl::Reverse)->click();
    QVERIFY(w->pattern().reverse() && view->reverse() && view->transform().mirrored);
    QCOMPARE(w->button(CcdControl::Reverse)->text(), QStringLiteral("Front"));
    QTest::mouseClick(view, Qt::RightButton, {}, view->transform().toPixel(100 * 40, 75 * 40).toPoint());
    QVERIFY(!w->pattern().selected());
    w->button(CcdControl::Start)->click();
    QTRY_VERIFY_WITH_TIMEOUT(!boxes.texts.isEmpty(), 5000);
    QCOMPARE(boxes.texts.last(), QStringLiteral("Please make sure the selected pattern has more than 2 mark points!"));
    QCOMPARE(w->state(), CcdState::Ready);
    w->button(CcdControl::SelectAll)->click();
    QVERIFY(w->pattern().selectAll());
  }



  // Exit (and Escape) ask first; leaving writes the cut type back and stops the camera. Every
  // control fits a 1366 x 768 screen (less a panel and the title bar), and the window opens again
  // where it was closed.
  void exitAsksAndKeepsTheSettingsAndThePlace() {
    ui::RecordingMessages boxes;
    auto w = open();
    QVERIFY(waitLoaded(*w));
    const QSize least = w->minimumSizeHint();
    QVERIFY(least.width() <= 1366 && least.height() + 32 <= 768 - 40);
    w->move(60, 30);
    w->resize(1100, 640);
    const QRect kept = w->frameGeometry();
    w->cutTypeBox()->setCurrentIndex(3);
    boxes.answer = false;
    w->button(CcdControl::Exit)->click();
    QCOMPARE(boxes.texts.last(), QStringLiteral("Are you sure to exit the CCD CUT mode?"));
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QCOMPARE(boxes.texts.size(), 2);
    QVERIFY(w->isVisible());
    boxes.answer = true;
    w->button(CcdControl::Exit)->click();
    QVERIFY(!w->isVisible());
    QCOMPARE(w->result(), int(QDialog::Accepted));
    QCOMPARE(config::CIniConfig(home_->path()).read(config::keys::cutType), 3);
    QVERIFY(!w->video()->grabbing());
    w.reset();  // a second shut-down is harmless
    auto again = open();
    QVERIFY(waitLoaded(*again));
    QCOMPARE(again->frameGeometry(), kept);
  }

#ifdef QEL_HAVE_CCD_RIG
  // A sheet printed a little large and turned: Sel All, Start, and the corrected pattern lands on
  // the simulated coordinator within 0.05 mm of the print, the window following the run. (How
  // well the camera copes with a poor picture is the camera's and the run's test.)
  void markingRunThroughTheWindow() {
    ui::RecordingMessages boxes;
    const std::vector<cv::Point2d> marks{{20, 20}, {320, 20}, {320, 220}, {20, 220}};
    const std::vector<std::vector<cv::Point2d>> shapes{{{60, 60}, {280, 60}, {280, 180}, {60, 180}, {60, 60}}};
    sim::SheetSpec sheet;
    sheet.shape = sim::MarkShape::Disc;
    sheet.marks = marks;
    sheet.printScaleX = sheet.printScaleY = 1.003;
    sheet.printRotationDeg = 0.7;
    sheet.origin = {30, 25};
    sim::CameraSpec cam;
    cam.toolOffset = {6.5, -4.25};
    test::CcdBench b("127.0.0.171", sheet, cam);
    QVERIFY2(b.ready(), b.error.c_str());
    b.cameraFeed->close();  // the window opens the camera itself
    b.home.writeFile("job.plt", test::printAndCutPlot(marks, false, shapes));
    b.headOver(b.table->sheet().tablePosition(marks[0]) + cv::Point2d(3.0, -2.0));

    auto window = openOnBench(b);
    QVERIFY(window);
    ui::cameraTransfer& w = *window;
    // A jog button holds its output while pressed.
    QTest::mousePress(w.jogButton(41), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.coordinator->model().output(41), 1, 5000);
    QTest::mouseRelease(w.jogButton(41), Qt::LeftButton);
    QTRY_COMPARE_WITH_TIMEOUT(b.coordinator->model().output(41), 0, 5000);
    w.button(CcdControl::SelectAll)->click();
    // Three jobs one after another, each starting at the first mark.
    const std::vector<cv::Point2d> design = test::designOf(marks, shapes);
    for (std::size_t job = 0; job < 3; ++job) {
      QTRY_VERIFY_WITH_TIMEOUT(w.button(CcdControl::Start)->isEnabled(), 5000);
      w.button(CcdControl::Start)->click();
      QTRY_VERIFY_WITH_TIMEOUT(!w.workflow().busy() && w.workflow().lastRunEnd() != ccd::RunEnd::None, 60000);
      QCOMPARE(w.workflow().lastRunEnd(), ccd::RunEnd::Completed);
      QTRY_COMPARE_WITH_TIMEOUT(w.state(), CcdState::MarkFinished, 5000);
      QCOMPARE(w.paneText(0), QStringLiteral("Operate: Mark finished"));
      QTRY_COMPARE_WITH_TIMEOUT(w.paneText(1), QStringLiteral("File: Send selected pattern finished"), 5000);
      QCOMPARE(b.coordinator->sim().downloads().size(), job + 1);
      QVERIFY(b.worstLanding(job, design) < 0.05);
    }
    QVERIFY(boxes.texts.isEmpty());
  }

#endif
};

QTEST_MAIN(CcdWindowTest)
#include "ccd_window_test.moc"
#else
int main() { return 0; }
#endif
