// The coordinator's faults by the names its command line and control file use.
#include "sim_connection.h"

namespace qel::sim {

bool setCoordinatorFault(CoordinatorFaults& f, const std::string& name, long long value) {
  const bool on = value > 0;
  const long count = value < 0 ? -1 : static_cast<long>(value);
  if (name == "silent") f.silent = on;
  else if (name == "abort") f.downloadAbort = on;
  else if (name == "wrong-crc") f.downloadWrongCrc = on;
  else if (name == "download-silent") f.downloadSilent = on;
  else if (name == "close-after") f.dropAfterBytes = count;
  else if (name == "abort-at") f.abortAfterBytes = count;
  else if (name == "command-silent") f.commandSilent = on;
  else if (name == "noise") f.noiseOnOtherChannels = on;
  else if (name == "wrong-load-echo") f.wrongLoadEcho = on;
  else if (name == "never-ready") f.neverReady = on;
  else if (name == "refuse-header") f.refuseHeader = on;
  else if (name == "refuse-file") f.refuseFile = on;
  else if (name == "wrong-key-echo") f.wrongKeyEcho = on;
  else if (name == "wrong-loadsystem-prompt") f.wrongLoadSystemPrompt = on;
  else if (name == "wrong-confirm") f.wrongConfirm = on;
  else if (name == "bad-echo-at") f.badEchoAt = count;
  else return false;
  return true;
}

}  // namespace qel::sim
