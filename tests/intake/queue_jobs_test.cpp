// Jobs handed to the send queue by a front end: their way through dispose and send, what is
// reported, and where their files end up when they fail or are cancelled.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <mutex>

#include "config/ini_config.h"
#include "intake/send_queue.h"
#include "platform/files.h"
#include "pump.h"
#include "support/temp_home.h"
#include "support/wait.h"

namespace qel::intake {
namespace {

namespace fs = std::filesystem;
using test::pumpUntil;

// "<base>_<stamp>_00n.PLT" per page, or a refusal for sources whose content says "junk".
class PagesTranslator : public Translator {
 public:
  TranslateResult translate(const std::string&, const std::string& source, const std::string& disposeDir,
                            const std::string& stamp) override {
    TranslateResult r;
    const std::string content = platform::readWholeFile(source).value_or("");
    if (content.find("junk") != std::string::npos) {
      r.error = "no plot command in the file";
      return r;
    }
    const int pages = content.find("PG;") != std::string::npos ? 3 : 1;
    for (int p = 1; p <= pages; ++p) {
      const std::string out = disposeDir + "/" + fs::path(source).stem().string() + "_" + stamp + "_00" + std::to_string(p) + ".PLT";
      platform::writeFileAtomically(out, content);
      r.outputs.push_back(out);
    }
    r.ok = true;
    return r;
  }
};

// The machine: each send is recorded and answered by `answer`; with `holdUntilStop` the send
// lasts until the owner's stop is in force (as a long send over a slow link would).
struct Machine {
  std::mutex m;
  std::vector<std::string> received;  // file names, in order
  std::function<links::SendResult(const std::string& name)> answer = [](const std::string&) {
    return links::SendResult{true, {}};
  };
  std::atomic<bool> holdUntilStop{false};
  std::atomic<bool> holding{false};

  std::vector<std::string> names() {
    std::lock_guard<std::mutex> l(m);
    return received;
  }
};

class MachineLink : public links::TransferLink {
 public:
  MachineLink(Machine& machine, links::TransferOwner& owner, std::string path)
      : machine_(machine), owner_(owner), path_(std::move(path)) {}
  bool send() override {
    const std::string name = fs::path(path_).filename().string();
    if (machine_.holdUntilStop) {
      machine_.holding = true;
      test::waitUntil([this] { return owner_.stopInForce(); }, 10000, 1);
      machine_.holding = false;
      if (owner_.stopInForce()) {
        text_.clear();  // as the network and serial links end a stopped send
        return false;
      }
    }
    links::SendResult r = machine_.answer(name);
    std::lock_guard<std::mutex> l(machine_.m);
    if (r.ok) machine_.received.push_back(name);
    text_ = r.text;
    return r.ok;
  }
  std::string resultText() const override { return text_; }

 private:
  Machine& machine_;
  links::TransferOwner& owner_;
  std::string path_;
  std::string text_;
};

class QueueJobsTest : public ::testing::Test {
 protected:
  // A fresh home and queue (tables run several in one test).
  void makeQueue(int pageMode = 6) {
    queue.reset();
    reports.clear();
    machine.received.clear();
    home = std::make_unique<test::TempHome>();
    config::CIniConfig cfg(home->path());
    cfg.write(config::keys::Xitong_TT, 3);
    cfg.write(config::keys::CUT_FT, pageMode);
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
    CSendQueue::Services s;
    s.translator = &translator;
    s.clock = &clock;
    s.tickMs = 10;
    s.watcher = false;  // the folder scans alone: no notification at an unforeseen moment
    s.localTime = [] {
      std::tm t{};
      t.tm_year = 126, t.tm_mon = 0, t.tm_mday = 5, t.tm_hour = 9, t.tm_min = 30, t.tm_sec = 0;
      return t;
    };
    s.links.set(3, [this](links::TransferOwner& owner, const std::string& path, std::int32_t) {
      return std::make_unique<MachineLink>(machine, owner, path);
    });
    queue = std::make_unique<CSendQueue>(QString::fromStdString(home->path()), std::move(s));
    QObject::connect(queue.get(), &CSendQueue::jobChanged, [this](quint64 id, const JobReport& r) { reports[id].push_back(r); });
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
  std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto& e : fs::directory_iterator(home->path() + "/" + folder, ec)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }

