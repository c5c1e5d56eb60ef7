// The send queue's own rules with a translator and a machine the test controls, beat by beat.
#include <fstream>

#include "queue_fixture.h"

namespace qel::intake {
namespace {

namespace fs = std::filesystem;
using test::pumpUntil;

class SendQueueTest : public QueueTest {};

TEST_F(SendQueueTest, ScanListsPlotFilesOnlyAndSubFolderRows) {
  for (const char* f : {"job.txt", "job.hpgl", "job.HP2", "job.plt", "a/job.plt"}) home->writeFile(std::string("ListenDir/") + f, "x");
  startQueue();
  EXPECT_EQ(queue->waitingList()->texts(), (QStringList{"/job.HP2", "/job.hpgl", "/job.plt"}));
  EXPECT_EQ(panes[0], "Waiting File: 3");

  set("Watcher", "Watcher_SubDir", "1");
  startQueue();
  EXPECT_EQ(queue->waitingList()->texts(), (QStringList{"/a/job.plt", "/job.HP2", "/job.hpgl", "/job.plt"}));
  tick();  // the first row is now known to be complete
  ASSERT_EQ(translator.sources.size(), 1u);
  EXPECT_EQ(translator.sources[0], watch("a/job.plt"));
  EXPECT_TRUE(platform::fileExists(home->path() + "/PrintedDir/job_20260105_093000.plt"));
  // Another watch folder chosen in the field is scanned at once.
  home->writeFile("Other/in.plt", "IN;");
  queue->setWatchDir(QString::fromStdString(home->path() + "/Other"));
  EXPECT_EQ(queue->waitingList()->texts(), QStringList{"/in.plt"});
  tick();
  EXPECT_EQ(translator.sources.size(), 2u);
  // With the watcher on, a new file is listed before the next scan.
  set("Watcher", "Watcher_Enabled", "1");
  startQueue(false, true);
  ASSERT_TRUE(queue->isWatching());
  std::ofstream(queue->watchDir().toStdString() + "/new.plt") << "IN;";
  EXPECT_TRUE(pumpUntil([this] { return queue->waitingList()->texts().contains("/new.plt"); }));
}

TEST_F(SendQueueTest, FileTravelsFromWatchFolderToPrintedFolder) {
  startQueue();
  home->writeFile("ListenDir/job.plt", std::string(4096, 'a'));
  translator.pages = 2;
  tick();  // seen for the first time: not taken yet
  EXPECT_TRUE(translator.sources.empty());
  QStringList followed;  // the follow preview reads each sent file where it is now
  QObject::connect(queue.get(), &CSendQueue::previewSent, [&](const QString& p) {
    followed << (platform::fileExists(p.toStdString()) ? p.section('/', -2) : QStringLiteral("missing: ") + p);
  });
  tick(3);  // unchanged for a tick: translated, then a page sent at each beat
  ASSERT_EQ(translator.sources.size(), 1u);
  const QStringList pages = {"job_20260105_093000_001.PLT", "job_20260105_093000_002.PLT"};
  EXPECT_EQ(queue->historyList()->texts(), pages);
  EXPECT_EQ(queue->historyList()->status(1), "Sent");
  EXPECT_EQ(panes[kPaneSent], "Sended File: 2");
  EXPECT_EQ(filesIn("PrintedDir"), (std::vector<std::string>{"job_20260105_093000.plt", "job_20260105_093000_001.PLT",
                                                              "job_20260105_093000_002.PLT"}));
  EXPECT_EQ(filesIn("DisposeDir"), std::vector<std::string>{});
  EXPECT_EQ(followed, (QStringList{"PrintedDir/" + pages[0], "PrintedDir/" + pages[1]}));
}

TEST_F(SendQueueTest, DelayAfterSendDependsOnSize) {
  set("Transfer_Config", "Transfer_DelayTime", "5");
  startQueue();
  queuePage("big.PLT", std::string(4096, 'b'));
  queuePage("small.PLT", std::string(1024, 's'));
  tick();
  EXPECT_EQ(clock.nowMs() - sent.at(0).atMs, 10000);
  tick();
  EXPECT_EQ(clock.nowMs() - sent.at(1).atMs, 12000);
}

TEST_F(SendQueueTest, ModeFiveMovesWithStampedName) {
  config::CIniConfig(home->path()).write(config::keys::CUT_FT, 5);
  startQueue();
  queue->TogglePause();  // keep the sends out of the way
  home->writeFile("ListenDir/job.plt", "IN;");
  tick();
  EXPECT_TRUE(platform::fileExists(watch("job.plt")));  // not yet known to be complete
  tick();
  EXPECT_FALSE(platform::fileExists(watch("job.plt")));
  // A second file of the same name in the same second does not replace the first.
  home->writeFile("ListenDir/job.plt", "IN;2");
  tick(2);
  EXPECT_EQ(queue->sendQueueList()->texts(), (QStringList{"job_20260105_093000_001.PLT", "job_20260105_093000_002.PLT"}));
  EXPECT_EQ(home->readFile("DisposeDir/job_20260105_093000_001.PLT"), "IN;");
  EXPECT_TRUE(translator.sources.empty());
}

TEST_F(SendQueueTest, RejectedFileGoesToUndisposedFolderOnce) {
  startQueue();
  translator.failure = FailureKind::WiderThanPage;
  home->writeFile("ListenDir/bad.plt", "junk");
  tick(2);
  EXPECT_EQ(filesIn("UnDisposeDir"), std::vector<std::string>{"bad.plt"});
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], "the file: " + watch("bad.plt") + " 's width is out of range, it will be moved to: " + home->path() +
                          "/UnDisposeDir/bad.plt");
  tick(2);
  EXPECT_EQ(translator.sources.size(), 1u);
  EXPECT_EQ(queue->waitingList()->count(), 0);
  // A second rejected file of the same name keeps the first, and says its own reason: only a
  // width failure gives the width message.
  home->writeFile("ListenDir/bad.plt", "junk2");
  translator.failure = FailureKind::NoPlotCommand;
  tick(2);
  EXPECT_EQ(filesIn("UnDisposeDir"), (std::vector<std::string>{"bad.plt", "bad_2.plt"}));
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[1], "the file: " + watch("bad.plt") + " cannot be cut: it holds no plot command, it was moved to: " +
                          home->path() + "/UnDisposeDir/bad_2.plt");
  EXPECT_EQ(saidOf(QueueMessage::WidthOutOfRange),
            QStringList{QString::fromStdString(watch("bad.plt") + " | " + home->path() + "/UnDisposeDir/bad.plt")});
}

