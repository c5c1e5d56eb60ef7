#pragma once
// A send queue on a fresh home folder with a translator and a machine the test controls. Every
// send of a page is recorded (path, content, clock time, whether it was delivered) and answered
// as the test says; the queue's signals are collected for the test to look at.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

#include "config/ini_config.h"
#include "intake/send_queue.h"
#include "platform/files.h"
#include "pump.h"
#include "support/calendar.h"
#include "support/temp_home.h"
#include "support/wait.h"

namespace qel::intake {

// One page file per page: "<base>_<stamp>_00n.PLT" holding the source and "PG<n>;". A source
// holding "PG;" makes three pages, else `pages`; a source holding "junk" is refused.
class FakeTranslator : public Translator {
 public:
  TranslateResult translate(const std::string&, const std::string& source, const std::string& disposeDir,
                            const std::string& stamp) override {
    std::lock_guard<std::mutex> l(m);
    sources.push_back(source);
    if (duringRead) duringRead(source);
    TranslateResult r;
    const std::string content = platform::readWholeFile(source).value_or("");
    if (content.find("junk") != std::string::npos) {
      r.error = "no plot command in the file";
      r.failure = failure;
      return r;
    }
    const int n = content.find("PG;") != std::string::npos ? 3 : pages;
    for (int p = 1; p <= n; ++p) {
      const std::string out = disposeDir + "/" + std::filesystem::path(source).stem().string() + "_" + stamp + "_00" +
                              std::to_string(p) + ".PLT";
      platform::writeFileAtomically(out, content + "PG" + std::to_string(p) + ";");
      r.outputs.push_back(out);
    }
    r.ok = true;
    r.notices = notices;
    return r;
  }
  std::mutex m;
  std::vector<std::string> sources;
  int pages = 1;
  FailureKind failure = FailureKind::DisposeFailed;
  std::vector<TranslateNotice> notices;                // said of every file it disposes of
  std::function<void(const std::string&)> duringRead;  // a writer at work while the file is read
};

struct SentPage {
  std::string path, content;
  std::int64_t atMs;
  bool delivered;
};

class QueueTest : public ::testing::Test {
 protected:
  void SetUp() override { freshHome(); }
  void TearDown() override { queue.reset(); }  // before what its workers and signals write to

  // A fresh home (tables run several queues in one test): link type 3, page mode `pageMode`, no
  // delay after a send, a file settled after two looks (the settle time has its own tests).
  void freshHome(int pageMode = 6) {
    queue.reset();
    home.emplace();
    config::CIniConfig cfg(home->path());
    cfg.write(config::keys::Xitong_TT, 3);
    cfg.write(config::keys::CUT_FT, pageMode);
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
    cfg.writeText("Watcher", "Watcher_SettleMs", "0");
  }
  void set(const char* section, const char* key, const std::string& value) {
    config::CIniConfig(home->path()).writeText(section, key, value);
  }

  // tickMs 0: the test drives the beats itself (tick()).
  void makeQueue(bool autoResume = false, bool watcher = false, int tickMs = 0) {
    queue.reset();
    sent.clear(), failures.clear(), pauses.clear(), panes.clear(), boxes.clear(), logs.clear(), reports.clear(), said.clear();
    CSendQueue::Services s;
    s.autoResume = autoResume;
    s.watcher = watcher;
    s.translator = &translator;
    s.clock = &clock;
    s.tickMs = tickMs > 0 ? tickMs : 3600000;
    s.localTime = [] { return test::at(2026, 1, 5, 9, 30, 0); };
    s.links.set(3, [this](links::TransferOwner& owner, const std::string& path, std::int32_t) {
      return std::make_unique<Link>(*this, owner, path);
    });
    queue = std::make_unique<CSendQueue>(QString::fromStdString(home->path()), std::move(s));
    CSendQueue* q = queue.get();
    QObject::connect(q, &CSendQueue::statusText, [this](int pane, const QString& t) { panes[pane] = t.toStdString(); });
    QObject::connect(q, &CSendQueue::messageBox, [this](const QString& t) { boxes.push_back(t.toStdString()); });
    QObject::connect(q, &CSendQueue::fileFailed, [this](const QueueFailure& f) { failures.push_back(f); });
    QObject::connect(q, &CSendQueue::pausedFor, [this](PauseCause c, const QueueFailure& f) { pauses.push_back({c, f}); });
    QObject::connect(q, &CSendQueue::logLine, [this](const QString& l) { logs << l; });
    QObject::connect(q, &CSendQueue::jobChanged, [this](quint64 id, const JobReport& r) { reports[id].push_back(r); });
    QObject::connect(q, &CSendQueue::messageEvent,
                     [this](QueueMessage m, const QString& a, const QString& b) { said.push_back({m, a, b}); });
  }
  void startQueue(bool autoResume = false, bool watcher = false) {
    makeQueue(autoResume, watcher);
    queue->start();
  }
  std::string logText() const { return logs.join('\n').toStdString(); }
  // The first text of each message of one kind the queue said, with its second after " | ".
  QStringList saidOf(QueueMessage kind) const {
    QStringList out;
    for (const auto& [m, a, b] : said)
      if (m == kind) out << (b.isEmpty() ? a : a + " | " + b);
    return out;
  }

