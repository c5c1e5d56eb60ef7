// The mark-choice dialog: the pick radius (strictly below), the hand cursor, click to choose,
// "OK" refusing without a choice, and the chooser answering through the dialog.
#include <QtTest>

#include <QPushButton>

#include <atomic>
#include <functional>
#include <thread>

#if QEL_UI_HAS_CAMERA
#include <opencv2/imgproc.hpp>
#endif

#include "ui/marks_choose.h"
#include "ui/message_service.h"

using qel::ui::MarksChoose;

namespace {
const QVector<QPointF> kMarks{{100, 100}, {300, 200}, {320, 215}};

QImage greyFrame() {
  QImage f(640, 480, QImage::Format_RGB888);
  f.fill(Qt::gray);
  return f;
}
// Runs `act` on the first mark-choice dialog that opens modally.
void whenDialogOpens(std::function<void(MarksChoose*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(10);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    auto* dlg = qobject_cast<MarksChoose*>(QApplication::activeModalWidget());
    if (!dlg) return;
    timer->stop();
    timer->deleteLater();
    act(dlg);
  });
  timer->start();
}

}  // namespace

class MarksChooseTest : public QObject {
  Q_OBJECT
 private slots:
  void pickRadiusIsStrict() {
    const QVector<QPointF> one{{100, 100}};
    QCOMPARE(qel::ui::hoveredCandidate(one, {130, 100}, -1, 30), -1);    // exactly 30 px
    QCOMPARE(qel::ui::hoveredCandidate(one, {129.9, 100}, -1, 30), 0);   // 29.9 px
    QCOMPARE(qel::ui::hoveredCandidate(one, {118, 124}, -1, 30), -1);    // 30 px on a slant
    QCOMPARE(qel::ui::hoveredCandidate(one, {100, 100}, 0, 30), -1);     // the chosen one is skipped
    // Two within reach: the first in the list wins, and once chosen the other is offered.
    QCOMPARE(qel::ui::hoveredCandidate(kMarks, {310, 207}, -1, 30), 1);
    QCOMPARE(qel::ui::hoveredCandidate(kMarks, {310, 207}, 1, 30), 2);
  }

  // "OK" refuses without a choice; a mark within reach shows the hand and a left click chooses it
  // (the right button does not).
  void okRefusesWithoutAChoiceAndAClickChooses() {
    qel::ui::RecordingMessages messages;
    MarksChoose dlg(greyFrame(), kMarks, 30);
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QWidget* view = dlg.view();
    QCOMPARE(view->size(), QSize(640, 480));
    auto* ok = dlg.findChild<QPushButton*>(QStringLiteral("ok"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(dlg.isVisible());
    QCOMPARE(messages.texts, QStringList{QStringLiteral("Please select one Mark point")});
    QTest::mouseMove(view, QPoint(121, 121));  // 29.7 px from the first mark
    QTRY_COMPARE(dlg.view()->hovered(), 0);
    QCOMPARE(view->cursor().shape(), Qt::PointingHandCursor);
    QTest::mouseClick(view, Qt::LeftButton, {}, QPoint(121, 121));
    QTest::mouseClick(view, Qt::RightButton, {}, QPoint(300, 200));
    QCOMPARE(dlg.chosenIndex(), 0);
    dlg.view()->clickAt({335, 230});  // within reach of the third mark only
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(dlg.result(), int(QDialog::Accepted));
    QCOMPARE(dlg.chosenIndex(), 2);
  }

#if QEL_UI_HAS_CAMERA
  void chooserAnswersAFrameThreadThroughTheDialog() {
    qel::ui::MarksChooser chooser;
    cv::Mat frame(480, 640, CV_8UC3, cv::Scalar(90, 90, 90));
    const std::vector<cv::Point2d> candidates{{100, 100}, {300, 200}};
    // The dialog runs its own loop on this thread; a timer in that loop plays the operator.
    whenDialogOpens([&](MarksChoose* dlg) {
      QTest::mouseClick(dlg->view(), Qt::LeftButton, {}, QPoint(310, 190));
      QTest::mouseClick(dlg->findChild<QPushButton*>(QStringLiteral("ok")), Qt::LeftButton);
    });
    // Asked from a frame thread while this thread runs the dialog.
    std::atomic<bool> done{false};
    std::optional<cv::Point2d> answer;
    std::thread frameThread([&] {
      answer = chooser.choose(frame, candidates, 30);
      done = true;
    });
    QTRY_VERIFY(done.load());
    frameThread.join();
    QVERIFY(answer == cv::Point2d(300, 200));
    // Asked on this thread, the dialog opens directly; closed without a choice there is no answer
    // and the detector keeps its default point. (How the measurement asks is the camera's test.)
    whenDialogOpens([](MarksChoose* dlg) { dlg->reject(); });
    QVERIFY(!chooser.choose(frame, candidates, 30).has_value());
  }

  void framesOfOtherKindsGiveNoPicture() {
    QVERIFY(qel::ui::imageOfFrame(cv::Mat(4, 4, CV_16UC1)).isNull());
    QVERIFY(qel::ui::imageOfFrame(cv::Mat()).isNull());
    cv::Mat grey(2, 3, CV_8UC1, cv::Scalar(7));
    const QImage g = qel::ui::imageOfFrame(grey);
    QCOMPARE(g.size(), QSize(3, 2));
    QCOMPARE(qGray(g.pixel(2, 1)), 7);
    cv::Mat bgr(1, 1, CV_8UC3, cv::Scalar(255, 0, 0));  // blue in BGR order
    QCOMPARE(QColor(qel::ui::imageOfFrame(bgr).pixel(0, 0)), QColor(0, 0, 255));
  }
#endif
};

QTEST_MAIN(MarksChooseTest)
#include "marks_choose_test.moc"
