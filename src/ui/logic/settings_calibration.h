#pragma once
// The camera calibration sets as the settings window edits them: the list of named sets of
// section Camera_BD (count `num`, names `name<i>`, the set in use `cur`), the 22 values of the
// chosen set (section Camera_Para<i>), editing and adding a set, deleting one (the later sets
// move down a place), and reading set 0 of calibration/Config.ini.
//
// Every operation opens its own store on the home folder, as every reader of Config.ini does.
// Interface thread only.
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace qel::ui {

// One value of a set, as the page lays them out: INTRINSIC fx, fy, c_x, c_y; DISTORTION k1,
// k2, p1, p2; ROTATION r1..r9; TRANSLATION t1..t3; ratio_X, ratio_Y.
struct CalibrationField {
  int group;       // config::CameraGroup
  int element;
  const char* label;
};
inline constexpr int kCalibrationFieldCount = 22;
extern const std::array<CalibrationField, kCalibrationFieldCount> kCalibrationFields;
using CalibrationTexts = std::array<std::string, kCalibrationFieldCount>;

// A broken file asking for millions of sets must not build millions of list entries.
inline constexpr int kMaxCalibrationSets = 100;

enum class CalibrationMode { None, Edit, Add };

class CalibrationSets {
 public:
  explicit CalibrationSets(std::string homeDir);

  // Reads the count, the names and the set in use; that set is chosen (set 0 when `cur` names
  // no set). Returns the values of the chosen set.
  CalibrationTexts open();

  const std::vector<std::string>& names() const { return names_; }
  int chosen() const { return chosen_; }
  CalibrationMode mode() const { return mode_; }

  // Chooses a set and returns its values (defaults for a set never stored).
  CalibrationTexts choose(int index);

  // "Edit": with a set chosen, the edit mode starts and the set's name is returned.
  std::optional<std::string> beginEdit();
  // "Add": the add mode starts; the values are those of the set numbered by the count.
  CalibrationTexts beginAdd();

  enum class Confirm { Done, EmptyName, NotEditing };
  // "OK": the trimmed name must not be empty. Edit: a changed name is stored as name<i>. Add:
  // the set is appended, `num` raised, and the new set chosen. Both store the values into the
  // set and end the mode.
  Confirm confirm(const std::string& name, const CalibrationTexts& values);
  // "Cancel": ends the mode and returns the chosen set's values as stored.
  CalibrationTexts cancel();

  // "Del" (after the operator agreed): lowers `num`, moves the later sets and names down one
  // place, and chooses the set now at that place (the new last one when the last was deleted).
  // `cur` keeps naming the set it named. False when no set is chosen. Returns the values of the
  // newly chosen set through `values`.
  bool removeChosen(CalibrationTexts& values);

  // Auto Load: the values of set 0 of calibration/Config.ini; nothing when that file is missing.
  std::optional<CalibrationTexts> autoLoad() const;

  // The settings window's "Save": stores `cur` and the shown values into the chosen set (not
  // while a set is being added: those values belong to no set yet). Nothing without a set.
  void store(const CalibrationTexts& values) const;

 private:
  CalibrationTexts valuesOf(int set) const;

  std::string home_;
  std::vector<std::string> names_;
  int chosen_ = -1;
  CalibrationMode mode_ = CalibrationMode::None;
};

}  // namespace qel::ui
