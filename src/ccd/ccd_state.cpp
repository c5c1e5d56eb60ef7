#include "ccd/ccd_state.h"

#include <initializer_list>

#include "ccd/ccd_texts.h"

namespace qel::ccd {

namespace {

void set(CcdControls& c, std::initializer_list<CcdControl> list, bool on) {
  for (CcdControl k : list) c.set(static_cast<std::size_t>(k), on);
}

}  // namespace

CcdControls initialControls() { return controlsFor(CcdState::Ready, {}); }

CcdControls controlsFor(CcdState state, CcdControls c) {
  using C = CcdControl;
  switch (state) {
    case CcdState::Ready:
    case CcdState::MarkFinished:
    case CcdState::AdjustFinished:
    case CcdState::CenterFinished:
      c.set();
      set(c, {C::Stop, C::MarkConfirm}, false);
      break;
    case CcdState::AutoMarking:
      c.reset();
      set(c, {C::Stop}, true);
      break;
    case CcdState::AutoAdjusting:
    case CcdState::ToCenter:
    case CcdState::CalibrationCorrecting:
      set(c, {C::Jog, C::Start, C::Settings, C::AutoAdjust, C::ManualAdjust, C::Center, C::SaveImage, C::LoadPara,
              C::CalibrationCorrection, C::CalibrationSet},
          false);
      set(c, {C::PrevPlate, C::NextPlate, C::Reverse}, true);
      // Deliberate: Stop stays usable, so that a running job can always be ended.
      set(c, {C::Stop}, true);
      break;
    case CcdState::ManualAdjust:
      set(c, {C::AutoAdjust, C::ManualAdjust, C::Start, C::Stop, C::SaveImage, C::CalibrationCorrection}, false);
      set(c, {C::Jog, C::PrevPlate, C::NextPlate, C::AdjustConfirm}, true);
      break;
    case CcdState::ManualMarking: set(c, {C::Jog, C::Center, C::Fast, C::Manual, C::MarkConfirm}, true); break;
    case CcdState::AutoMarkingAfterManual:
      set(c, {C::Jog, C::Center, C::Fast, C::Manual, C::MarkConfirm}, false);
      break;
    case CcdState::AutoMarkingAfterCenter:
      set(c, {C::Jog, C::Center, C::Fast, C::Manual}, false);
      set(c, {C::MarkConfirm}, true);
      break;
    case CcdState::ManualMarkingToCenter: set(c, {C::Center}, false); break;
  }
  return c;
}

const char* operationText(CcdState state) {
  switch (state) {
    case CcdState::Ready: return kOperateReadyText;
    case CcdState::AutoMarking:
    case CcdState::AutoMarkingAfterManual:
    case CcdState::AutoMarkingAfterCenter: return kOperateAutoMarkingText;
    case CcdState::MarkFinished:
    case CcdState::AdjustFinished:
    case CcdState::CenterFinished: return kOperateMarkFinishedText;
    case CcdState::AutoAdjusting: return kOperateAutoAdjustingText;
    case CcdState::ManualAdjust: return nullptr;  // the text stays as it was
    case CcdState::ManualMarking: return kOperateManualMarkingText;
    case CcdState::ManualMarkingToCenter: return kOperateManualToCenterText;
    case CcdState::ToCenter: return kOperateToCenterText;
    case CcdState::CalibrationCorrecting: return kOperateCalibrationText;
  }
  return kOperateOtherText;
}

}  // namespace qel::ccd