  std::unique_ptr<test::TempHome> home;
  platform::FakeClock clock;
  PagesTranslator translator;
  Machine machine;
  std::unique_ptr<CSendQueue> queue;
  std::map<quint64, std::vector<JobReport>> reports;
};

TEST_F(QueueJobsTest, JobIsDisposedSentPageByPageAndReportedAtEachStep) {
  makeQueue();
  ASSERT_TRUE(hand(7, "IN;PG;"));
  ASSERT_TRUE(waitFinished(7));
  EXPECT_EQ(stages(7), (std::vector<JobStage>{JobStage::Queued, JobStage::Disposing, JobStage::Waiting, JobStage::Sending,
                                              JobStage::Waiting, JobStage::Sending, JobStage::Waiting, JobStage::Sending,
                                              JobStage::Completed}));
  std::vector<std::pair<int, int>> sending;
  for (const JobReport& r : reports[7])
    if (r.stage == JobStage::Sending) sending.emplace_back(r.page, r.pages);
  EXPECT_EQ(sending, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));
  EXPECT_EQ(machine.names(), (std::vector<std::string>{"job7_20260105_093000_001.PLT", "job7_20260105_093000_002.PLT",
                                                        "job7_20260105_093000_003.PLT"}));
  EXPECT_EQ(filesIn("JobDir"), std::vector<std::string>{});
  EXPECT_TRUE(platform::fileExists(home->path() + "/PrintedDir/job7_20260105_093000.plt"));
  EXPECT_EQ(queue->openJobs(), 0);
}

TEST_F(QueueJobsTest, JobsGoBeforeTheWatchFoldersFiles) {
  makeQueue();
  queue->TogglePause();
  home->writeFile("ListenDir/folder.plt", "IN;");
  ASSERT_TRUE(pumpUntil([&] { return queue->waitingList()->count() == 1; }));
  ASSERT_TRUE(hand(1, "IN;"));
  ASSERT_TRUE(hand(2, "IN;"));
  EXPECT_EQ(last(2).stage, JobStage::Queued);
  EXPECT_EQ(last(2).ahead, 1);
  queue->TogglePause();
  ASSERT_TRUE(pumpUntil([&] { return machine.names().size() == 3; }, 10000));
  EXPECT_EQ(machine.names(), (std::vector<std::string>{"job1_20260105_093000_001.PLT", "job2_20260105_093000_001.PLT",
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
    makeQueue();
    int pausedForFailure = 0;
    QObject::connect(queue.get(), &CSendQueue::pausedFor, [&](PauseCause cause, const QueueFailure&) {
      if (cause == PauseCause::Failure) ++pausedForFailure;
    });
    machine.answer = [&](const std::string& name) {
      return name.rfind("job1_", 0) == 0 ? c.answer : links::SendResult{true, {}};
    };
    ASSERT_TRUE(hand(1, c.content));
    ASSERT_TRUE(hand(2, "IN;"));
    ASSERT_TRUE(waitFinished(1));
    EXPECT_EQ(last(1).stage, JobStage::Failed);
    EXPECT_EQ(last(1).failure.kind, c.failure);
    EXPECT_EQ(last(1).failure.detail, c.detail);
    EXPECT_EQ(queue->sendQueueList()->count() > 0 && queue->sendQueueList()->text(0).startsWith("job1"), false);
    EXPECT_EQ(filesIn("CancelledDir"), c.recycleBin);
    EXPECT_EQ(filesIn("UnDisposeDir"), c.undisposed);
    EXPECT_EQ(queue->transferPaused(), c.pauses);
    EXPECT_EQ(pausedForFailure, c.pauses ? 1 : 0);
    if (c.pauses) {
      EXPECT_FALSE(finished(2));
      queue->TogglePause();
    }
    ASSERT_TRUE(waitFinished(2));
    EXPECT_EQ(last(2).stage, JobStage::Completed);
  }
  machine.answer = [](const std::string&) { return links::SendResult{true, {}}; };
}

TEST_F(QueueJobsTest, CancelTakesAJobOutAtEveryStage) {
  // Waiting behind a pause: dropped with its file.
  makeQueue();
  queue->TogglePause();
  ASSERT_TRUE(hand(1, "IN;"));
  queue->cancelJob(1);
  ASSERT_TRUE(finished(1));
  EXPECT_EQ(last(1).stage, JobStage::Cancelled);
  EXPECT_EQ(filesIn("JobDir"), std::vector<std::string>{});

  // Its page on the link: the send stops, its pages go to the recycle bin, the next job is sent
  // without being stopped.
  makeQueue();
  machine.holdUntilStop = true;
  ASSERT_TRUE(hand(1, "IN;PG;"));
  ASSERT_TRUE(hand(2, "IN;"));
  ASSERT_TRUE(pumpUntil([&] { return machine.holding.load(); }, 10000));
  EXPECT_EQ(last(1).stage, JobStage::Sending);
  machine.holdUntilStop = false;
  queue->cancelJob(1);
  ASSERT_TRUE(waitFinished(1));
  EXPECT_EQ(last(1).stage, JobStage::Cancelled);
  ASSERT_TRUE(waitFinished(2));
  EXPECT_EQ(last(2).stage, JobStage::Completed);
  EXPECT_EQ(machine.names(), std::vector<std::string>{"job2_20260105_093000_001.PLT"});
  EXPECT_EQ(filesIn("CancelledDir"), (std::vector<std::string>{"job1_20260105_093000.plt", "job1_20260105_093000_001.PLT",
                                                                "job1_20260105_093000_002.PLT",
                                                                "job1_20260105_093000_003.PLT"}));
  EXPECT_FALSE(queue->stopRequested());
}

TEST_F(QueueJobsTest, PausingDuringAJobsSendKeepsTheJob) {
  makeQueue();
  machine.holdUntilStop = true;
  ASSERT_TRUE(hand(1, "IN;"));
  ASSERT_TRUE(pumpUntil([&] { return machine.holding.load(); }, 10000));
  machine.holdUntilStop = false;
  queue->TogglePause();  // the link gives up on the stop request
  ASSERT_TRUE(pumpUntil([&] { return queue->idle() && last(1).stage == JobStage::Waiting; }, 10000));
  EXPECT_FALSE(finished(1));
  queue->TogglePause();
  ASSERT_TRUE(waitFinished(1));
  EXPECT_EQ(last(1).stage, JobStage::Completed);
  EXPECT_EQ(machine.names(), std::vector<std::string>{"job1_20260105_093000_001.PLT"});
}

TEST_F(QueueJobsTest, OnlyPlainFilesOfTheJobFolderAreTaken) {
  makeQueue();
  home->writeFile("elsewhere.plt", "IN;");
  home->writeFile("JobDir/sub/nested.plt", "IN;");
  home->writeFile("JobDir/ok.plt", "IN;");
  const QString dir = queue->jobDir();
  const struct {
    QString file;
    quint64 id;
  } refused[] = {
      {QString::fromStdString(home->path() + "/elsewhere.plt"), 1},
      {dir + "/../elsewhere.plt", 2},
      {dir + "/sub/nested.plt", 3},
      {dir + "/", 4},
      {dir + "/missing.plt", 5},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.file.toStdString());
    QString error;
    EXPECT_FALSE(queue->enqueueJob(r.id, r.file, &error));
    EXPECT_FALSE(error.isEmpty());
  }
  queue->TogglePause();
  EXPECT_TRUE(queue->enqueueJob(6, dir + "/ok.plt"));
  QString error;
  EXPECT_FALSE(queue->enqueueJob(6, dir + "/ok.plt", &error));  // one id, one job
  EXPECT_EQ(queue->openJobs(), 1);
}

TEST_F(QueueJobsTest, PageModesDecideHowAJobIsTaken) {
  // No split: sent as it came, under a stamped name.
  makeQueue(5);
  ASSERT_TRUE(hand(1, "IN;PG;"));
  ASSERT_TRUE(waitFinished(1));
  EXPECT_EQ(last(1).stage, JobStage::Completed);
  EXPECT_EQ(machine.names(), std::vector<std::string>{"job1_20260105_093000_001.PLT"});
  // CCD CUT needs the camera window: refused, the file left where it is.
  makeQueue(9);
  QString error;
  EXPECT_FALSE(hand(1, "IN;", &error));
  EXPECT_TRUE(error.contains("CCD CUT"));
  EXPECT_EQ(filesIn("JobDir"), std::vector<std::string>{"job1.plt"});
}

}  // namespace
}  // namespace qel::intake