  // `n` heartbeats, each followed by the workers it started running to their end.
  void tick(int n = 1) {
    for (int i = 0; i < n; ++i) {
      queue->Tick();
      ASSERT_TRUE(test::pumpUntil([this] { return queue->idle(); }, 5000));
      QCoreApplication::processEvents();
    }
  }
  // A page file in the dispose folder, put at the end of the send queue.
  void queuePage(const std::string& name, const std::string& content = "a") {
    home->writeFile("DisposeDir/" + name, content);
    queue->sendQueueList()->append(QString::fromStdString(name));
  }

  std::string watch(const std::string& name) { return home->path() + "/ListenDir/" + name; }
  std::vector<std::string> filesIn(const std::string& folder) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto& e : std::filesystem::directory_iterator(home->path() + "/" + folder, ec))
      out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  int sentCount() { std::lock_guard<std::mutex> l(m); return static_cast<int>(sent.size()); }
  // The names of the pages the machine took, in order.
  std::vector<std::string> delivered() {
    std::lock_guard<std::mutex> l(m);
    std::vector<std::string> out;
    for (const SentPage& p : sent)
      if (p.delivered) out.push_back(std::filesystem::path(p.path).filename().string());
    return out;
  }

  std::optional<test::TempHome> home;
  platform::FakeClock clock;
  FakeTranslator translator;
  std::unique_ptr<CSendQueue> queue;
  std::mutex m;
  std::vector<SentPage> sent;
  // How the machine answers a page by its file name; by default linkOk and linkText.
  std::function<links::SendResult(const std::string& name)> answer;
  std::atomic<bool> linkOk{true};
  std::string linkText;
  std::atomic<bool> pauseDuringSend{false};  // the send presses Pause, as the operator would
  std::atomic<bool> holdUntilStop{false};    // the send lasts until the stop is in force
  std::atomic<bool> holding{false};
  std::vector<QueueFailure> failures;
  std::vector<std::pair<PauseCause, QueueFailure>> pauses;
  std::map<int, std::string> panes;
  std::vector<std::string> boxes;
  QStringList logs;
  std::map<quint64, std::vector<JobReport>> reports;
  std::vector<std::tuple<QueueMessage, QString, QString>> said;

 private:
  class Link : public links::TransferLink {
   public:
    Link(QueueTest& t, links::TransferOwner& owner, std::string path) : t_(t), owner_(owner), path_(std::move(path)) {}
    bool send() override {
      if (t_.holdUntilStop) {
        t_.holding = true;
        test::waitUntil([this] { return owner_.stopInForce(); }, 10000, 1);
        t_.holding = false;
        if (owner_.stopInForce()) return false;  // as the network and serial links end a stopped send
      }
      if (t_.pauseDuringSend) owner_.setStopRequest(true);
      const links::SendResult r = t_.answer ? t_.answer(std::filesystem::path(path_).filename().string())
                                            : links::SendResult{t_.linkOk, t_.linkText};
      std::lock_guard<std::mutex> l(t_.m);
      t_.sent.push_back({path_, platform::readWholeFile(path_).value_or(""), t_.clock.nowMs(), r.ok});
      text_ = r.text;
      return r.ok;
    }
    std::string resultText() const override { return text_; }

   private:
    QueueTest& t_;
    links::TransferOwner& owner_;
    std::string path_;
    std::string text_;
  };
};

}  // namespace qel::intake