// A failed send as the link words it: a machine out of reach pauses the queue with the page kept
// first (going on sends it), any other failure is tried again at the next beat.
TEST_F(SendQueueTest, AFailedSendPausesOrRetriesByItsResult) {
  struct Row {
    const char* linkText;
    bool pauses;
  } rows[] = {{"QEL_Connect_Fail", true}, {"File_Send_Fail", false}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.linkText);
    startQueue();
    queuePage("a.PLT");
    linkOk = false;
    linkText = r.linkText;
    const int before = sentCount();
    tick(2);
    EXPECT_EQ(sentCount() - before, r.pauses ? 1 : 2);
    EXPECT_EQ(queue->translatePaused(), r.pauses);
    EXPECT_EQ(queue->transferPaused(), r.pauses);
    EXPECT_EQ(queue->pauseButtonText(), r.pauses ? "Continue" : "Pause");
    EXPECT_EQ(queue->sendQueueList()->texts(), QStringList{"a.PLT"});
    linkOk = true;
    if (r.pauses) {
      queue->TogglePause();
      EXPECT_FALSE(queue->stopRequested());
    }
    tick();
    EXPECT_EQ(queue->sendQueueList()->count(), 0);
  }
}

TEST_F(SendQueueTest, TheSameFailureFiveTimesInARowPausesWithItsReason) {
  startQueue();
  home->writeFile("ListenDir/job.plt", "IN;");
  queue->ToggleTransferPause();  // translated first, sent below
  tick(2);
  queue->ToggleTransferPause();
  ASSERT_EQ(queue->sendQueueList()->count(), 1);
  const QString page = queue->sendQueueList()->text(0);
  linkOk = false;
  linkText = "Timeout waiting for CRC.\nDuration=00:01:00";
  tick();  // another failure first: the count is of one and the same failure
  linkText = "File transfer failed. CRC wrong (Calculated=$1, Received=$2)\nDuration=00:00:01";
  tick(4);
  EXPECT_FALSE(queue->transferPaused());
  EXPECT_EQ(queue->sendQueueList()->status(0), "Failed: wrong CRC (4 of 5)");
  tick();
  EXPECT_TRUE(queue->translatePaused());
  EXPECT_EQ(queue->sendQueueList()->status(0), "Failed: wrong CRC (queue paused)");
  ASSERT_EQ(pauses.size(), 1u);
  EXPECT_EQ(pauses[0].first, PauseCause::RepeatedFailure);
  const QueueFailure& why = pauses[0].second;
  // The source is the printer application's job.
  EXPECT_EQ(std::make_tuple(why.kind, why.file.toStdString(), why.source.toStdString()),
            std::make_tuple(FailureKind::WrongCrc, home->path() + "/DisposeDir/" + page.toStdString(), watch("job.plt")));
  EXPECT_TRUE(why.detail.startsWith("File transfer failed. CRC wrong"));
  EXPECT_EQ(failures.size(), 6u);
  // The desktop program does not resume by itself.
  EXPECT_EQ(queue->resumeAtMs(), -1);
}

