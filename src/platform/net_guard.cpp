#include "platform/net_guard.h"

#include <arpa/inet.h>

#include <cstdlib>
#include <cstring>

namespace qel::platform {

bool outgoingConnectionAllowed(std::uint32_t addrNetOrder) {
  static const bool loopbackOnly = [] {
    const char* v = std::getenv("QELCUT_LOOPBACK_ONLY");
    return v && *v && std::strcmp(v, "0") != 0;
  }();
  return !loopbackOnly || (ntohl(addrNetOrder) >> 24) == 127;
}

}  // namespace qel::platform
