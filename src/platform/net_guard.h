#pragma once
// A safety net for tests and demonstrations: with QELCUT_LOOPBACK_ONLY set (scripts/test and
// scripts/run set it), every outgoing connection to an address outside 127.0.0.0/8 is refused
// before it is attempted, so a test that forgot to point its config at a simulator can never
// reach a real machine's address.
#include <cstdint>

namespace qel::platform {

// addrNetOrder: an IPv4 address in network byte order.
bool outgoingConnectionAllowed(std::uint32_t addrNetOrder);

}  // namespace qel::platform
