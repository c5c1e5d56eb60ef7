#pragma once
// DisposeRun: the working state behind a CDisposeFile. The reader (this class's command
// handlers) fills the plot model, the stages rearrange it, the writer makes the page files.
// Only the plot library includes this header.
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "plot/dispose_options.h"
#include "plot/model.h"
#include "plot/plot_model.h"
#include "plot/pagination.h"
#include "plot/stages.h"
#include "plot/user_units.h"

namespace qel::plot {

class PlotInput;

class DisposeRun {
 public:
  DisposeRun(DisposeOwner* owner, std::string inputPath, std::string outputFolder, std::string tag,
             DisposeOptions options);
  ~DisposeRun();
  DisposeRun(const DisposeRun&) = delete;
  DisposeRun& operator=(const DisposeRun&) = delete;

  bool dispose();
  bool loadOnly();
  std::string outputName(int pageIndex) const;
  bool writeStrokesFrom(const std::string& path, size_t from, std::string* error) const;
  const PlotModel& model() const { return model_; }
  const DisposeOptions& options() const { return opt_; }
  const std::string& errorText() const { return error_; }
  int outputCount() const { return static_cast<int>(outputs_.size()); }

 private:
  struct Output {
    std::FILE* file = nullptr;
    bool wanted = false;   // the page has output in this run
    bool created = false;  // its file was made in this run (it may be closed by now)
    bool closed = false;   // its trailer is written
    std::string pending;   // text for the file while it is not open
  };
  struct Extent {
    double xMax = 0.0;
    double yMax = 0.0;
  };
  // Result of scanning a command's parameters.
  struct Params {
    std::string storage;    // holds the text when it does not lie in one piece of the input buffer
    std::string_view text;  // valid until the next read
    int terminator = -1;  // the byte that ended them, -1 at the end of the input
  };

  int run(bool loadOnlyRun);
  void resetRunState();
  void cleanUp();
  // Ends a run whose labels cannot be drawn: the reason, and no page file of this run left.
  int failWithoutLabelFont();
  bool fail(std::string message);

  // Reader.
  void dispatch(int command);
  bool scanParams(Params& p, bool labelMode);
  void finishStroke();
  void addPoint(const PlotPoint& p, bool penDown);
  bool inWindow(double v, bool isX);
  void setPageFromX(double v);
  void addRawPoint(double rawX, double y);
  void readPairs(std::string_view text, std::vector<PlotPoint>& out) const;
  void cmdPU();
  void cmdPD();
  void cmdPA();
  void cmdSP();
  void cmdPG();
  void cmdStoreText(std::string& slot, const char* letters);
  void cmdLB();
  void cmdAA();
  void cmdCI();
  void cmdLT();
  void cmdWD();
  void endOfInput();
  int readAll(bool pageOrder);
  void cutQualityOfPages(std::optional<int> page);
  void removeCreatedPages();
  int failRun();
  void failTooManyPages();
  // The highest page index a run may use: Max_Page_Count pages in all.
  int maxPageIndex() const { return maxPageIndexOf(maxPages()); }
  int maxPages() const { return opt_.maxPageCount > 0 ? opt_.maxPageCount : 1; }
  void noteExtent(double rawX, double y);
  void addPoints(std::vector<PlotPoint>& userPoints);
  void readAndAddPoints();
  void selectPen(int n);
  // Modes 4 and 7: a segment from `from` to `to` (raw coordinates) whose end leaves the
  // current page along x is cut at every page edge it crosses. On return `to` has been
  // shifted into its page and the current page and offset are that page's.
  void splitAtEdges(const PlotPoint& from, PlotPoint& to);
  // A label's characters drawn as strokes from the stroke font.
  void labelToStrokes(std::string_view characters);

  // Commands beyond the table: relative moves, user units, rectangles, encoded polylines,
  // polygons and machine state (reader_hpgl2.cpp).
  struct PathVertex {
    PlotPoint raw;
    bool penDown = false;
  };
  PlotPoint toRaw(double ux, double uy) const;
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
  void drawArcPoints(double cx, double cy, double sweepDeg);
  void skipQuoted();
  std::int64_t labelEnd();

  // Writer (page files).
  bool openPage(int pageIndex);
  std::FILE* pageFile(int pageIndex);
  void writeToPage(int pageIndex, std::string_view text);
  void writePage(int pageIndex);
  void closePage(int pageIndex);
  void closeAll();
  void report(int pageIndex, const std::string& fileName);
  int copyThrough();
  void writeText(std::FILE* f, std::string_view text);
  void writeStroke(std::string& out, const CStroke& s, Extent& extent) const;
  void writeStrokeCutter(std::string& out, const CStroke& s) const;
  void refillRollingSplitList(int pages);
  bool hasOutput(int pageIndex) const;

  DisposeOwner* owner_;
  std::string inputPath_;
  std::string outputFolder_;
  std::string tag_;
  DisposeOptions opt_;
  std::string error_;

  // Reader state.
  std::unique_ptr<PlotInput> in_;
  int pen_ = 1;
  bool penDown_ = false;
  LineType lineType_;
  std::int32_t lineTypeIndex_ = 0;  // of lineType_ in the model's line types
  double curX_ = 0.0, curY_ = 0.0;
  PlotPoint lastFinished_;
  CStroke stroke_;
  bool strokeStarted_ = false;
  std::string diText_, siText_, loText_, dtText_;
  bool wdSeen_ = false;
  int wdValue_ = 0;
  double winXMin_ = 0.0, winYMin_ = 0.0, winXMax_ = 0.0, winYMax_ = 0.0;
  double pageOffset_ = 0.0;
  int pageIndex_ = 0;
  int pagesFlushed_ = 0;
  bool newOrigin_ = true;
  bool inside_ = true;
  bool outside_ = false;
  bool headerPending_ = true;
  bool pageOverflow_ = false;
  bool labelFontMissing_ = false;  // a label was to be drawn and no font with glyphs was found
  std::string unwritablePage_;  // the first page file that could not be created
  std::string passThrough_;
  std::vector<PlotPoint> pairs_;  // scratch
  UserUnits units_;
  bool relative_ = false;          // "PR": coordinates are moves from the pen's place
  double shiftX_ = 0.0, shiftY_ = 0.0;  // brings negative coordinates onto the material
  bool shifted_ = false;
  double minRawX_ = 0.0, minRawY_ = 0.0;
  bool measuring_ = false;         // a pass that only finds the drawing's extent
  bool plotCommandSeen_ = false;   // the file moved the pen or drew something
  bool strokeLeftPen_ = false;     // the stroke ends away from where the pen stands (a drawn circle)
  bool polygonMode_ = false;
  std::vector<std::vector<PathVertex>> polygon_;  // subpolygons, raw coordinates
  std::vector<bool> polygonClosed_;               // closed with the pen down: edged back to its start
  std::int64_t labelEndSearchedFrom_ = -1;        // where the search for a label terminator began
  std::int64_t labelEndAt_ = -1;                  // the terminator found there, -1 for none
  std::int64_t labelEndStop_ = -1;                // where that search stopped
  int labelEndChar_ = 3;

  PlotModel model_;

  // Writer state.
  std::vector<Output> outputs_;
  std::vector<Extent> extents_;
  int currentPage_ = -1;  // the page that unrecognised text goes to
  int openFile_ = -1;     // the one page whose file is open
  bool loadOnlyRun_ = false;
};

}  // namespace qel::plot
