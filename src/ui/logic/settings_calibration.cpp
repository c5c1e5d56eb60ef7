#include "ui/logic/settings_calibration.h"

#include <algorithm>

#include "config/ini_config.h"
#include "platform/files.h"

namespace qel::ui {

namespace k = config::keys;
using config::CIniConfig;

namespace {
constexpr int kIntrinsic = static_cast<int>(config::CameraGroup::Intrinsic);
constexpr int kDistortion = static_cast<int>(config::CameraGroup::Distortion);
constexpr int kRotation = static_cast<int>(config::CameraGroup::Rotation);
constexpr int kTranslation = static_cast<int>(config::CameraGroup::Translation);
constexpr int kRatio = static_cast<int>(config::CameraGroup::Ratio);

std::string trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return {};
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

void writeValues(CIniConfig& cfg, int set, const CalibrationTexts& values) {
  for (int i = 0; i < kCalibrationFieldCount; ++i)
    cfg.writeCameraPara(set, kCalibrationFields[i].group, kCalibrationFields[i].element, CIniConfig::toReal(values[i]));
}

CalibrationTexts readValues(const CIniConfig& cfg, int set) {
  CalibrationTexts t;
  for (int i = 0; i < kCalibrationFieldCount; ++i)
    t[i] = CIniConfig::formatReal(cfg.readCameraPara(set, kCalibrationFields[i].group, kCalibrationFields[i].element));
  return t;
}

CalibrationTexts defaultValues() {
  CalibrationTexts t;
  for (int i = 0; i < kCalibrationFieldCount; ++i) {
    const auto& f = kCalibrationFields[i];
    double v = 0.0;
    if (f.group == kIntrinsic) v = f.element == 3 ? 320.0 : f.element == 6 ? 240.0 : 100.0;
    if (f.group == kRotation) v = (f.element == 1 || f.element == 5 || f.element == 9) ? 1.0 : 0.0;
    if (f.group == kRatio) v = 1.0;
    t[i] = CIniConfig::formatReal(v);
  }
  return t;
}

}  // namespace

// ratio_X multiplies plane X, which the calibration keeps in RATIO1; ratio_Y is RATIO0.
const std::array<CalibrationField, kCalibrationFieldCount> kCalibrationFields{{
    {kIntrinsic, 1, "fx"}, {kIntrinsic, 5, "fy"}, {kIntrinsic, 3, "c_x"}, {kIntrinsic, 6, "c_y"},
    {kDistortion, 1, "k1"}, {kDistortion, 2, "k2"}, {kDistortion, 3, "p1"}, {kDistortion, 4, "p2"},
    {kRotation, 1, "r1"}, {kRotation, 2, "r2"}, {kRotation, 3, "r3"}, {kRotation, 4, "r4"}, {kRotation, 5, "r5"},
    {kRotation, 6, "r6"}, {kRotation, 7, "r7"}, {kRotation, 8, "r8"}, {kRotation, 9, "r9"},
    {kTranslation, 1, "t1"}, {kTranslation, 2, "t2"}, {kTranslation, 3, "t3"},
    {kRatio, 1, "ratio_X:"}, {kRatio, 0, "ratio_Y:"},
}};

CalibrationSets::CalibrationSets(std::string homeDir) : home_(std::move(homeDir)) {}

CalibrationTexts CalibrationSets::valuesOf(int set) const {
  if (set < 0) return defaultValues();
  return readValues(CIniConfig(home_), set);
}

CalibrationTexts CalibrationSets::open() {
  const CIniConfig cfg = CIniConfig(home_).snapshot();
  const int count = std::clamp(cfg.read(k::num), 0, kMaxCalibrationSets);
  names_.clear();
  for (int i = 0; i < count; ++i) names_.push_back(cfg.readBoardName(i));
  const int cur = cfg.read(k::cur);
  chosen_ = (cur >= 0 && cur < count) ? cur : (count > 0 ? 0 : -1);
  mode_ = CalibrationMode::None;
  return chosen_ >= 0 ? readValues(cfg, chosen_) : defaultValues();
}

CalibrationTexts CalibrationSets::choose(int index) {
  chosen_ = (index >= 0 && index < static_cast<int>(names_.size())) ? index : -1;
  return valuesOf(chosen_);
}

std::optional<std::string> CalibrationSets::beginEdit() {
  if (chosen_ < 0) return std::nullopt;
  mode_ = CalibrationMode::Edit;
  return names_[chosen_];
}

CalibrationTexts CalibrationSets::beginAdd() {
  mode_ = CalibrationMode::Add;
  return valuesOf(static_cast<int>(names_.size()));
}

CalibrationSets::Confirm CalibrationSets::confirm(const std::string& name, const CalibrationTexts& values) {
  const std::string n = trimmed(name);
  if (mode_ == CalibrationMode::None || (mode_ == CalibrationMode::Edit && chosen_ < 0)) return Confirm::NotEditing;
  if (n.empty()) return Confirm::EmptyName;
  CIniConfig cfg(home_);
  if (mode_ == CalibrationMode::Edit) {
    if (n != names_[chosen_]) {
      names_[chosen_] = n;
      cfg.writeBoardName(chosen_, n);
    }
  } else {
    if (static_cast<int>(names_.size()) >= kMaxCalibrationSets) return Confirm::NotEditing;
    const int index = static_cast<int>(names_.size());
    names_.push_back(n);
    cfg.writeBoardName(index, n);
    cfg.write(k::num, index + 1);
    chosen_ = index;
  }
  writeValues(cfg, chosen_, values);
  mode_ = CalibrationMode::None;
  return Confirm::Done;
}

CalibrationTexts CalibrationSets::cancel() {
  mode_ = CalibrationMode::None;
  return valuesOf(chosen_);
}

bool CalibrationSets::removeChosen(CalibrationTexts& values) {
  if (chosen_ < 0) return false;
  const int removed = chosen_;
  const int count = static_cast<int>(names_.size());
  CIniConfig cfg(home_);
  cfg.write(k::num, count - 1);
  for (int j = removed + 1; j < count; ++j) {
    writeValues(cfg, j - 1, readValues(cfg, j));
    cfg.writeBoardName(j - 1, names_[j]);
  }
  // The vacated place reads as a new set again, so that "Add" shows the defaults there.
  writeValues(cfg, count - 1, defaultValues());
  names_.erase(names_.begin() + removed);
  chosen_ = removed < count - 1 ? removed : count - 2;
  // `cur` keeps naming the set in use; when that set went, the newly chosen one.
  const int cur = cfg.read(k::cur);
  if (cur > removed) cfg.write(k::cur, cur - 1);
  else if (cur == removed) cfg.write(k::cur, std::max(chosen_, 0));
  mode_ = CalibrationMode::None;
  values = valuesOf(chosen_);
  return true;
}

std::optional<CalibrationTexts> CalibrationSets::autoLoad() const {
  CIniConfig cfg(home_);
  cfg.useCalibrationFile();
  if (!platform::fileExists(cfg.iniPath())) return std::nullopt;
  return readValues(cfg, 0);
}

void CalibrationSets::store(const CalibrationTexts& values) const {
  if (chosen_ < 0) return;
  CIniConfig cfg(home_);
  cfg.write(k::cur, chosen_);
  if (mode_ != CalibrationMode::Add) writeValues(cfg, chosen_, values);
}

}  // namespace qel::ui
