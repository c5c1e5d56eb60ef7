// Jobs handed to the send queue by a front end: their way through dispose and send, what is
// reported, and where their files end up when they fail or are cancelled.
#include "queue_fixture.h"

namespace qel::intake {
namespace {

using test::pumpUntil;

class QueueJobsTest : public QueueTest {
 protected:
  // A fresh home and queue with its own beat (tables run several in one test); the folder is
  // scanned alone, so that no notification comes at an unforeseen moment.
  void makeJobQueue(int pageMode = 6) {
    freshHome(pageMode);
    makeQueue(false, false, 10);
    queue->start();
  }
  // Writes a job's file into the job folder and hands it in.
  bool hand(quint64 id, const std::string& content, QString* error = nullptr) {
    const std::string name = "job" + std::to_string(id) + ".plt";
    home->writeFile("JobDir/" + name, content);
    return queue->enqueueJob(id, queue->jobDir() + "/" + QString::fromStdString(name), error);
  }
  const JobReport& last(quint64 id) { return reports[id].back(); }
  bool finished(quint64 id) { return !reports[id].empty() && last(id).finished(); }
  bool waitFinished(quint64 id) { return pumpUntil([&] { return finished(id); }, 10000); }
  std::vector<JobStage> stages(quint64 id) {
    std::vector<JobStage> out;
    for (const JobReport& r : reports[id])
      if (out.empty() || out.back() != r.stage) out.push_back(r.stage);
    return out;
  }
};

TEST_F(QueueJobsTest, JobIsDisposedSentPageByPageAndReportedAtEachStep) {
  makeJobQueue();
  ASSERT_TRUE(hand(7, "IN;PG;"));
  ASSERT_TRUE(waitFinished(7));
  EXPECT_EQ(stages(7), (std::vector<JobStage>{JobStage::Queued, JobStage::Disposing, JobStage::Waiting, JobStage::Sending,
                                              JobStage::Waiting, JobStage::Sending, JobStage::Waiting, JobStage::Sending,
                                              JobStage::Completed}));
  std::vector<std::pair<int, int>> sending;
  for (const JobReport& r : reports[7])
    if (r.stage == JobStage::Sending) sending.emplace_back(r.page, r.pages);
  EXPECT_EQ(sending, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
  EXPECT_EQ(delivered(), (std::vector<std::string>{"job7_20260105_093000_001.PLT", "job7_20260105_093000_002.PLT",
                                                        "job7_20260105_093000_003.PLT"}));
  EXPECT_EQ(filesIn("JobDir"), std::vector<std::string>{});
  EXPECT_TRUE(platform::fileExists(home->path() + "/PrintedDir/job7_20260105_093000.plt"));
  EXPECT_EQ(queue->openJobs(), 0);
}

TEST_F(QueueJobsTest, JobsGoBeforeTheWatchFoldersFiles) {
  makeJobQueue();
  queue->TogglePause();
  home->writeFile("ListenDir/folder.plt", "IN;");
  ASSERT_TRUE(pumpUntil([&] { return queue->waitingList()->count() == 1; }));
  ASSERT_TRUE(hand(1, "IN;"));
  ASSERT_TRUE(hand(2, "IN;"));
  EXPECT_EQ(last(2).stage, JobStage::Queued);
  EXPECT_EQ(last(2).ahead, 1);
  queue->TogglePause();
  ASSERT_TRUE(pumpUntil([&] { return delivered().size() == 3; }, 10000));
  EXPECT_EQ(delivered(), (std::vector<std::string>{"job1_20260105_093000_001.PLT", "job2_20260105_093000_001.PLT",
                                                        "folder_20260105_093000_001.PLT"}));
}

// How a job ends when a step fails: its report, and where its files are afterwards. The queue
// goes on with the next job unless the machine could not be reached.
TEST_F(QueueJobsTest, FailedJobsEndWithTheirReasonAndSetTheirFilesAside) {
  struct Case {
    const char* name;
    const char* content;
    links::SendResult answer;
    FailureKind failure;
    QString detail;
    std::vector<std::string> recycleBin, undisposed;
    bool pauses;
  };
  const std::vector<Case> cases = {
      {"dispose", "junk", {true, {}}, FailureKind::DisposeFailed, "no plot command in the file", {}, {"job1.plt"}, false},
      {"send", "IN;PG;", {false, "CRC mismatch"}, FailureKind::SendFailed, "CRC mismatch",
       {"job1_20260105_093000.plt", "job1_20260105_093000_001.PLT", "job1_20260105_093000_002.PLT",
        "job1_20260105_093000_003.PLT"},
       {},
       false},
      {"unreachable", "IN;", {false, "QEL_Connect_Fail"}, FailureKind::MachineUnreachable, "QEL_Connect_Fail",
       {"job1_20260105_093000.plt", "job1_20260105_093000_001.PLT"}, {}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    makeJobQueue();
    answer = [&](const std::string& name) {
      return name.rfind("job1_", 0) == 0 ? c.answer : links::SendResult{true, {}};
    };
    ASSERT_TRUE(hand(1, c.content));
    ASSERT_TRUE(hand(2, "IN;"));
    ASSERT_TRUE(waitFinished(1));
    EXPECT_EQ(std::make_tuple(last(1).stage, last(1).failure.kind, last(1).failure.detail),
              std::make_tuple(JobStage::Failed, c.failure, c.detail));
    EXPECT_EQ(queue->sendQueueList()->count() > 0 && queue->sendQueueList()->text(0).startsWith("job1"), false);
    EXPECT_EQ(filesIn("CancelledDir"), c.recycleBin);
    EXPECT_EQ(filesIn("UnDisposeDir"), c.undisposed);
    EXPECT_EQ(queue->transferPaused(), c.pauses);
    EXPECT_EQ(pauses.size() == 1 && pauses[0].first == PauseCause::Failure, c.pauses) << pauses.size();
    if (c.pauses) {
      EXPECT_FALSE(finished(2));
      queue->TogglePause();
    }
    ASSERT_TRUE(waitFinished(2));
    EXPECT_EQ(last(2).stage, JobStage::Completed);
  }
}

TEST_F(QueueJobsTest, CancelTakesAJobOutAtEveryStage) {
  // Waiting behind a pause: dropped with its file.
  makeJobQueue();
  queue->TogglePause();
  ASSERT_TRUE(hand(1, "IN;"));
  queue->cancelJob(1);
  ASSERT_TRUE(finished(1));
  EXPECT_EQ(last(1).stage, JobStage::Cancelled);
  EXPECT_EQ(filesIn("JobDir"), std::vector<std::string>{});

  // Its page on the link: the send stops, its pages go to the recycle bin, the next job is sent
  // without being stopped.
  makeJobQueue();
  holdUntilStop = true;
  ASSERT_TRUE(hand(1, "IN;PG;"));
  ASSERT_TRUE(hand(2, "IN;"));
  ASSERT_TRUE(pumpUntil([&] { return holding.load(); }, 10000));
  EXPECT_EQ(last(1).stage, JobStage::Sending);
  holdUntilStop = false;
  queue->cancelJob(1);
  ASSERT_TRUE(waitFinished(1));
  EXPECT_EQ(last(1).stage, JobStage::Cancelled);
  ASSERT_TRUE(waitFinished(2));
  EXPECT_EQ(last(2).stage, JobStage::Completed);
  EXPECT_EQ(delivered(), std::vector<std::string>{"job2_20260105_093000_001.PLT"});
  EXPECT_EQ(filesIn("CancelledDir"), (std::vector<std::string>{"job1_20260105_093000.plt", "job1_20260105_093000_001.PLT",
                                                                "job1_20260105_093000_002.PLT",
                                                                "job1_20260105_093000_003.PLT"}));
  EXPECT_FALSE(queue->stopRequested());
}

TEST_F(QueueJobsTest, OnlyPlainFilesOfTheJobFolderAreTaken) {
  makeJobQueue();
  home->writeFile("elsewhere.plt", "IN;");
  home->writeFile("JobDir/sub/nested.plt", "IN;");
  home->writeFile("JobDir/ok.plt", "IN;");
  const QString dir = queue->jobDir();
  quint64 id = 0;
  for (const QString& file : {QString::fromStdString(home->path() + "/elsewhere.plt"), dir + "/../elsewhere.plt",
                              dir + "/sub/nested.plt", dir + "/", dir + "/missing.plt"}) {
    QString error;
    EXPECT_FALSE(queue->enqueueJob(++id, file, &error)) << file.toStdString();
    EXPECT_FALSE(error.isEmpty()) << file.toStdString();
  }
  queue->TogglePause();
  EXPECT_TRUE(queue->enqueueJob(6, dir + "/ok.plt"));
  QString error;
  EXPECT_FALSE(queue->enqueueJob(6, dir + "/ok.plt", &error));  // one id, one job
  EXPECT_EQ(queue->openJobs(), 1);
}

TEST_F(QueueJobsTest, PageModesDecideHowAJobIsTaken) {
  // No split: sent as it came, under a stamped name.
  makeJobQueue(5);
  ASSERT_TRUE(hand(1, "IN;PG;"));
  ASSERT_TRUE(waitFinished(1));
  EXPECT_EQ(last(1).stage, JobStage::Completed);
  EXPECT_EQ(delivered(), std::vector<std::string>{"job1_20260105_093000_001.PLT"});
  // CCD CUT needs the camera window: refused, the file left where it is.
  makeJobQueue(9);
  QString error;
  EXPECT_FALSE(hand(1, "IN;", &error));
  EXPECT_TRUE(error.contains("CCD CUT"));
  EXPECT_EQ(filesIn("JobDir"), std::vector<std::string>{"job1.plt"});
}

}  // namespace
}  // namespace qel::intake
