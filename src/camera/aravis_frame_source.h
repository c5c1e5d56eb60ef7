#pragma once
// The GenICam camera through Aravis: the first camera found, "Width" 640 and "Height" 480,
// Mono8, frames fetched by the grab thread with a 1000 ms time-out. A time-out or any other
// Aravis error ends grabbing as a camera failure.
#include <string>
#include <vector>

#include "camera/frame_source.h"

namespace qel::camera {

struct AravisOptions {
  // Aravis interfaces to search ("GigEVision", "USB3Vision", "Fake", ...). Empty: GigE Vision
  // and USB3 Vision; with QELCUT_LOOPBACK_ONLY set, GigE Vision is left out, since its discovery
  // broadcasts on every network interface.
  std::vector<std::string> interfaces;
  int timeoutMs = 1000;   // per frame
  int bufferCount = 4;    // buffers queued to the stream
};

class AravisFrameSource final : public ThreadedFrameSource {
 public:
  explicit AravisFrameSource(AravisOptions options = {});
  ~AravisFrameSource() override;

  // Sets a string feature of the open camera (for example "TriggerMode" to "On"). Call it from
  // the consumer on the grab thread; false when no camera is open or the camera refuses.
  bool setFeature(const std::string& name, const std::string& value);
  // Sets the acquisition frame rate of the open camera; same rules as setFeature.
  bool setFrameRate(double framesPerSecond);

 protected:
  GrabEnd grab(FrameConsumer& consumer) override;

 private:
  AravisOptions options_;
  void* camera_ = nullptr;  // ArvCamera*, owned by the grab thread while it runs
};

}  // namespace qel::camera
