#include "links/parallel_transfer.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "config/ini_config.h"
#include "platform/files.h"

namespace qel::links {

namespace {

std::string devicePathFor(const std::string& pattern, int port) {
  std::string::size_type at = pattern.find("%d");
  if (at == std::string::npos) return pattern;
  return pattern.substr(0, at) + std::to_string(port - 1) + pattern.substr(at + 2);
}

}  // namespace

CParallel_Transfer::CParallel_Transfer(TransferOwner& owner, std::string filePath, std::int32_t fileSize,
                                       const std::string& devicePattern)
    : owner_(owner), filePath_(std::move(filePath)), fileSize_(fileSize) {
  portNo_ = 1;
  config::CIniConfig cfg(owner_.programDir());
  portNo_ = cfg.read(config::keys::Parallel_No);
  device_ = devicePathFor(devicePattern, portNo_);
}

bool CParallel_Transfer::send() {
  owner_.setStopRequest(false);
  owner_.setProgressRange(0, 100);
  owner_.setProgressPos(1);
  success_ = copyToDevice();
  owner_.setProgressPos(0);
  return success_;
}

// The copy succeeds only when every byte of the file reached the device; a missing device or
// a short write leaves the file to be sent again.
bool CParallel_Transfer::copyToDevice() {
  if (portNo_ < 1) return false;
  // No O_CREAT: a missing printer device must not turn into a plain file.
  int out = ::open(device_.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY);
  if (out < 0) return false;
  bool ok = platform::copyInto(filePath_, out);
  if (::close(out) != 0) ok = false;
  return ok;
}

}  // namespace qel::links
