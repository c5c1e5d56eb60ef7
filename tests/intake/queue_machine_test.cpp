// The real send queue, the real controller file link and the simulated coordinator on loopback
// addresses (127.0.0.212 and up), in real time: a file written in pieces with pauses reaches the
// machine whole and once; a pause in the middle of a send leaves the machine nothing, and Continue
// sends the file whole.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <random>
#include <thread>

#include "config/ini_config.h"
#include "coordinator_services.h"
#include "intake/queued_call.h"
#include "intake/send_queue.h"
#include "platform/files.h"
#include "pump.h"
#include "support/temp_home.h"

namespace qel::intake {
namespace {

using test::pumpUntil;

std::string plotBytes(std::size_t size) {
  std::string s;
  std::mt19937 rng(5);
  while (s.size() < size) s += "PU" + std::to_string(rng() % 40000) + "," + std::to_string(rng() % 40000) + ";PD1,2;\n";
  s.resize(size);
  return s;
}

class QueueMachineTest : public ::testing::Test {
 protected:
  // Page mode 5: a file goes to the machine as it is, so what arrives can be compared byte for byte.
  void configure(const std::string& address, int settleMs) {
    config::CIniConfig cfg(home.path());
    cfg.write(config::keys::Xitong_TT, 3);
    cfg.write(config::keys::CUT_FT, 5);
    cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
    cfg.writeText("Modbus", "Modbus_LinkType", "2");
    cfg.writeText("Modbus", "Xitong_IP", address);
    cfg.writeText("Watcher", "Watcher_SettleMs", std::to_string(settleMs));
  }
  std::unique_ptr<sim::CoordinatorServices> machine(const std::string& address) {
    sim::CoordinatorServiceOptions o;
    o.controlPort = -1;
    o.commandPort = -1;
    o.event = [this](const std::string& e) {
      std::lock_guard<std::mutex> g(m);
      events.push_back(e);
    };
    std::string error;
    auto s = sim::startCoordinatorServices(address, o, &error);
    EXPECT_TRUE(s) << error;
    return s;
  }
  void makeQueue() {
    CSendQueue::Services s;
    s.links = links::LinkFactory::standard();
    s.tickMs = 50;
    queue = std::make_unique<CSendQueue>(QString::fromStdString(home.path()), std::move(s));
    QObject::connect(queue.get(), &CSendQueue::logLine, [this](const QString& l) { logs << l; });
    QObject::connect(queue.get(), &CSendQueue::fileFailed, [this](const QueueFailure& f) { failures.push_back(f); });
  }
  std::vector<std::string> eventsSoFar() {
    std::lock_guard<std::mutex> g(m);
    return events;
  }

  test::TempHome home;
  std::unique_ptr<CSendQueue> queue;
  QStringList logs;
  std::vector<QueueFailure> failures;
  std::mutex m;
  std::vector<std::string> events;
};

TEST_F(QueueMachineTest, AFileWrittenInPiecesWithPausesReachesTheMachineWholeAndOnce) {
  configure("127.0.0.212", 300);
  auto sim = machine("127.0.0.212");
  ASSERT_TRUE(sim);
  makeQueue();
  queue->start();
  // A design program writing 1 MB in 8 pieces and pausing longer than the settle time between
  // them, with the file open all along.
  const std::string content = plotBytes(1 << 20);
  std::atomic<bool> written{false};
  std::thread writer([&] {
    std::ofstream out(home.file("ListenDir/job.plt"), std::ios::binary);
    for (int piece = 0; piece < 8; ++piece) {
      out.write(content.data() + piece * (content.size() / 8), std::streamsize(content.size() / 8));
      out.flush();
      std::this_thread::sleep_for(std::chrono::milliseconds(450));
    }
    out.close();
    written = true;
  });
  const bool arrived = pumpUntil([&] { return written && !sim->sim().downloads().empty() && queue->idle(); }, 30000);
  writer.join();
  ASSERT_TRUE(arrived) << logs.join('\n').toStdString();
  pumpUntil([&] { return queue->historyList()->count() == 1; }, 5000);
  const auto downloads = sim->sim().downloads();
  ASSERT_EQ(downloads.size(), 1u) << logs.join('\n').toStdString();
  EXPECT_TRUE(downloads[0].data == content) << downloads[0].data.size() << " of " << content.size() << " bytes";
  EXPECT_EQ(queue->historyList()->count(), 1);
}

TEST_F(QueueMachineTest, APauseMidFileLeavesTheMachineNothingAndContinueSendsItWhole) {
  configure("127.0.0.213", 0);
  auto sim = machine("127.0.0.213");
  ASSERT_TRUE(sim);
  makeQueue();
  std::atomic<bool> paused{false};
  QObject::connect(queue.get(), &CSendQueue::pausedChanged, [&](bool p, bool) { paused = p; });
  // The operator presses Pause once 2 MB have gone out; the sending thread goes on once the
  // window's thread has taken the press.
  std::atomic<bool> pressed{false};
  QObject::connect(
      queue.get(), &CSendQueue::bytesSent, queue.get(),
      [&](qint64 sent, qint64) {
        if (sent < 2 * 1024 * 1024 || pressed.exchange(true)) return;
        postQueued(queue.get(), [this] { queue->TogglePause(); });
        for (int i = 0; i < 5000 && !paused; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      },
      Qt::DirectConnection);
  queue->start();
  const std::string content = plotBytes(16 << 20);
  platform::writeFileAtomically(home.file("DisposeDir/big_20260105_093000_001.PLT"), content);
  queue->sendQueueList()->append(QStringLiteral("big_20260105_093000_001.PLT"));
  ASSERT_TRUE(pumpUntil([&] { return paused && !failures.empty() && queue->idle(); }, 30000)) << logs.join('\n').toStdString();
  EXPECT_EQ(failures[0].kind, FailureKind::SendStopped);
  ASSERT_TRUE(pumpUntil([&] { return !eventsSoFar().empty(); }, 5000));
  EXPECT_TRUE(sim->sim().downloads().empty());
  EXPECT_EQ(eventsSoFar()[0].rfind("discarded an unfinished download", 0), 0u) << eventsSoFar()[0];

  queue->TogglePause();  // Continue: the page again, from its start
  ASSERT_TRUE(pumpUntil([&] { return queue->historyList()->count() == 1; }, 30000)) << logs.join('\n').toStdString();
  const auto downloads = sim->sim().downloads();
  ASSERT_EQ(downloads.size(), 1u);
  EXPECT_TRUE(downloads[0].data == content);
}

}  // namespace
}  // namespace qel::intake