TEST_F(SendQueueTest, AStopPartWayIsSaidAndTheFileIsSentAgainFromItsStart) {
  startQueue();
  queuePage("a.PLT");
  linkOk = false;
  linkText = "File transfer cancelled by user.\nDuration=00:00:03";
  pauseDuringSend = true;
  tick();
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].kind, FailureKind::SendStopped);
  EXPECT_EQ(queue->sendQueueList()->note(0).state, RowState::Stopped);
  // Stops are the operator's doing: they never count towards a pause.
  EXPECT_TRUE(pauses.empty());
  queue->setStopRequest(false);
  pauseDuringSend = false;
  linkOk = true;
  tick();
  EXPECT_EQ(sentCount(), 2);
  EXPECT_EQ(queue->historyList()->texts(), QStringList{"a.PLT"});
}

TEST_F(SendQueueTest, AnUnattendedQueueResumesWithGrowingWaits) {
  makeQueue(true);
  std::vector<qint64> waits;
  QObject::connect(queue.get(), &CSendQueue::resumeScheduled, [&](int, qint64 ms) { waits.push_back(ms); });
  queue->start();
  queuePage("a.PLT");
  linkOk = false;
  linkText = "MC_Connect_Fail";
  tick(2);  // paused, and not tried again yet
  EXPECT_EQ(sentCount(), 1);
  while (waits.size() < 7) {
    clock.advance(queue->resumeAtMs() - clock.nowMs());
    tick();
  }
  EXPECT_EQ(waits, (std::vector<qint64>{10000, 20000, 40000, 80000, 160000, 300000, 300000}));
  EXPECT_EQ(sentCount(), 7);
  // The machine is back: the file goes, and the next outage starts from the first wait again.
  linkOk = true;
  clock.advance(queue->resumeAtMs() - clock.nowMs());
  tick();
  EXPECT_EQ(queue->historyList()->texts(), QStringList{"a.PLT"});
  queuePage("b.PLT", "b");
  linkOk = false;
  tick();
  EXPECT_EQ(waits.back(), 10000);
  // The operator's own pause and continue take over from the queue's plan.
  queue->TogglePause();
  EXPECT_EQ(queue->resumeAtMs(), -1);
}

