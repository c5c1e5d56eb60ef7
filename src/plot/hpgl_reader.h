#pragma once
// HpglReader: the HPGL plot-file source. It reads a file in one forward pass, command by
// command, and hands the drawing to the builder: the fifteen commands of the plotter's table
// (pen moves, pens, page breaks, labels, arcs, circles, line types), the HPGL/2 commands that
// draw (relative moves, user units, rectangles, encoded polylines, polygons) and machine state
// kept in place. Labels are kept as text or drawn as strokes from the stroke font. A drawing
// with negative coordinates is moved onto the material (read again after a measuring pass).
//
//   hpgl_reader.cpp    the command loop, parameters, passes
//   hpgl_commands.cpp  the commands of the table
//   hpgl_extended.cpp  the commands beyond it
//   hpgl_labels.cpp    labels: their end, kept as text, drawn as strokes
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "plot/dispose_options.h"
#include "plot/model.h"
#include "plot/plot_source.h"
#include "plot/user_units.h"

namespace qel::plot {

class PlotBuilder;
class PlotInput;

class HpglReader : public PlotSource {
 public:
  // One reader per file object: the "DT" terminator stays from run to run.
  HpglReader(std::string inputPath, const DisposeOptions& options);
  ~HpglReader() override;

  SourceResult read(PlotBuilder& builder) override;

 private:
  // Result of scanning a command's parameters.
  struct Params {
    std::string storage;    // holds the text when it does not lie in one piece of the input buffer
    std::string_view text;  // valid until the next read
    int terminator = -1;    // the byte that ended them, -1 at the end of the input
    bool ended() const { return terminator == -1; }
  };
  enum class Pass { Done, Restart, Failed };
  struct PathVertex {
    PlotPoint raw;
    bool penDown = false;
  };

  // hpgl_reader.cpp
  void resetPass();
  Pass readAll();
  // Reads the whole file into a model of its own and lets `look` see the builder that read it.
  void scratchPass(const std::string& dtAtStart, const std::function<void(PlotBuilder&)>& look);
  void measure(const std::string& dtAtStart);
  void notePlotterUnitScale(const std::string& dtAtStart);
  void dispatch(int command);
  // The parameters up to the next command, ";" or (in label mode) the label's end. A command
  // that the input ends without a terminator still takes what it holds.
  void scanParams(Params& p, bool labelMode);
  void readPairs(std::string_view text, std::vector<PlotPoint>& out) const;
  PlotPoint toRaw(double ux, double uy) const;
  void addPoints(std::vector<PlotPoint>& userPoints) const;
  SourceResult fail(std::string text);

  // hpgl_commands.cpp
  void cmdPU();
  void cmdPD();
  void cmdPA();
  void readAndAddPoints();
  void cmdSP();
  void cmdPG();
  void cmdStoreText(std::string& slot, const char* letters);
  void cmdCI();
  void cmdLT();
  void cmdWD();
  void cmdAA();
  // An arc about centre c of radius r from angle a0 through `sweep` radians, in the arc's own
  // units (user units when scaled): each point is mapped to plotter units by `toPlotter`.
  template <class ToPlotter>
  void drawArcPoints(const PlotPoint& c, double r, double a0, double sweep, ToPlotter toPlotter);
  // Circles cut as chords: where the page mode cuts strokes and the circle would reach past a
  // page edge (or is wider than a page), and circles inside a polygon.
  bool circleCrossesPages(const PlotPoint& centre, double r) const;
  bool circleFitsPageHeight(const PlotPoint& centre, double r);
  void drawCircleChords(const PlotPoint& centre, double r);
  void addPolygonCircle(const PlotPoint& centre, double r);

  // hpgl_extended.cpp
  void moveTo(const PlotPoint& raw);
  void cmdPR();
  void cmdScaling(bool scalingPoints);
  void cmdRectangle(bool relative);
  void cmdPE();
  void cmdPM();
  void cmdEP();
  void cmdMachineState(const char* letters);
  void cmdIN();
  void cmdDF();
  void cmdSkip(char kind);
  void drawPath(const std::vector<PathVertex>& path);
  void recordPolygon(const PlotPoint& raw);

  // hpgl_labels.cpp
  void cmdLB();
  std::int64_t labelEnd();
  // A label's characters drawn as strokes from the stroke font.
  void labelToStrokes(std::string_view characters);
  std::string missingFontText() const;

  const std::string inputPath_;
  const DisposeOptions& opt_;
  PlotBuilder* b_ = nullptr;  // not owned; the builder of the read under way
  std::unique_ptr<PlotInput> in_;
  SourceResult failure_;

  std::string diText_, siText_, loText_, dtText_;
  std::string srText_, slText_, esText_;  // relative size, slant and extra space of labels
  std::string passThrough_;
  bool headerPending_ = true;
  bool measuring_ = false;         // a pass that only finds the drawing's extent
  bool labelFontMissing_ = false;  // a label was to be drawn and no font with glyphs was found
  std::string circleRefusal_;      // why a circle cannot be cut (the run fails)
  bool plotterUnitScale_ = false;  // "SC" set user units without scaling points
  std::vector<PlotPoint> pairs_;   // scratch
  UserUnits units_;
  bool relative_ = false;               // "PR": coordinates are moves from the pen's place
  double shiftX_ = 0.0, shiftY_ = 0.0;  // brings negative coordinates onto the material
  bool shifted_ = false;
  bool polygonMode_ = false;
  std::vector<std::vector<PathVertex>> polygon_;  // subpolygons, raw coordinates
  std::vector<bool> polygonClosed_;               // closed with the pen down: edged back to its start
  std::int64_t labelEndSearchedFrom_ = -1;        // where the search for a label terminator began
  std::int64_t labelEndAt_ = -1;                  // the terminator found there, -1 for none
  std::int64_t labelEndStop_ = -1;                // where that search stopped
  int labelEndChar_ = 3;
};

}  // namespace qel::plot
