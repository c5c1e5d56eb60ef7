#include "platform/net_guard.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace qel::platform {
namespace {

// The test run sets QELCUT_LOOPBACK_ONLY: nothing outside 127.0.0.0/8 may be dialled.
TEST(NetGuard, TestsMayDialLoopbackOnly) {
  ASSERT_NE(std::getenv("QELCUT_LOOPBACK_ONLY"), nullptr) << "the test environment must set it";
  for (const char* a : {"127.0.0.1", "127.0.0.90"}) EXPECT_TRUE(outgoingConnectionAllowed(inet_addr(a))) << a;
  for (const char* a : {"192.168.0.250", "10.0.0.1", "128.0.0.1"}) EXPECT_FALSE(outgoingConnectionAllowed(inet_addr(a))) << a;
}

}  // namespace
}  // namespace qel::platform