TEST_F(SendQueueTest, PlusCopiesAFileFromOutsideTheWatchFolder) {
  startQueue();
  queue->ToggleTransferPause();
  home->writeFile("Elsewhere/own.plt", "IN;own");
  ASSERT_TRUE(queue->translateNow(QString::fromStdString(home->file("Elsewhere/own.plt"))));
  ASSERT_TRUE(pumpUntil([this] { return queue->idle(); }, 5000));
  EXPECT_EQ(home->readFile("Elsewhere/own.plt"), "IN;own");  // the operator's file stays
  EXPECT_EQ(home->readFile("PrintedDir/own_20260105_093000.plt"), "IN;own");
  EXPECT_EQ(queue->sendQueueList()->texts(), QStringList{"own_20260105_093000_001.PLT"});
  EXPECT_EQ(filesIn("ListenDir"), std::vector<std::string>{});
}

TEST_F(SendQueueTest, AFileChangedWhileItWasReadIsReadAgain) {
  startQueue();
  queue->ToggleTransferPause();
  home->writeFile("ListenDir/job.plt", "IN;part");
  int reads = 0;
  translator.duringRead = [&](const std::string& source) {
    if (++reads == 1) std::ofstream(source, std::ios::app) << ";rest";
  };
  tick(2);  // read while a writer went on: no page of it is kept
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(filesIn("DisposeDir"), std::vector<std::string>{});
  ASSERT_EQ(failures.size(), 1u);
  EXPECT_EQ(failures[0].kind, FailureKind::ChangedWhileRead);
  tick(2);
  EXPECT_EQ(reads, 2);
  EXPECT_EQ(home->readFile("DisposeDir/job_20260105_093000_001.PLT"), "IN;part;restPG1;");
}

// Also on a home whose settings cannot be read, which is logged.
TEST_F(SendQueueTest, HistoryIsRebuiltFromThePrintedFolderNewestLast) {
  home->writeFile("Config.ini", "\xFF\xFE[Transfer_Config]\r\nXitong_TT=3\r\n");
  // Name and age in seconds; "mine.plt" was renamed by the operator, and backed-up sources are
  // no sent files.
  const auto now = fs::file_time_type::clock::now();
  for (const auto& [name, ageS] : std::vector<std::pair<std::string, int>>{
           {"c_20260105_093000_001.PLT", 30}, {"a_20260105_080000_001.PLT", 50}, {"mine.plt", 10},
           {"a_20260105_080000.plt", 60}, {"a_20260105_080000_2.hpgl", 55}, {"c_20260105_093000.PLT", 40}}) {
    home->writeFile("PrintedDir/" + name, "x");
    fs::last_write_time(home->file("PrintedDir/" + name), now - std::chrono::seconds(ageS));
  }
  startQueue();
  EXPECT_EQ(queue->historyList()->texts(), (QStringList{"a_20260105_080000_001.PLT", "c_20260105_093000_001.PLT", "mine.plt"}));
  ASSERT_EQ(logs.filter("cannot be read").size(), 1) << logText();
  EXPECT_TRUE(logs.filter("cannot be read")[0].contains("UTF-16"));
}

