#pragma once
// The "Process" page of the settings window without its widgets: the transfer type and page
// mode lists, the label and contour options, the rules that enable the fields, and what "Save"
// stores in Config.ini. The page binds its widgets to a ProcessForm and asks this unit.
#include <optional>
#include <string>
#include <vector>

#include "config/modes.h"
#include "ui/logic/field_rules.h"

namespace qel::config {
class CIniConfig;
}

namespace qel::ui {

// The window's transfer type list offers the links from Controller to Coordinator (Xitong_TT
// 3, 4, 5), in that order.
using TransferType = config::LinkType;
inline constexpr TransferType kFirstTransferEntry = TransferType::Controller;
// The window's page mode list offers the modes from HardPartition to CcdCut (CUT_FT 4 to 9), in
// that order.
using SplitMode = config::PageMode;
inline constexpr SplitMode kFirstSplitEntry = SplitMode::HardPartition;

inline constexpr int kTransferEntries = 3;
inline constexpr int kSplitEntries = 6;

// The page as the operator sees it: list entries (-1: none selected), ticks and field texts.
struct ProcessForm {
  int typeEntry = 1;
  int splitEntry = -1;
  bool outerContours = false;  // OCC
  bool transformCi = false;    // TranCI
  std::string spn, fontSp, fontScale, fontSpace, fontRotate, fontOffsetX, fontOffsetY;
  std::string arcLength, detalX, detalY;
  // Cut quality ([CutQuality]): the knife, overcut and weeding, and the registration limit.
  bool weedBox = false, weedLines = false;
  std::string knifeOffset, knifeCornerAngle, overcut, weedMargin, weedPen, maxMarkResidual;
};

struct ProcessEnables {
  bool arcLength = false;      // only while 'CI' commands are transformed
  bool outerContours = false;  // the contour box: only in LK page split
  bool spn = false;            // its pen: ticked and LK page split
  bool detal = false;          // the seam corrections: only in the rolling split
  bool knifeCorner = false;    // the swivel angle: only with a knife offset above 0
  bool weeding = false;        // weed margin and pen: with the weeding box or lines ticked
};

// Xitong_TT 3, 4, 5 select entries 0, 1, 2; any other value selects entry 1.
int typeEntryOf(int xitongTT);
// Entry 0, 1, 2 store 3, 4, 5 (anything else stores entry 1's value, 4).
int xitongOfTypeEntry(int entry);
// CUT_FT 4..9 select entries 0..5; other values select nothing (-1).
int splitEntryOf(int cutFt);
// Entry n stores n + 4; no entry stores 3.
int cutFtOfSplitEntry(int entry);

ProcessEnables processEnables(const ProcessForm& form);

// Brings a label rotation into -180..180 degrees: 370 → 10, 200 → -160, -200 → 160, 720 → 0,
// 540 → 180. An angle that is not a finite number gives 0.
double normaliseFontRotate(double degrees);

// Fills the form from the store ("%d" and "%f" texts).
ProcessForm loadProcess(const config::CIniConfig& cfg);

// The numeric fields of the page, each with its rule and whether it is checked now (the enabled
// ones, and "Arc Length:" always). Field names are the widgets' object names.
std::vector<FieldCheck> processFieldChecks(const ProcessForm& form);
// The rule of one field (its validator), by name; nothing for a field that is no number.
std::optional<NumberRule> processRule(const std::string& field);

// The first field whose text breaks its rule ("Arc Length:" must be a whole number above 0).
std::optional<FieldRefusal> processRefusal(const ProcessForm& form);
bool processAcceptable(const ProcessForm& form);

enum class ProcessSave { Stored, ArcLengthRefused, FieldRefused };
// When a field breaks its rule nothing is stored ("Arc Length:" gives ArcLengthRefused). Then stores, in
// this order: Xitong_TT, CUT_FT, ArcLen, TranCI, OCC, SPN (as typed), Font_SP, Font_Scale,
// Font_Distance_Scale, Font_Rotate (normalised), Font_Offset_X, Font_Offset_Y, detal_x, detal_y,
// then the [CutQuality] keys: KnifeOffset, KnifeCornerAngle, Overcut, WeedBox, WeedLines,
// WeedMargin, WeedPen, MaxMarkResidual. Integers are the leading digits of their text, reals its decimal conversion.
ProcessSave saveProcess(config::CIniConfig& cfg, const ProcessForm& form);

}  // namespace qel::ui
