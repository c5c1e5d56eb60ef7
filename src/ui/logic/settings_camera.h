#pragma once
// The camera, mark and motion values of the "Camera&&Machine" page without its widgets: what
// the page shows when it opens and the checks the settings window's "Save" runs before any of
// them is stored. The calibration sets of the same page are settings_calibration.h.
#include <optional>
#include <string>
#include <vector>

#include "ui/logic/field_rules.h"

namespace qel::config {
class CIniConfig;
}

namespace qel::ui {

// markType: the entries of the "Target Type:" list.
enum class TargetType { Circle = 0, Cross = 1 };

struct CameraForm {
  std::string cameraCx, cameraCy;  // camera offset, mm
  TargetType target = TargetType::Circle;
  std::string markTime;              // "Mark times limit:"
  std::string radius, tolerance;     // mark radius ± tolerance, mm
  std::string markSp;                // pen of the mark strokes
  bool autoFirstPoint = false;       // autoMove2FirstMarkPoint
  bool shareMark = false;
  std::string blockXLow, blockXHigh, blockYLow, blockYHigh;  // mm
  std::string speed, accel;
  std::string captureDelay;          // WaitTime4Capture, ms
  std::string axisYRotate;           // degrees
};

// The radius fields mean something for circles only.
inline bool radiusEnabled(TargetType t) { return t == TargetType::Circle; }

// markType 0 is a circle; any other value a cross (as the detector reads it).
TargetType targetTypeOf(int markType);

CameraForm loadCamera(const config::CIniConfig& cfg);

inline constexpr int kAccelMin = 1000;
inline constexpr int kAccelMax = 5000;

// The numeric fields of the page with their rules (field names are the widgets' object names);
// "Accel/Decel:" has its own check and message below and is not among them. The radius fields
// are checked for circle marks only.
std::vector<FieldCheck> cameraFieldChecks(const CameraForm& form);
// The rule of one field (its validator), "accel" and the calibration values included.
std::optional<NumberRule> cameraRule(const std::string& field);
// The calibration values: any real number of plain notation.
inline constexpr NumberRule kCalibrationValueRule{-1e9, 1e9, false};
std::optional<FieldRefusal> cameraRefusal(const CameraForm& form);

// The checks, in order; the first that fails is the answer (FieldRefused: cameraRefusal says
// which field).
enum class CameraCheck { Accepted, BlockXReversed, BlockYReversed, AccelOutOfRange, FieldRefused };
CameraCheck checkCamera(const CameraForm& form);

// Checks, and only when every check passed stores markType, camera_cx, camera_cy,
// WaitTime4Capture, MoveSpeed, MoveAccel, markTime, radius1, radius2, the four block limits,
// autoMove2FirstMarkPoint, AxisYRotate, MarkPoint_SP and shareMark. Reals are the decimal
// conversion of their text, integers its leading digits.
CameraCheck saveCamera(config::CIniConfig& cfg, const CameraForm& form);

}  // namespace qel::ui
