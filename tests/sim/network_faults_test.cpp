// The network kind's serial peer as `qelcut sim` runs it: switched to stop reading, the line
// fills up; reading again, it keeps what it got whole.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "sim_runner.h"
#include "support/process.h"
#include "support/temp_home.h"

namespace {

using qel::test::waitUntil;

TEST(NetworkKind, StalledSerialPeerFillsTheLineThenKeepsEverySendWhole) {
  qel::test::TempHome home;
  qel::sim::MachineSimSettings s;
  s.bind = "127.0.0.184";
  s.port = 0;
  s.serial = true;
  s.storeDir = home.file("got");
  qel::sim::FaultSetter setFault;
  auto sims = qel::sim::machineSimulators(s, [](const std::string&) {}, &setFault);
  std::vector<std::string> where;
  for (auto& e : sims) {
    std::string error;
    ASSERT_TRUE(e.start(&where.emplace_back(), &error)) << e.name << ": " << error;
  }
  const std::size_t at = where[1].find("/dev/");
  const std::string path = where[1].substr(at, where[1].find(' ', at) - at);
  const int fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_GE(fd, 0) << path;
  setFault("serial-stall", 1);
  // Nothing is read: the line's buffers fill and a write would block.
  std::string sent;
  const std::string chunk(512, 'S');
  ssize_t n = 0;
  while (sent.size() < (4u << 20) && (n = ::write(fd, chunk.data(), chunk.size())) > 0)
    sent.append(chunk, 0, static_cast<std::size_t>(n));
  EXPECT_TRUE(n < 0 && errno == EAGAIN) << sent.size() << " bytes went in without blocking";
  setFault("serial-stall", 0);
  // Reading again: the whole send is kept once the line goes quiet.
  const std::string kept = home.file("got/serial_001.plt");
  EXPECT_TRUE(waitUntil([&] { return std::filesystem::exists(kept) && home.readFile("got/serial_001.plt") == sent; }))
      << home.readFile("got/serial_001.plt").size() << " of " << sent.size();
  ::close(fd);
  for (auto it = sims.rbegin(); it != sims.rend(); ++it) it->stop();
}

}  // namespace
