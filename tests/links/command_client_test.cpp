// One command client shared by two threads, as the CCD cut window shares it between the jog
// buttons and a running job: every answer must reach the thread that asked for it.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "coordinator_services.h"
#include "links/mc_command.h"

using namespace qel;

TEST(CommandClient, TwoThreadsHammeringOneClientEachGetTheirOwnAnswers) {
  sim::CoordinatorServiceOptions o;
  o.mpePort = 0;
  o.controlPort = -1;
  o.commandPort = 0;
  std::string error;
  auto coordinator = sim::startCoordinatorServices("127.0.0.191", o, &error);
  ASSERT_TRUE(coordinator) << error;
  links::CMC_Command client;
  client.setAddress("127.0.0.191");
  client.setPort(coordinator->commandPort());

  // Each thread writes its own VR and reads it back at once; the jog thread also switches an
  // output between its reads. A reply read by the wrong thread shows as a wrong value.
  constexpr int kRounds = 300;
  std::atomic<int> wrong{0}, failed{0};
  auto worker = [&](int vr, int output, double base) {
    for (int i = 0; i < kRounds; ++i) {
      const double want = base + i;
      double got = -1;
      if (!client.setVr(vr, want) || !client.getVr(vr, &got)) ++failed;
      else if (got != want) ++wrong;
      if (output > 0 && !client.setOutput(output, i % 2)) ++failed;
    }
  };
  std::thread jog(worker, 101, 40, 5000.0);
  std::thread job(worker, 100, 0, 1000.0);
  jog.join();
  job.join();
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(coordinator->model().vr(100), 1000.0 + kRounds - 1);
  EXPECT_EQ(coordinator->model().vr(101), 5000.0 + kRounds - 1);
  EXPECT_EQ(coordinator->model().output(40), (kRounds - 1) % 2);
  EXPECT_TRUE(client.connected());
}