// Pages left in the dispose folder by an earlier run go to the recycle bin in stamp order; a
// source backed up before its pages were sent (a run killed in between) goes with them.
TEST_F(SendQueueTest, LeftoversGoToRecycleBinInStampOrderWithTheirSource) {
  for (const char* f : {"b_20260105_093000_002.PLT", "a_20260105_093000_001.PLT", "z_20260104_120000_001.PLT",
                        "y_20260105_080000.PLT", "notes.txt", ".PLT"})
    home->writeFile(std::string("DisposeDir/") + f, f);
  home->writeFile("PrintedDir/a_20260105_093000.plt", "source");
  home->writeFile("PrintedDir/other_20260105_080000.plt", "cut earlier");
  startQueue();
  EXPECT_EQ(queue->recycleBinList()->texts(), (QStringList{"z_20260104_120000_001.PLT", "y_20260105_080000.PLT",
                                                           "a_20260105_093000_001.PLT", "b_20260105_093000_002.PLT",
                                                           "a_20260105_093000.plt"}));
  EXPECT_EQ(saidOf(QueueMessage::LeftoversUnsent), QStringList{"z_20260104_120000_001.PLT, y_20260105_080000.PLT, "
                                                               "a_20260105_093000_001.PLT, b_20260105_093000_002.PLT"});
  EXPECT_EQ(filesIn("DisposeDir"), (std::vector<std::string>{".PLT", "notes.txt"}));
  EXPECT_EQ(filesIn("PrintedDir"), std::vector<std::string>{"other_20260105_080000.plt"});
  EXPECT_EQ(home->readFile("CancelledDir/a_20260105_093000.plt"), "source");
}

TEST_F(SendQueueTest, ListMovesAndModifyName) {
  startQueue();
  queuePage("q.PLT", "q");
  QString why;
  EXPECT_FALSE(queue->moveRow(QueueList::SendQueue, 0, QueueList::History, &why));  // only while paused
  queue->TogglePause();
  ASSERT_TRUE(queue->moveRow(QueueList::SendQueue, 0, QueueList::History, &why)) << why.toStdString();
  EXPECT_EQ(home->readFile("PrintedDir/q.PLT"), "q");
  ASSERT_TRUE(queue->moveRow(QueueList::History, 0, QueueList::RecycleBin, &why));
  ASSERT_TRUE(queue->moveRow(QueueList::RecycleBin, 0, QueueList::History, &why));

  for (const char* bad : {"", "../q.PLT", "a/b.PLT", "..", "x..y"}) {
    EXPECT_FALSE(queue->modifyName(0, bad, &why)) << bad;
    EXPECT_EQ(why, "file name invalid!");
  }
  home->writeFile("PrintedDir/other.PLT", "o");
  EXPECT_FALSE(queue->modifyName(0, "other.PLT", &why));
  EXPECT_EQ(home->readFile("PrintedDir/other.PLT"), "o");
  ASSERT_TRUE(queue->modifyName(0, "renamed.PLT", &why));
  EXPECT_EQ(queue->historyList()->texts(), QStringList{"renamed.PLT"});
  ASSERT_TRUE(queue->moveRow(QueueList::History, 0, QueueList::SendQueue, &why));
  EXPECT_EQ(home->readFile("DisposeDir/renamed.PLT"), "q");
  // The cancelled folder is made again when it has vanished.
  fs::remove_all(home->path() + "/CancelledDir");
  ASSERT_TRUE(queue->moveRow(QueueList::SendQueue, 0, QueueList::RecycleBin, &why));
  EXPECT_EQ(home->readFile("CancelledDir/renamed.PLT"), "q");
}

TEST_F(SendQueueTest, VanishedOrBlockedFoldersAreSurvived) {
  startQueue();
  // The printed folder becomes a plain file: the backup fails and the source is not taken again.
  fs::remove_all(home->path() + "/PrintedDir");
  home->writeFile("PrintedDir", "not a folder");
  fs::remove_all(home->path() + "/DisposeDir");
  home->writeFile("ListenDir/job.plt", "IN;");
  tick(2);
  EXPECT_EQ(panes[3], "Backup File Fail");
  EXPECT_TRUE(platform::fileExists(watch("job.plt")));
  tick(2);
  EXPECT_EQ(translator.sources.size(), 1u);
  // The sent page stays in the dispose folder (made again for the run).
  EXPECT_EQ(filesIn("DisposeDir"), std::vector<std::string>{"job_20260105_093000_001.PLT"});
  EXPECT_EQ(sentCount(), 1);
  // The watch folder vanishes: scans find nothing, nothing breaks.
  fs::remove_all(home->path() + "/ListenDir");
  tick();
  EXPECT_EQ(queue->waitingList()->count(), 0);
  // A queued page that vanished stays first and is tried again at each beat.
  queue->sendQueueList()->append("gone.PLT");
  tick(2);
  EXPECT_EQ(sentCount(), 1);
  EXPECT_EQ(queue->sendQueueList()->texts(), QStringList{"gone.PLT"});
  home->writeFile("DisposeDir/gone.PLT", "back");
  tick();
  EXPECT_EQ(sentCount(), 2);
  EXPECT_EQ(queue->sendQueueList()->count(), 0);
}

