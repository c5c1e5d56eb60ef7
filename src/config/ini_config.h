#pragma once
// The configuration store: every setting is one key of one section of Config.ini in the
// home folder. No cache: construct a store, read or write what you need, drop it.
#include <optional>
#include <string>
#include <string_view>

#include "config/ini_file.h"

namespace qel::config {

// A key of the file: its section, its name, and its default as text (the default is handed
// to the profile read and converted like a stored value). Writable keys are the ones a part
// of the system writes in normal use; the others change only by editing the file.
template <class T, bool Writable>
struct Key {
  std::string_view section;
  std::string_view name;
  std::string_view defaultText;
};

template <bool W> using IntKeyT = Key<int, W>;
template <bool W> using RealKeyT = Key<double, W>;
template <bool W> using TextKeyT = Key<std::string, W>;

// A folder key: absent (or empty) it reads as the program directory + a fixed folder name.
template <bool Writable>
struct DirKey {
  std::string_view section;
  std::string_view name;
  std::string_view folder;
};

namespace keys {
// clang-format off
#define QEL_INT(sec, key, def, w)  inline constexpr Key<int, w> key{sec, #key, def};
#define QEL_REAL(sec, key, def, w) inline constexpr Key<double, w> key{sec, #key, def};
#define QEL_TEXT(sec, key, def, w) inline constexpr Key<std::string, w> key{sec, #key, def};

QEL_INT("System", DebugStatus, "0", false)

QEL_INT("Transfer_Config", Print_Unfinished, "0", false)
QEL_INT("Transfer_Config", Transfer_DelayTime, "5", false)
QEL_INT("Transfer_Config", Xitong_TT, "3", true)
// Unattended queues (qelcut watch) resume by themselves after the machine was out of reach:
// first after Resume_FirstWait seconds, each wait twice the last up to Resume_MaxWait (0: never).
QEL_INT("Transfer_Config", Resume_FirstWait, "10", true)
QEL_INT("Transfer_Config", Resume_MaxWait, "300", true)

QEL_INT("Parallel", Parallel_No, "1", false)

QEL_TEXT("Serial", Serial_Comport, "COM1", false)
QEL_TEXT("Serial", Serial_Baudrate, "38400", false)
QEL_INT("Serial", Serial_Parity, "0", false)
QEL_TEXT("Serial", Serial_DataBits, "8", false)
QEL_INT("Serial", Serial_StopBits, "0", false)
QEL_INT("Serial", Serial_Protocol, "0", false)

QEL_INT("Modbus", Modbus_LinkType, "2", false)
QEL_INT("Modbus", RS232_No, "1", false)
QEL_INT("Modbus", RS232_FastMode, "0", false)
QEL_TEXT("Modbus", Xitong_IP, "192.168.0.250", true)
QEL_INT("Modbus", PCI_No, "5", false)
QEL_INT("Modbus", Channel_Protocol_Enabled, "0", false)
QEL_INT("Modbus", Channel_No, "5", false)
QEL_INT("Modbus", TimeOut_Enabled, "1", false)
QEL_INT("Modbus", Time_Value, "60", false)

QEL_INT("Split_Page", Split_Page_Enabled, "1", false)
QEL_INT("Split_Page", StrokeAppearOrderOfPage, "0", false)
QEL_INT("Split_Page", CUT_FT, "6", true)
QEL_TEXT("Split_Page", Split_Label, "PG;", false)
QEL_INT("Split_Page", Add_PG, "1", false)
QEL_INT("Split_Page", Machine_Type, "3", false)
QEL_REAL("Split_Page", Page_Width, "1500", true)
QEL_REAL("Split_Page", Page_Height, "1200", true)
QEL_INT("Split_Page", Need_ExtraPage, "0", false)
QEL_INT("Split_Page", Split_LineLength, "500", false)
QEL_INT("Split_Page", Split_LineToolsSP, "2", false)

QEL_INT("FontDispose", FontDispose_Enabled, "1", false)
QEL_INT("FontDispose", Scale, "1", false)

QEL_INT("Contour", OCC, "0", true)
QEL_INT("Contour", SPN, "2", true)

QEL_INT("DeletePoint", DeletePoint_Enabled, "0", false)
QEL_INT("DeletePoint", DPIntervalPoints, "3", false)
QEL_REAL("DeletePoint", DPMinLength, "2", false)
QEL_REAL("DeletePoint", DPMinAngle, "5", false)

QEL_INT("AddPoint", AddPoint_Enabled, "0", false)
QEL_INT("AddPoint", APTimes, "2", false)
QEL_REAL("AddPoint", APMinLength, "5", false)
QEL_REAL("AddPoint", APMaxLength, "20", false)
QEL_REAL("AddPoint", APMinAngle, "1", false)
QEL_REAL("AddPoint", APMaxAngle, "5", false)

QEL_INT("RollMotion", detal_x, "1", true)
QEL_INT("RollMotion", detal_y, "1", true)

QEL_INT("Optimize", Optimize_Function, "1", false)
QEL_INT("Optimize", Cutter_Handle, "0", false)
QEL_INT("Optimize", Leave_Cut, "0", false)
QEL_REAL("Optimize", Dist_Leave_Cut, "1", false)
QEL_REAL("Optimize", MinDistance_Close, "0", false)
QEL_INT("Optimize", SP_OutOne, "1", false)
QEL_INT("Optimize", SP_OutTwo, "2", false)
QEL_INT("Optimize", SP_OutThird, "3", false)
QEL_INT("Optimize", SP_OutFour, "4", false)
QEL_INT("Optimize", Font_SP, "1", true)
QEL_REAL("Optimize", Font_Scale, "1", true)
QEL_REAL("Optimize", Font_Distance_Scale, "1", true)
QEL_REAL("Optimize", Font_Rotate, "0", true)
QEL_REAL("Optimize", Font_Offset_X, "0", true)
QEL_REAL("Optimize", Font_Offset_Y, "0", true)
QEL_INT("Optimize", TranCI, "0", true)
QEL_INT("Optimize", ArcLen, "2", true)
// Read with the dispose options; no stage acts on them.
QEL_INT("Optimize", SP_Order, "0", false)
QEL_INT("Optimize", Optimize_DelayTime, "0", false)
QEL_INT("Optimize", MinArea_Text, "0", false)
QEL_INT("Optimize", Position_Optimize, "0", false)

// Cut quality for vinyl cutting: knife offset, overcut, weeding, the registration residual
// limit. Every default leaves the cut as drawn; lengths in mm, the corner angle in degrees.
QEL_REAL("CutQuality", KnifeOffset, "0", true)
QEL_REAL("CutQuality", KnifeCornerAngle, "30", true)
QEL_REAL("CutQuality", Overcut, "0", true)
QEL_INT("CutQuality", WeedBox, "0", true)
QEL_INT("CutQuality", WeedLines, "0", true)
QEL_REAL("CutQuality", WeedMargin, "5", true)
QEL_INT("CutQuality", WeedPen, "2", true)
QEL_REAL("CutQuality", MaxMarkResidual, "0", true)

// Drawings (PDF, SVG): the spot colours and RGB colours of cut lines and their pens, fills and
// every stroke as cut lines, the registration colours, curve tolerance and page gap (mm).
QEL_TEXT("Input", CutColours, "CutContour,Thru-cut,Kiss-cut,Perf-cut,Die*", false)
QEL_TEXT("Input", CutPens, "", false)
QEL_TEXT("Input", CutRGB, "#FF00FF", false)
QEL_INT("Input", CutAll, "0", false)
QEL_INT("Input", CutFills, "0", false)
QEL_REAL("Input", Tolerance, "0.01", false)
QEL_REAL("Input", PageGap, "20", false)
QEL_TEXT("Input", MarkColours, "Regmark,Registration,All", false)

QEL_INT("Language_ID", Language_Type, "1", true)

// The cutter's name as a network printer (qelcut printer-app); empty: named after its link.
QEL_TEXT("Printer", Printer_Name, "", false)

QEL_INT("Watcher", Watcher_Enabled, "0", false)
QEL_INT("Watcher", Watcher_SubDir, "0", false)
QEL_TEXT("Watcher", Watcher_Filter, "*.plt", false)
// A new file is taken once it has stayed unchanged (and closed by its writer) this long, in ms.
QEL_INT("Watcher", Watcher_SettleMs, "2000", true)

QEL_INT("Camera", MarkPoint_SP, "8", true)
QEL_INT("Camera", markType, "0", true)
QEL_INT("Camera", shareMark, "0", true)
QEL_INT("Camera", minRadius, "25", false)
QEL_INT("Camera", maxRadius, "100", false)
QEL_REAL("Camera", camera_cx, "0", true)
QEL_REAL("Camera", camera_cy, "0", true)
QEL_REAL("Camera", rotate, "0", true)
QEL_INT("Camera", isMirror, "0", true)
QEL_INT("Camera", cutType, "0", true)
QEL_INT("Camera", autoMove2FirstMarkPoint, "0", true)
QEL_INT("Camera", markTime, "2", true)
QEL_REAL("Camera", ratio_px, "1", true)
QEL_REAL("Camera", ratio_px_low, "0.01", false)
QEL_REAL("Camera", ratio_px_high, "10", false)
QEL_REAL("Camera", ratio_py, "1", true)
QEL_REAL("Camera", ratio_py_low, "0.01", false)
QEL_REAL("Camera", ratio_py_high, "10", false)
QEL_INT("Camera", WaitTime4Capture, "500", true)
// Production print-and-cut: marks searched for out to SearchRadius (mm), measured again below
// MinConfidence, taken where they lie within CentreTolerance pixels of the picture's centre.
QEL_REAL("Camera", SearchRadius, "10", true)
QEL_REAL("Camera", MinConfidence, "0.5", true)
QEL_REAL("Camera", CentreTolerance, "40", true)
QEL_INT("Camera", StandStillMs, "40", true)  // two position reads this far apart that agree: standing
// Sheets recognised by their job code (cut files in JobDir, fed by the coordinator), long media
// registered in segments of SegmentLength mm (0: the whole plate at once), where the first mark
// of the last job was found ("x,y" machine mm, empty before the first job).
QEL_REAL("CCD", SegmentLength, "0", true)
QEL_INT("CCD", UnknownJob, "0", true)   // a code that names no job: 0 stops the run, 1 skips the sheet
QEL_INT("CCD", MissingCode, "0", true)  // a sheet with marks but no code: 0 stops, 1 skips
QEL_INT("CCD", FeedTimeout, "60000", true)
QEL_TEXT("CCD", FirstMark, "", true)

QEL_REAL("Machine", AxisYRotate, "0", true)
QEL_INT("Machine", MoveAccel, "1000", true)
QEL_INT("Machine", MoveSpeed, "500", true)
QEL_REAL("Machine", MoveBlockXLow, "0", true)
QEL_REAL("Machine", MoveBlockXHigh, "2000", true)
QEL_REAL("Machine", MoveBlockYLow, "0", true)
QEL_REAL("Machine", MoveBlockYHigh, "2000", true)

QEL_INT("Camera_BD", num, "5", true)
QEL_INT("Camera_BD", cur, "0", true)

#undef QEL_INT
#undef QEL_REAL
#undef QEL_TEXT

inline constexpr DirKey<true> Watcher_Dir{"Watcher", "Watcher_Dir", "ListenDir"};
inline constexpr DirKey<false> SPD{"SavePrinted", "SPD", "PrintedDir"};
inline constexpr DirKey<false> SCD{"SaveCancelled", "SCD", "CancelledDir"};
inline constexpr DirKey<false> TPD{"TempPrinted", "TPD", "TempDir"};
inline constexpr DirKey<true> JobDir{"CCD", "JobDir", "Jobs"};
// clang-format on
}  // namespace keys

// Groups of the Camera_Para<i> sections.
enum class CameraGroup : int { Intrinsic = 1, Distortion = 2, Rotation = 3, Translation = 4, Ratio = 5 };

class CIniConfig {
 public:
  // programDir: the home folder; it gets a trailing '/' if it lacks one. Creates the folder
  // and, when Config.ini is missing, writes the first-run values.
  explicit CIniConfig(std::string programDir);

