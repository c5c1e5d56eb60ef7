// The camera procedures' machine head over the command client, against the simulator.
#include <gtest/gtest.h>


#include "coordinator_services.h"
#include "ccd/command_client_head.h"
#include "support/wait.h"

using namespace qel;

TEST(CommandClientHead, MovesAndReadsBothAxesInEitherOrder) {
  sim::CoordinatorServiceOptions o;
  o.controlPort = -1;
  std::string error;
  auto s = sim::startCoordinatorServices("127.0.0.98", o, &error);
  ASSERT_TRUE(s) << error;
  links::CMC_Command mc;
  mc.setAddress("127.0.0.98");
  ccd::CommandClientHead head(mc);
  ASSERT_TRUE(head.moveAbsolute({1, 0}, {4.0, 3.0}, 100000.4, 1000000));
  EXPECT_NE(s->commandLineBytes().find("base(0,1)\rspeed=100000\raccel=1000000\rdecel=1000000\rmoveabs(3.000000,4.000000)\r"),
            std::string::npos);
  // The move ends in the simulator's own time.
  EXPECT_TRUE(test::waitUntil([&] { return head.readAxis(0) == 3.0; }));
  EXPECT_EQ((std::vector{head.readAxis(0), head.readAxis(1), head.readAxis(2)}), (std::vector<std::optional<double>>{3.0, 4.0, {}}));
  EXPECT_FALSE(head.moveAbsolute({0, 0}, {1, 2}, 1, 1));
  EXPECT_FALSE(head.stopRequested());
}
