#include <cstring>

#include "camera/frame_source.h"
#include "camera/socket_frame_source.h"
#include "config/ini_config.h"
#ifdef QEL_CAMERA_ARAVIS
#include "camera/aravis_frame_source.h"
#endif

namespace qel::camera {

std::unique_ptr<FrameSource> makeConfiguredFrameSource(const std::string& home, std::string* what) {
  config::CIniConfig cfg(home);
  const std::string kind = cfg.readText(kFrameSourceSection, kFrameSourceKey, "genicam");
  if (kind == "sim") {
    std::string path = cfg.readText(kFrameSourceSection, kSimCameraSocketKey, "");
    if (path.empty()) path = cfg.programDir() + kSimCameraSocketName;
    if (what) *what = "simulated table camera at " + path;
    return std::make_unique<SocketFrameSource>(path);
  }
#ifdef QEL_CAMERA_ARAVIS
  if (what) *what = "first GenICam camera (Aravis)";
  return std::make_unique<AravisFrameSource>();
#else
  if (what) *what = "GenICam camera (not part of this build)";
  return nullptr;
#endif
}

}  // namespace qel::camera
