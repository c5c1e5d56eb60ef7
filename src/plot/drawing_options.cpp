#include "plot/drawing_options.h"

#include "config/ini_config.h"

namespace qel::plot {

DrawingOptions DrawingOptions::read(const config::CIniConfig& cfg) {
  namespace k = config::keys;
  DrawingOptions o;
  o.cutColours = cfg.read(k::CutColours);
  o.cutPens = cfg.read(k::CutPens);
  o.cutRgb = cfg.read(k::CutRGB);
  o.cutAll = cfg.read(k::CutAll) != 0;
  o.cutFills = cfg.read(k::CutFills) != 0;
  o.toleranceMm = cfg.read(k::Tolerance);
  o.pageGapMm = cfg.read(k::PageGap);
  o.markColours = cfg.read(k::MarkColours);
  return o;
}

}  // namespace qel::plot
