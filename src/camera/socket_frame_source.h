#pragma once
// The camera of the simulated table as `qelcut sim` serves it: frames fetched one at a time over
// a Unix stream socket. The client writes the request byte 'F'; the service answers 'F' followed
// by 640 x 480 bytes of 8-bit grey, rows packed, rendered where the simulated head stands at
// that moment. A missing service is "no camera"; a dropped connection or an answer that takes
// longer than the frame time-out is a camera failure.
#include <string>

#include "camera/frame_source.h"

namespace qel::camera {

inline constexpr char kFrameRequest = 'F';

class SocketFrameSource final : public ThreadedFrameSource {
 public:
  // framePeriodMs: the pause between frames (25 frames a second by default).
  explicit SocketFrameSource(std::string socketPath, int framePeriodMs = 40, int timeoutMs = 1000);
  ~SocketFrameSource() override;

 protected:
  GrabEnd grab(FrameConsumer& consumer) override;

 private:
  std::string path_;
  int periodMs_;
  int timeoutMs_;
};

}  // namespace qel::camera