  const std::string& programDir() const { return programDir_; }
  const std::string& iniPath() const { return iniPath_; }

  // Whether the file in use can be read. When it is there but unreadable (binary data, a
  // wrong byte-order mark, ...) every read gives the key's default and writes keep its bytes:
  // callers log the reason and show it to the user, since the defaults (the machine address
  // among them) are rarely what the user set.
  ProfileFileCheck fileCheck() const { return checkProfileFile(iniPath_); }

  template <bool W> int read(const Key<int, W>& k) const { return toInt(readText(k.section, k.name, k.defaultText)); }
  template <bool W> double read(const Key<double, W>& k) const { return toReal(readText(k.section, k.name, k.defaultText)); }
  template <bool W> std::string read(const Key<std::string, W>& k) const { return readText(k.section, k.name, k.defaultText); }
  template <bool W> std::string read(const DirKey<W>& k) const;

  void write(const Key<int, true>& k, int v) { writeText(k.section, k.name, formatInt(v)); }
  void write(const Key<double, true>& k, double v) { writeText(k.section, k.name, formatReal(v)); }
  void write(const Key<std::string, true>& k, std::string_view v) { writeText(k.section, k.name, v); }
  void write(const DirKey<true>& k, std::string_view v) { writeText(k.section, k.name, v); }

