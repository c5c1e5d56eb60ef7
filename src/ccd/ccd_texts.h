#pragma once
// The fixed English texts of the CCD cut window and its jobs, in one place. The workflow reports
// numbers and enumerations; the window (and the command line) turn them into these texts, and
// the translation files hold their Chinese counterparts.
#include <string>

namespace qel::ccd {

// Operation pane, by state.
inline constexpr const char* kOperateReadyText = "Operate: Ready";
inline constexpr const char* kOperateReadyBetweenPiecesText = "Operate: Ready ";  // Deliberate: trailing blank
inline constexpr const char* kOperateAutoMarkingText = "Operate: Auto Marking";
inline constexpr const char* kOperateMarkFinishedText = "Operate: Mark finished";
inline constexpr const char* kOperateAutoAdjustingText = "Operate: Auto Adjusting";
inline constexpr const char* kOperateManualMarkingText = "Operate: Manual Marking";
inline constexpr const char* kOperateManualToCenterText = "Operate: Manual Marking(to Center)";
inline constexpr const char* kOperateToCenterText = "Operate: To Center";
inline constexpr const char* kOperateCalibrationText = "Operate: Calibration correcting";
inline constexpr const char* kOperateOtherText = "Operate:";

// File pane.
inline constexpr const char* kFileReadyText = "File: Ready";
inline constexpr const char* kFileLoadingText = "File: Loading";
inline constexpr const char* kFileLoadFinishedText = "File: Load finished";
inline constexpr const char* kFileNotExistText = "File: Not exist";
inline constexpr const char* kFileFormatErrorText = "File: Format error, Load failed";
inline constexpr const char* kFilePatternSelectedText = "File: Pattern selected";
inline constexpr const char* kFilePatternUnselectedText = "File: Pattern unselected";
inline constexpr const char* kFileMovingText = "File: Moving";
inline constexpr const char* kFileMoveFinishedText = "File: Move finished";
inline constexpr const char* kFileSavingText = "File: Saving selected pattern";
inline constexpr const char* kFileSaveFinishedText = "File: Save selected pattern finished";
inline constexpr const char* kFileSaveFailedText = "File: Save selected pattern failed";
inline constexpr const char* kFileSaveTmpFailedText = "File: Save tmp file faild";
inline constexpr const char* kFileSendingText = "File: Sending selected pattern";
inline constexpr const char* kFileSendFinishedText = "File: Send selected pattern finished";
inline constexpr const char* kFileSendFailedText = "File: Send selected pattern failed";

// Questions (OK/Cancel) with their titles.
inline constexpr const char* kInformationTitle = "Information";
inline constexpr const char* kTipTitle = "Tip";
inline constexpr const char* kErrorTitle = "Error";
inline constexpr const char* kManualMarkingQuestion =
    "Can't capture the mark point,Change to manual mode? Press 'OK' to change, Press 'Cancel' to stop";
inline constexpr const char* kConfirmMarkQuestion = "Press 'OK' to confirm";
inline constexpr const char* kExitQuestion = "Are you sure to exit the CCD CUT mode?";
// kCorrectionConfirmText and kAdjustRedoText are in procedures.h.

// Messages.
inline constexpr const char* kOutOfBlockText = "Machine going to out of  block, Forced stop it.";  // Deliberate: two blanks
inline constexpr const char* kCreateHandleFailedText = "Create adjust handle failed!";
inline constexpr const char* kSaveFileFailedText = "save file failed!";
inline constexpr const char* kLastFileText = "This file is the last one!";
inline constexpr const char* kFirstFileText = "This file is the first one!";
// kTooFewMarksText, kThreeMarksText and kMarkResidualFormat are in camera/registration.h,
// kNoMarkText in camera/procedures.h.

// Production runs: the first mark's place, job codes, the feeder, marks left out.
inline constexpr const char* kFirstMarkFarFormat =
    "The first mark was found %.1f mm from its place (%.1f, %.1f): it is not used. Put the head over the "
    "sheet's first mark and start again.";
inline constexpr const char* kUnknownJobFormat = "The sheet's code \"%s\" names no job in %s.";
inline constexpr const char* kNoCodeText = "No job code was found beside the first mark.";
inline constexpr const char* kFeedFailedText = "The sheet feeder did not answer.";
inline constexpr const char* kMarksMissingText = "Too few marks were found to fit the pattern.";

// Cut-type box labels, by value.
inline constexpr const char* kCutTypeLabels[] = {"Print Marks", "Print Patterns", "Auto Multi Print",
                                                 "Auto Repeat Print", "Caculate Y-Axis Rotate", "Auto (by code)"};

}  // namespace qel::ccd
