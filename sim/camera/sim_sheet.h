#pragma once
// The simulated table of `qelcut sim --sheet`: the printed sheet taken from a plot file (its
// registration marks, as the CCD cut window finds them), printed at a scale and turned, under a
// camera of 8 pixels per millimetre whose picture follows a head position, served on the
// home's camera socket. Also the home settings that point the CCD cut window at it.
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "camera/frame_service.h"
#include "camera/sim_table.h"

namespace qel::sim {

struct SimSheetOptions {
  std::string plotPath;
  double printScale = 1.0;
  double printRotateDeg = 0.0;
  bool markFaults = false;  // blur, noise, one smudged mark, uneven light
};

// The sheet and camera described by the plot's marks (mark pen and page mode from the home's
// Config.ini); nullopt with the reason when the plot cannot be read or holds no mark.
struct SimSheet {
  SheetSpec sheet;
  CameraSpec camera;
  double markRadiusMm = 4.0;
};
std::optional<SimSheet> loadSimSheet(const std::string& home, const SimSheetOptions& o, std::string* error);

// Points the home's CCD cut window at the simulated table: frame source "sim" on the home's
// camera socket, a calibration set describing the simulated camera in the current set, the
// mark radius, the circle or cross detector, the "CCD CUT" page mode and the automatic move to
// the first mark.
void configureHomeForSimTable(const std::string& home, const SimSheet& s);

// Serves the table's camera on `socketPath`, rendering where `head` says the axes stand.
class SimTableCamera {
 public:
  SimTableCamera(SimSheet sheet, std::function<cv::Point2d()> head);
  bool start(const std::string& socketPath, std::string* error);
  void stop() { service_.stop(); }
  long framesServed() const { return service_.framesServed(); }

 private:
  platform::FakeClock clock_;
  SimTable table_;
  std::function<cv::Point2d()> head_;
  SimCameraService service_;
};

}  // namespace qel::sim
