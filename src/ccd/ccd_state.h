#pragma once
// The operation states of the CCD cut window and which of its controls each state enables.
#include <bitset>
#include <string>
#include <vector>

namespace qel::ccd {

// Operation states 0 to 12 as the status bar shows them (ccd_texts.h words them).
enum class CcdState : int {
  Ready = 0,
  AutoMarking = 1,
  MarkFinished = 2,
  AutoAdjusting = 3,
  AdjustFinished = 4,
  ManualAdjust = 5,
  ManualMarking = 6,
  AutoMarkingAfterManual = 7,
  ManualMarkingToCenter = 8,
  AutoMarkingAfterCenter = 9,
  ToCenter = 10,
  CenterFinished = 11,
  CalibrationCorrecting = 12,
};

enum class CcdControl : int {
  Jog,             // the four arrows and the "○" button
  Center,          // centring button
  Fast,            // "Fast" / "Slow"
  Manual,          // "Manual" / "Auto"
  Start,
  Stop,
  AutoAdjust,
  ManualAdjust,
  MarkConfirm,     // ">>" of the Mark Point group
  AdjustConfirm,   // ">>" of the adjust group
  SelectAll,
  Reverse,
  PrevPlate,
  NextPlate,
  Settings,
  SaveImage,
  LoadPara,
  CalibrationCorrection,
  CalibrationSet,
  Exit,
  Count
};

using CcdControls = std::bitset<static_cast<std::size_t>(CcdControl::Count)>;

inline bool enabled(const CcdControls& c, CcdControl k) { return c.test(static_cast<std::size_t>(k)); }

// The controls enabled after entering `state`, from those enabled before (some states change
// only a few). The text of the operation pane for a state.
CcdControls controlsFor(CcdState state, CcdControls before);
const char* operationText(CcdState state);
// The controls of a window that has just opened (state Ready).
CcdControls initialControls();

// The plate buttons over the main window's file list: "Next Plate>>" and "<<Prev Plate" move
// the current index; at either end nothing changes and the step says so (kLastFileText,
// kFirstFileText).
class PlateFiles {
 public:
  enum class Step { Moved, AtLast, AtFirst };
  PlateFiles(std::vector<std::string> files, std::size_t current) : files_(std::move(files)), index_(current) {}
  Step next() {
    if (index_ + 1 >= files_.size()) return Step::AtLast;
    ++index_;
    return Step::Moved;
  }
  Step previous() {
    if (index_ == 0 || files_.empty()) return Step::AtFirst;
    --index_;
    return Step::Moved;
  }
  std::size_t index() const { return index_; }
  const std::string& current() const { return files_.at(index_); }

 private:
  std::vector<std::string> files_;
  std::size_t index_;
};

}  // namespace qel::ccd
