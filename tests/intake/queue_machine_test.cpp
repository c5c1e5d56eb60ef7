// The real send queue, the real controller file link and the simulated coordinator on loopback
// (127.0.0.212), in real time: a file written in pieces with pauses reaches the machine whole
// and once.
#include <QCoreApplication>

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <random>
#include <thread>

#include "config/ini_config.h"
#include "coordinator_services.h"
#include "intake/send_queue.h"
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

// Page mode 5: a file goes to the machine as it is, so what arrives can be compared byte for byte.
TEST(QueueMachineTest, AFileWrittenInPiecesWithPausesReachesTheMachineWholeAndOnce) {
  test::TempHome home;
  config::CIniConfig cfg(home.path());
  cfg.write(config::keys::Xitong_TT, 3);
  cfg.write(config::keys::CUT_FT, 5);
  cfg.writeText("Transfer_Config", "Transfer_DelayTime", "0");
  cfg.writeText("Modbus", "Modbus_LinkType", "2");
  cfg.writeText("Modbus", "Xitong_IP", "127.0.0.212");
  cfg.writeText("Watcher", "Watcher_SettleMs", "300");
  sim::CoordinatorServiceOptions o;
  o.controlPort = -1;
  o.commandPort = -1;
  std::string error;
  auto sim = sim::startCoordinatorServices("127.0.0.212", o, &error);
  ASSERT_TRUE(sim) << error;
  CSendQueue::Services s;
  s.links = links::LinkFactory::standard();
  s.tickMs = 50;
  CSendQueue queue(QString::fromStdString(home.path()), std::move(s));
  QStringList logs;
  QObject::connect(&queue, &CSendQueue::logLine, [&](const QString& l) { logs << l; });
  queue.start();
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
  const bool arrived = pumpUntil([&] { return written && queue.historyList()->count() == 1 && queue.idle(); }, 30000);
  writer.join();
  ASSERT_TRUE(arrived) << logs.join('\n').toStdString();
  const auto downloads = sim->sim().downloads();
  ASSERT_EQ(downloads.size(), 1u) << logs.join('\n').toStdString();
  EXPECT_TRUE(downloads[0].data == content) << downloads[0].data.size() << " of " << content.size() << " bytes";
}

}  // namespace
}  // namespace qel::intake