TEST_F(SendQueueTest, ModeNineHandsFilesToCcdWindow) {
  config::CIniConfig(home->path()).write(config::keys::CUT_FT, 9);
  makeQueue();
  std::vector<QString> shown;
  queue->setCcdCutHandler([&](const QString& p) {
    shown.push_back(p);
    return 3;  // three patterns sent from the window
  });
  queue->start();
  home->writeFile("ListenDir/mark.plt", "IN;");
  home->writeFile("ListenDir/other.plt", "IN;2");
  tick(2);  // both moved into the dispose folder, then the first goes to the window
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], QString::fromStdString(home->path()) + "/DisposeDir/mark_20260105_093000_001.PLT");
  // The counters after the window: nothing waits in the emptied folder, the sent patterns count.
  EXPECT_EQ(sentCount(), 0);  // nothing over the queue's own link
  EXPECT_EQ(panes[kPaneWaiting], "Waiting File: 0");
  EXPECT_EQ(panes[kPaneSent], "Sended File: 3");
  EXPECT_EQ(queue->historyList()->texts(), (QStringList{"mark_20260105_093000_001.PLT", "other_20260105_093000_001.PLT"}));
}

// A Unicode source is converted before it is read; a notice of the reading is logged and said
// once, and the file is cut.
TEST_F(SendQueueTest, SourceIsConvertedAndANoticeOfTheReadingIsSaidOnce) {
  startQueue();
  translator.notices = {{TranslateNotice::Kind::ScaleWithoutScalingPoints, 2.5, 1.5}};
  home->writeFile("ListenDir/small.plt", "IN;SC0,100,0,100;LB\xE6\xA0\x87;");
  tick(3);
  EXPECT_EQ(saidOf(QueueMessage::ScaleWithoutScalingPoints), QStringList{QString::fromStdString(watch("small.plt")) + " | 2.5 x 1.5"});
  EXPECT_EQ(logs.filter("without scaling points").size(), 1) << logText();
  ASSERT_EQ(sentCount(), 1);
  EXPECT_EQ(sent[0].content, "IN;SC0,100,0,100;LB\xB1\xEA;PG1;");
}

TEST_F(SendQueueTest, UnknownLinkTypePausesTheQueueAndSaysWhy) {
  config::CIniConfig(home->path()).write(config::keys::Xitong_TT, 99);
  startQueue();
  queuePage("a.PLT");
  tick(3);
  // One attempt, then the queue waits for the user instead of retrying the page.
  const QString why = "transfer type 99 has no link in this build";
  EXPECT_EQ(logs.filter("send of").size(), 1) << logText();
  EXPECT_TRUE(logs.filter("send of").value(0).endsWith(": " + why));
  EXPECT_EQ(panes[kPaneMessage], why.toStdString());
  EXPECT_TRUE(queue->transferPaused());
  EXPECT_EQ(queue->sendQueueList()->texts(), QStringList{"a.PLT"});
  // With a link chosen, going on sends the page.
  config::CIniConfig(home->path()).write(config::keys::Xitong_TT, 3);
  queue->TogglePause();
  tick();
  EXPECT_EQ(sentCount(), 1);
  EXPECT_EQ(queue->sendQueueList()->count(), 0);
}

}  // namespace
}  // namespace qel::intake
