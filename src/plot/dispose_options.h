#pragma once
// The options of one dispose run, read once from the store when the run's object is made.
#include <cstdint>
#include <string>

#include "plot/cut_quality.h"
#include "plot/drawing_options.h"

namespace qel::config {
class CIniConfig;
}

namespace qel::plot {

struct DisposeOptions {
  bool optimizeFunction = true;
  bool splitPageEnabled = true;  // false also when a page size is exactly 0
  int cutFt = 6;                 // the page mode, 0 to 9
  double pageWidth = 1500.0;     // mm
  double pageHeight = 1200.0;    // mm
  bool strokeAppearOrderOfPage = false;
  std::string splitLabel = "PG;";
  int maxPageCount = 1000;       // a file needing more pages is refused before any is written
  bool addPg = true;
  bool needExtraPage = false;
  bool cutterHandle = false;
  bool leaveCut = false;
  double distLeaveCut = 1.0;     // mm
  double minDistanceClose = 0.0; // plotter units
  int spOut[4] = {1, 2, 3, 4};
  bool occ = false;
  int spn = 2;
  int detalX = 1, detalY = 1;    // mm
  bool fontDisposeEnabled = true;
  int scale = 1;
  int positionOptimize = 0;
  int fontSp = 1;
  double fontScale = 1.0, fontDistanceScale = 1.0, fontRotate = 0.0;
  double fontOffsetX = 0.0, fontOffsetY = 0.0;  // mm
  bool deletePointEnabled = false;
  int dpIntervalPoints = 3;
  double dpMinLength = 2.0, dpMinAngle = 5.0;
  bool addPointEnabled = false;
  int apTimes = 2;
  double apMinLength = 5.0, apMaxLength = 20.0, apMinAngle = 1.0, apMaxAngle = 5.0;
  bool tranCi = false;
  int arcLen = 2;                // plotter units
  int markPointSp = 8;
  // Read with the others; no stage acts on them.
  int spOrder = 0, optimizeDelayTime = 0, minAreaText = 0, machineType = 3, splitLineLength = 500,
      splitLineToolsSp = 2;

  // [CutQuality]: knife offset, overcut and weeding (all off by default).
  CutQualityOptions cutQuality;
  // Read with the others for the registration report; no plot stage acts on it.
  double maxMarkResidualMm = 0.0;  // 0 = no limit

  // [Input]: how drawings (PDF, SVG) become strokes.
  DrawingOptions drawing;

  // Inputs of at least this many bytes are written page by page while they are read, in the
  // modes where no stage needs their strokes afterwards (the model then keeps no strokes).
  std::int64_t spoolFromBytes = 1 << 20;

  // The home folder: where the label font is looked for first.
  std::string homeDir;

  static DisposeOptions read(const config::CIniConfig& cfg);
};

}  // namespace qel::plot
