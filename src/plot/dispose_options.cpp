#include "plot/dispose_options.h"

#include "config/ini_config.h"
#include "config/modes.h"

namespace qel::plot {

namespace {
// The most pages one file may need; beyond it the file is refused (a broken or hostile file
// would otherwise make one page file per page width of a coordinate far along the roll).
constexpr config::Key<int, false> Max_Page_Count{"Split_Page", "Max_Page_Count", "1000"};
}  // namespace

DisposeOptions DisposeOptions::read(const config::CIniConfig& store) {
  // One read of the file for all the options of the run.
  const config::CIniConfig cfg = store.snapshot();
  namespace k = config::keys;
  DisposeOptions o;
  o.optimizeFunction = cfg.read(k::Optimize_Function) != 0;
  o.splitPageEnabled = cfg.read(k::Split_Page_Enabled) != 0;
  o.cutFt = cfg.read(k::CUT_FT);
  o.pageWidth = cfg.read(k::Page_Width);
  o.pageHeight = cfg.read(k::Page_Height);
  if (o.pageWidth == 0.0 || o.pageHeight == 0.0) o.splitPageEnabled = false;
  o.strokeAppearOrderOfPage = cfg.read(k::StrokeAppearOrderOfPage) != 0;
  o.splitLabel = cfg.read(k::Split_Label);
  o.maxPageCount = cfg.read(Max_Page_Count);
  o.addPg = cfg.read(k::Add_PG) != 0;
  o.needExtraPage = cfg.read(k::Need_ExtraPage) != 0;
  o.cutterHandle = cfg.read(k::Cutter_Handle) != 0;
  o.leaveCut = cfg.read(k::Leave_Cut) != 0;
  o.distLeaveCut = cfg.read(k::Dist_Leave_Cut);
  o.minDistanceClose = cfg.read(k::MinDistance_Close);
  o.spOut[0] = cfg.read(k::SP_OutOne);
  o.spOut[1] = cfg.read(k::SP_OutTwo);
  o.spOut[2] = cfg.read(k::SP_OutThird);
  o.spOut[3] = cfg.read(k::SP_OutFour);
  o.occ = cfg.read(k::OCC) != 0;
  o.spn = cfg.read(k::SPN);
  o.detalX = cfg.read(k::detal_x);
  o.detalY = cfg.read(k::detal_y);
  o.fontDisposeEnabled = cfg.read(k::FontDispose_Enabled) != 0;
  o.scale = cfg.read(k::Scale);
  o.positionOptimize = cfg.read(k::Position_Optimize);
  o.fontSp = cfg.read(k::Font_SP);
  o.fontScale = cfg.read(k::Font_Scale);
  o.fontDistanceScale = cfg.read(k::Font_Distance_Scale);
  o.fontRotate = cfg.read(k::Font_Rotate);
  o.fontOffsetX = cfg.read(k::Font_Offset_X);
  o.fontOffsetY = cfg.read(k::Font_Offset_Y);
  o.deletePointEnabled = cfg.read(k::DeletePoint_Enabled) != 0;
  o.dpIntervalPoints = cfg.read(k::DPIntervalPoints);
  o.dpMinLength = cfg.read(k::DPMinLength);
  o.dpMinAngle = cfg.read(k::DPMinAngle);
  o.addPointEnabled = cfg.read(k::AddPoint_Enabled) != 0;
  o.apTimes = cfg.read(k::APTimes);
  o.apMinLength = cfg.read(k::APMinLength);
  o.apMaxLength = cfg.read(k::APMaxLength);
  o.apMinAngle = cfg.read(k::APMinAngle);
  o.apMaxAngle = cfg.read(k::APMaxAngle);
  o.tranCi = cfg.read(k::TranCI) != 0;
  o.arcLen = cfg.read(k::ArcLen);
  o.markPointSp = cfg.read(k::MarkPoint_SP);
  o.spOrder = cfg.read(k::SP_Order);
  o.optimizeDelayTime = cfg.read(k::Optimize_DelayTime);
  o.minAreaText = cfg.read(k::MinArea_Text);
  o.machineType = cfg.read(k::Machine_Type);
  o.splitLineLength = cfg.read(k::Split_LineLength);
  o.splitLineToolsSp = cfg.read(k::Split_LineToolsSP);
  o.cutQuality.knifeOffsetMm = cfg.read(k::KnifeOffset);
  o.cutQuality.knifeCornerAngleDeg = cfg.read(k::KnifeCornerAngle);
  o.cutQuality.overcutMm = cfg.read(k::Overcut);
  o.cutQuality.weedBox = cfg.read(k::WeedBox) != 0;
  o.cutQuality.weedLines = cfg.read(k::WeedLines) != 0;
  o.cutQuality.weedMarginMm = cfg.read(k::WeedMargin);
  o.cutQuality.weedPen = cfg.read(k::WeedPen);
  o.maxMarkResidualMm = cfg.read(k::MaxMarkResidual);
  o.drawing = DrawingOptions::read(cfg);
  o.drawing.findMarks = o.cutFt == config::PageMode::CcdCut;
  o.homeDir = cfg.programDir();
  return o;
}

}  // namespace qel::plot
