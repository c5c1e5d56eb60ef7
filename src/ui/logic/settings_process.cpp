#include "ui/logic/settings_process.h"

#include <cmath>

#include "config/ini_config.h"

namespace qel::ui {

namespace k = config::keys;
using config::CIniConfig;

int typeEntryOf(int xitongTT) {
  if (xitongTT >= +kFirstTransferEntry && xitongTT < +kFirstTransferEntry + kTransferEntries)
    return xitongTT - +kFirstTransferEntry;
  return 1;
}

int xitongOfTypeEntry(int entry) {
  if (entry < 0 || entry >= kTransferEntries) entry = 1;
  return entry + +kFirstTransferEntry;
}

int splitEntryOf(int cutFt) {
  if (cutFt >= +kFirstSplitEntry && cutFt < +kFirstSplitEntry + kSplitEntries) return cutFt - +kFirstSplitEntry;
  return -1;
}

int cutFtOfSplitEntry(int entry) {
  // Deliberate: with no entry selected the stored mode is 3, one below the first entry.
  if (entry < 0 || entry >= kSplitEntries) return +kFirstSplitEntry - 1;
  return entry + +kFirstSplitEntry;
}

ProcessEnables processEnables(const ProcessForm& form) {
  const int mode = cutFtOfSplitEntry(form.splitEntry);
  ProcessEnables e;
  e.arcLength = form.transformCi;
  e.outerContours = mode == SplitMode::Contour;
  e.spn = e.outerContours && form.outerContours;
  e.detal = mode == SplitMode::Rolling;
  e.knifeCorner = CIniConfig::toReal(form.knifeOffset) > 0.0;
  e.weeding = form.weedBox || form.weedLines;
  return e;
}

double normaliseFontRotate(double degrees) {
  if (!std::isfinite(degrees)) return 0.0;
  // The remainder gives what repeated steps of 360 give, without a loop as long as the angle.
  if (degrees > 360.0 || degrees < -360.0) degrees = std::fmod(degrees, 360.0);
  if (degrees > 180.0) degrees -= 360.0;
  if (degrees < -180.0) degrees += 360.0;
  return degrees + 0.0;  // -0 is stored as 0
}

ProcessForm loadProcess(const CIniConfig& store) {
  const CIniConfig cfg = store.snapshot();
  auto i = [&](const auto& key) { return CIniConfig::formatInt(cfg.read(key)); };
  auto r = [&](const auto& key) { return CIniConfig::formatReal(cfg.read(key)); };
  ProcessForm f;
  f.typeEntry = typeEntryOf(cfg.read(k::Xitong_TT));
  f.splitEntry = splitEntryOf(cfg.read(k::CUT_FT));
  f.outerContours = cfg.read(k::OCC) == 1;
  f.spn = i(k::SPN);
  f.fontSp = i(k::Font_SP);
  f.fontScale = r(k::Font_Scale);
  f.fontSpace = r(k::Font_Distance_Scale);
  f.fontRotate = r(k::Font_Rotate);
  f.fontOffsetX = r(k::Font_Offset_X);
  f.fontOffsetY = r(k::Font_Offset_Y);
  f.transformCi = cfg.read(k::TranCI) == 1;
  f.arcLength = i(k::ArcLen);
  f.detalX = i(k::detal_x);
  f.detalY = i(k::detal_y);
  f.knifeOffset = r(k::KnifeOffset);
  f.knifeCornerAngle = r(k::KnifeCornerAngle);
  f.overcut = r(k::Overcut);
  f.weedBox = cfg.read(k::WeedBox) != 0;
  f.weedLines = cfg.read(k::WeedLines) != 0;
  f.weedMargin = r(k::WeedMargin);
  f.weedPen = i(k::WeedPen);
  f.maxMarkResidual = r(k::MaxMarkResidual);
  return f;
}

namespace {

struct ProcessField {
  const char* name;
  std::string ProcessForm::*text;
  NumberRule rule;
  bool (*checked)(const ProcessEnables&);
};

bool always(const ProcessEnables&) { return true; }

// Pens 1 to 99; lengths in mm; the angle is normalised when stored.
const ProcessField kProcessFields[] = {
    {"spn", &ProcessForm::spn, {1, 99, true}, [](const ProcessEnables& e) { return e.spn; }},
    {"fontSp", &ProcessForm::fontSp, {1, 99, true}, always},
    {"fontScale", &ProcessForm::fontScale, {0.01, 100, false}, always},
    {"fontSpace", &ProcessForm::fontSpace, {-100, 100, false}, always},
    {"fontRotate", &ProcessForm::fontRotate, {-3600, 3600, false}, always},
    {"fontOffsetX", &ProcessForm::fontOffsetX, {-10000, 10000, false}, always},
    {"fontOffsetY", &ProcessForm::fontOffsetY, {-10000, 10000, false}, always},
    // Deliberate: checked also while disabled, as the window always did.
    {"arcLength", &ProcessForm::arcLength, {1, 10000, true}, always},
    {"detalX", &ProcessForm::detalX, {-1000, 1000, true}, [](const ProcessEnables& e) { return e.detal; }},
    {"detalY", &ProcessForm::detalY, {-1000, 1000, true}, [](const ProcessEnables& e) { return e.detal; }},
    {"knifeOffset", &ProcessForm::knifeOffset, {0, 5, false}, always},
    {"knifeCornerAngle", &ProcessForm::knifeCornerAngle, {0, 180, false}, [](const ProcessEnables& e) { return e.knifeCorner; }},
    {"overcut", &ProcessForm::overcut, {0, 50, false}, always},
    {"weedMargin", &ProcessForm::weedMargin, {0, 1000, false}, [](const ProcessEnables& e) { return e.weeding; }},
    {"weedPen", &ProcessForm::weedPen, {1, 99, true}, [](const ProcessEnables& e) { return e.weeding; }},
    {"maxMarkResidual", &ProcessForm::maxMarkResidual, {0, 100, false}, always},
};

}  // namespace

std::vector<FieldCheck> processFieldChecks(const ProcessForm& form) {
  const ProcessEnables e = processEnables(form);
  std::vector<FieldCheck> out;
  for (const ProcessField& f : kProcessFields) out.push_back({f.name, form.*f.text, f.rule, f.checked(e)});
  return out;
}

std::optional<NumberRule> processRule(const std::string& field) {
  for (const ProcessField& f : kProcessFields)
    if (field == f.name) return f.rule;
  return std::nullopt;
}

std::optional<FieldRefusal> processRefusal(const ProcessForm& form) { return firstRefusal(processFieldChecks(form)); }

bool processAcceptable(const ProcessForm& form) { return !processRefusal(form); }

ProcessSave saveProcess(CIniConfig& cfg, const ProcessForm& f) {
  if (const auto refusal = processRefusal(f))
    return refusal->field == "arcLength" ? ProcessSave::ArcLengthRefused : ProcessSave::FieldRefused;
  const int arcLength = CIniConfig::toInt(f.arcLength);
  cfg.write(k::Xitong_TT, xitongOfTypeEntry(f.typeEntry));
  cfg.write(k::CUT_FT, cutFtOfSplitEntry(f.splitEntry));
  cfg.write(k::ArcLen, arcLength);
  cfg.write(k::TranCI, f.transformCi ? 1 : 0);
  cfg.write(k::OCC, f.outerContours ? 1 : 0);
  // Deliberate: the contour pen is stored as typed; readers take its leading digits.
  cfg.writeText(k::SPN.section, k::SPN.name, f.spn);
  cfg.write(k::Font_SP, CIniConfig::toInt(f.fontSp));
  cfg.write(k::Font_Scale, CIniConfig::toReal(f.fontScale));
  cfg.write(k::Font_Distance_Scale, CIniConfig::toReal(f.fontSpace));
  cfg.write(k::Font_Rotate, normaliseFontRotate(CIniConfig::toReal(f.fontRotate)));
  cfg.write(k::Font_Offset_X, CIniConfig::toReal(f.fontOffsetX));
  cfg.write(k::Font_Offset_Y, CIniConfig::toReal(f.fontOffsetY));
  cfg.write(k::detal_x, CIniConfig::toInt(f.detalX));
  cfg.write(k::detal_y, CIniConfig::toInt(f.detalY));
  cfg.write(k::KnifeOffset, CIniConfig::toReal(f.knifeOffset));
  cfg.write(k::KnifeCornerAngle, CIniConfig::toReal(f.knifeCornerAngle));
  cfg.write(k::Overcut, CIniConfig::toReal(f.overcut));
  cfg.write(k::WeedBox, f.weedBox ? 1 : 0);
  cfg.write(k::WeedLines, f.weedLines ? 1 : 0);
  cfg.write(k::WeedMargin, CIniConfig::toReal(f.weedMargin));
  cfg.write(k::WeedPen, CIniConfig::toInt(f.weedPen));
  cfg.write(k::MaxMarkResidual, CIniConfig::toReal(f.maxMarkResidual));
  return ProcessSave::Stored;
}

}  // namespace qel::ui
