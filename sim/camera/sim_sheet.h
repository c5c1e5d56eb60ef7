#pragma once
// The simulated table of `qelcut sim --sheet`: the printed sheet taken from a plot file (its
// registration marks, as the CCD cut window finds them), printed at a scale and turned, under a
// camera of 8 pixels per millimetre whose picture follows a head position, served on the
// home's camera socket. Also the home settings that point the CCD cut window at it.
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "camera/frame_service.h"
#include "camera/sim_table.h"

namespace qel::sim {

struct SimSheetOptions {
  std::string plotPath;
  double printScale = 1.0;
  double printRotateDeg = 0.0;
  bool markFaults = false;  // blur, noise, one smudged mark, uneven light
  // Production sheets: the job code (the plot's name without its extension) printed 22 mm right
  // of the first mark; the print stretched along its length (per cent) and turning by
  // printDriftDeg over its length; the whole sheet lying off its place (mm).
  bool codes = false;
  camera::CodeFormat codeFormat = camera::CodeFormat::QrCode;
  double printStretchPct = 0.0;
  double printDriftDeg = 0.0;
  cv::Point2d sheetOff{0.0, 0.0};
  // The n-th sheet of a stack (from 0) lies a little differently from the others: up to 1.5 mm
  // and 0.3 degrees, the same for the same n.
  int stackIndex = 0;
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

// Serves the table's camera on `socketPath`, rendering where `head` says the axes stand. With
// a stack, the first sheet lies on the table and feed() brings the next; after the last one the
// table is bare.
class SimTableCamera {
 public:
  SimTableCamera(SimSheet sheet, std::function<cv::Point2d()> head);
  SimTableCamera(const std::vector<SimSheet>& stack, std::function<cv::Point2d()> head);
  bool start(const std::string& socketPath, std::string* error);
  void stop() { service_.stop(); }
  long framesServed() const { return service_.framesServed(); }
  // Any thread: the next sheet of the stack.
  void feed() { ++index_; }
  int sheetOnTable() const { return index_.load(); }  // from 0; the stack's size when bare

 private:
  platform::FakeClock clock_;
  std::vector<std::unique_ptr<SimTable>> tables_;
  std::unique_ptr<SimTable> bare_;
  std::atomic<int> index_{0};
  std::function<cv::Point2d()> head_;
  SimCameraService service_;
};

}  // namespace qel::sim
