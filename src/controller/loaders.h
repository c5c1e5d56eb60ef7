#pragma once
// Program, project and system software loading over a controller's channels.
#include <cstdint>
#include <string>

#include "controller/controller.h"

namespace qel::controller {

// Load states.
enum : std::uint32_t {
  kLoadDone = 1,
  kLoadUserAbort = 2,
  kLoadCoordinatorAbort = 4,
  kLoadFileError = 8,
  kLoadCommandError = 16,
};

// 1 on success (state bit 1), else 0. Messages go to the controller's message sink.
int programLoad(CController& c, const std::string& path, void* window, std::uint32_t* stateOut = nullptr);
int projectLoad(CController& c, const std::string& path, void* window, std::uint32_t* stateOut = nullptr);
// Answers 1 once the load thread has ended; the outcome is in the texts sent to the window
// (0x502), also collected in *log when given.
int systemSoftwareLoad(CController& c, const std::string& path, void* window, std::string* log = nullptr);

// Sends text on a channel, then waits until the expected text has come back on it (a mismatch
// restarts the match). False when cancelled or, with timeoutMs > 0, when the time runs out.
bool sendAndExpect(CController& c, int channel, const std::string& send, const std::string& expect,
                   std::int64_t timeoutMs = 0);

}  // namespace qel::controller
