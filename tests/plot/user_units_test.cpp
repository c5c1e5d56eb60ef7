// User units: the scaling points and "SC" forms a file may set.
#include "plot/user_units.h"

#include <gtest/gtest.h>

namespace qel::plot {
namespace {

TEST(UserUnits, AnisotropicIsotropicAndPointFactor) {
  UserUnits u;
  EXPECT_FALSE(u.scaled());
  u.setScalingPoints("1000,500,5000,2500");
  u.setScale("0,100,0,100");
  EXPECT_EQ(u.toPlotter(50, 50), (PlotPoint{3000, 1500}));
  EXPECT_EQ(u.scaleX(), 40);
  EXPECT_EQ(u.scaleY(), 20);
  // Isotropic: the smaller factor on both axes, the drawing centred in the spare width.
  u.setScale("0,100,0,100,1");
  EXPECT_EQ(u.toPlotter(0, 0), (PlotPoint{2000, 500}));
  EXPECT_EQ(u.toPlotter(100, 100), (PlotPoint{4000, 2500}));
  u.setScale("0,100,0,100,1,0,0");  // placed at the left
  EXPECT_EQ(u.toPlotter(0, 0), (PlotPoint{1000, 500}));
  u.setScale("-10,2,5,3,2");
  EXPECT_EQ(u.toPlotter(-10, 5), (PlotPoint{1000, 500}));
  EXPECT_EQ(u.toPlotter(0, 6), (PlotPoint{1020, 503}));
  // "IP" with one point keeps the distance to P2.
  u.setScalingPoints("0,0");
  u.setScale("0,100,0,100");
  EXPECT_EQ(u.toPlotter(100, 100), (PlotPoint{4000, 2000}));
  // Off again, and broken ranges change nothing.
  u.setScale("");
  EXPECT_FALSE(u.scaled());
  u.setScale("5,5,0,10");
  EXPECT_FALSE(u.scaled());
  EXPECT_EQ(u.toPlotter(7, 8), (PlotPoint{7, 8}));
  // "IP" without parameters unsets the scaling points: user units count plotter units from xmin, ymin.
  u.setScalingPoints("");
  u.setScale("10,100,20,100");
  EXPECT_TRUE(u.countsPlotterUnits());
  EXPECT_EQ(u.toPlotter(15, 25), (PlotPoint{5, 5}));
}

}  // namespace
}  // namespace qel::plot
