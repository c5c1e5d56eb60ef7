#include "config/ini_config.h"

#include <locale.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "config/ini_file.h"
#include "platform/files.h"
#include "platform/home.h"

namespace qel::config {

namespace {

constexpr std::string_view kIniName = "Config.ini";
constexpr std::string_view kCalibrationIniName = "calibration/Config.ini";

locale_t cLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

const char* groupName(int group) {
  switch (group) {
    case 1: return "INTRINSIC";
    case 2: return "DISTORTION";
    case 3: return "ROTATION";
    case 4: return "TRANSLATION";
    case 5: return "RATIO";
    default: return "";
  }
}

// The default text of a calibration element when the key is absent.
const char* cameraParaDefault(int group, int element) {
  switch (group) {
    case 1:
      if (element == 1 || element == 5) return "100";
      if (element == 3) return "320";
      if (element == 6) return "240";
      return "";
    case 2: return "0";
    case 3: return (element == 1 || element == 5 || element == 9) ? "1" : "0";
    case 4: return "0";
    case 5: return "1";
    default: return "";
  }
}

}  // namespace

CIniConfig::CIniConfig(std::string programDir)
    : programDir_(platform::withTrailingSlash(std::move(programDir))),
      iniPath_(programDir_ + std::string(kIniName)) {
  if (!platform::fileExists(iniPath_)) {
    platform::makeDirectories(programDir_);
    writeCreationValues();
  }
}

void CIniConfig::writeCreationValues() {
  write(keys::Xitong_TT, 3);
  write(keys::Xitong_IP, "192.168.0.250");
  write(keys::CUT_FT, 6);
  writeText(keys::Split_Label.section, keys::Split_Label.name, "PG;");
  write(keys::Page_Width, 1500.0);
  write(keys::Page_Height, 1200.0);
  writeText(keys::FontDispose_Enabled.section, keys::FontDispose_Enabled.name, "0");
  writeText(keys::Scale.section, keys::Scale.name, "100");
  write(keys::Language_Type, 0);
  write(keys::Watcher_Dir, programDir_ + "ListenDir");
}

std::string CIniConfig::readText(std::string_view section, std::string_view key, std::string_view defaultText) const {
  if (snapshot_) return profileValue(*snapshot_, section, key, defaultText);
  return readProfileString(iniPath_, section, key, defaultText);
}

CIniConfig CIniConfig::snapshot() const {
  CIniConfig copy(*this);
  const std::optional<std::string> text = readProfileText(iniPath_);
  copy.snapshot_ = text ? *text : std::string();
  return copy;
}

void CIniConfig::writeText(std::string_view section, std::string_view key, std::string_view value) {
  // A failed write is lost without a message, as with any profile write.
  snapshot_.reset();
  (void)writeProfileString(iniPath_, section, key, value);
}

int CIniConfig::toInt(std::string_view text) {
  std::string s(text);
  errno = 0;
  long v = std::strtol(s.c_str(), nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

double CIniConfig::toReal(std::string_view text) {
  std::string s(text);
  return strtod_l(s.c_str(), nullptr, cLocale());
}

std::string CIniConfig::formatInt(int v) { return std::to_string(v); }

std::string CIniConfig::formatReal(double v) {
  char buf[512];
  // "%f" in the C locale: 1500 is stored as 1500.000000.
  locale_t old = uselocale(cLocale());
  std::snprintf(buf, sizeof buf, "%f", v);
  uselocale(old);
  return buf;
}

std::string CIniConfig::cameraParaKey(int group, int element) {
  return std::string(groupName(group)) + std::to_string(element);
}

double CIniConfig::readCameraPara(int set, int group, int element) const {
  return toReal(readText("Camera_Para" + std::to_string(set), cameraParaKey(group, element),
                         cameraParaDefault(group, element)));
}

void CIniConfig::writeCameraPara(int set, int group, int element, double value) {
  writeText("Camera_Para" + std::to_string(set), cameraParaKey(group, element), formatReal(value));
}

double CIniConfig::readMark(int index) const {
  return index == 0 ? toReal(readText("Mark", "radius1", "6")) : toReal(readText("Mark", "radius2", "3"));
}

void CIniConfig::writeMark(int index, double value) {
  writeText("Mark", index == 0 ? "radius1" : "radius2", formatReal(value));
}

std::string CIniConfig::readBoardName(int index) const {
  return readText("Camera_BD", "name" + std::to_string(index), "M_" + std::to_string(index));
}

void CIniConfig::writeBoardName(int index, std::string_view name) {
  writeText("Camera_BD", "name" + std::to_string(index), name);
}

void CIniConfig::useCalibrationFile() {
  iniPath_ = programDir_ + std::string(kCalibrationIniName);
  snapshot_.reset();
}

void CIniConfig::useMainFile() {
  iniPath_ = programDir_ + std::string(kIniName);
  snapshot_.reset();
}

}  // namespace qel::config