  // Camera_Para<set>, key <group name><element>: reals.
  double readCameraPara(int set, int group, int element) const;
  void writeCameraPara(int set, int group, int element, double value);
  static std::string cameraParaKey(int group, int element);

  // [Mark]: index 0 is radius1, 1 is radius2.
  double readMark(int index) const;
  void writeMark(int index, double value);

  // [Camera_BD] name<i>, default M_<i>.
  std::string readBoardName(int index) const;
  void writeBoardName(int index, std::string_view name);

  // A store that answers reads from the file as it is now, read once: for a part that takes
  // many keys at one moment (the options of one dispose run). A write on it goes to the file
  // and ends the snapshot.
  CIniConfig snapshot() const;

  // Switches reads and writes to calibration/Config.ini and back.
  void useCalibrationFile();
  void useMainFile();

  // Raw access by section and key, as an editor of the file would do.
  std::string readText(std::string_view section, std::string_view key, std::string_view defaultText) const;
  void writeText(std::string_view section, std::string_view key, std::string_view value);

  // The conversions of stored texts.
  static int toInt(std::string_view text);
  static double toReal(std::string_view text);
  static std::string formatInt(int v);
  static std::string formatReal(double v);

 private:
  void writeCreationValues();

  std::string programDir_;
  std::string iniPath_;
  std::optional<std::string> snapshot_;  // the file's text, when this store is a snapshot
};

template <bool W>
std::string CIniConfig::read(const DirKey<W>& k) const {
  std::string v = readText(k.section, k.name, "");
  if (v.empty()) return programDir_ + std::string(k.folder);
  return v;
}

}  // namespace qel::config
