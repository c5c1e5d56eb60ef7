#pragma once
// Plot coordinates as a file gives them and as the cutter takes them: the scaling points and
// user units a file may set ("IP", "SC"), relative moves ("PR") and the shift that brings a
// drawing with a centred origin onto the material. Plotter units, 40 to the millimetre.
#include <string_view>

#include "plot/model.h"

namespace qel::plot {

class UserUnits {
 public:
  // "IP p1x,p1y[,p2x,p2y]": the scaling points. Without parameters they go back to unset.
  void setScalingPoints(std::string_view params);
  // "SC xmin,xmax,ymin,ymax[,type[,left,bottom]]" (type 0 anisotropic, 1 isotropic, 2 point
  // factor: "SC xmin,xfactor,ymin,yfactor,2"). Without parameters user units are off.
  // Without scaling points, one user unit is one plotter unit counted from xmin, ymin.
  void setScale(std::string_view params);
  // Back to plotter units and no scaling points ("IN").
  void reset() { *this = UserUnits(); }

  bool scaled() const { return scaled_; }
  // The last "SC" set a range of user units without scaling points: one user unit is then one
  // plotter unit, whatever size the file meant the range to have.
  bool countsPlotterUnits() const { return scaled_ && plotterUnits_; }
  // A position in user units to plotter units (without the shift).
  PlotPoint toPlotter(double ux, double uy) const {
    return scaled_ ? PlotPoint{ox_ + ux * sx_, oy_ + uy * sy_} : PlotPoint{ux, uy};
  }
  // A position in plotter units (without the shift) back to user units.
  PlotPoint toUser(const PlotPoint& p) const {
    return scaled_ ? PlotPoint{(p.x - ox_) / sx_, (p.y - oy_) / sy_} : p;
  }
  // A distance along x or y in user units to plotter units.
  double scaleX() const { return scaled_ ? sx_ : 1.0; }
  double scaleY() const { return scaled_ ? sy_ : 1.0; }

 private:
  bool ipSet_ = false;
  double p1x_ = 0, p1y_ = 0, p2x_ = 0, p2y_ = 0;
  bool scaled_ = false;
  bool plotterUnits_ = false;
  double sx_ = 1, sy_ = 1, ox_ = 0, oy_ = 0;
};

}  // namespace qel::plot
