#pragma once
// PageSpool: the strokes of a large file written as page text while they are read, in the
// modes where no stage looks at the strokes between reading and writing (pages by the reader,
// strokes in drawing order, no cut quality). Each page keeps its text and what the writer
// needs at the end (its extent, its largest x for the trailer); the strokes themselves are not
// kept, so the run holds about the size of its output instead of the plot model.
#include <cstdint>
#include <string>
#include <vector>

#include "plot/dispose_options.h"
#include "plot/model.h"
#include "plot/plot_model.h"

namespace qel::plot {

class PageSpool {
 public:
  PageSpool(const DisposeOptions& options, const PlotModel& model) : opt_(options), model_(model) {}

  // Writes the stroke into its page's text as the page writer writes it.
  void add(const CStroke& s, int page);
  // Forgets every page; whether strokes go here stays as it is.
  void clear();
  // Strokes go here (the run offered the spool and the input is large enough).
  bool active() const { return active_; }
  void setActive(bool on) { active_ = on; }

  struct Page {
    // The page's text in blocks of about kBlock bytes: growing never copies what is written.
    std::vector<std::string> text;
    std::int32_t lastType = -1;  // line type of the last stroke written, -1 before the first
    int lastPen = 0;
    bool written = false;           // holds a stroke
    double xMax = 0.0, yMax = 0.0;  // extent, as the page writer raises it
    bool anyPoint = false;
    double maxX = 0.0;              // largest x of the strokes' points, when anyPoint
  };
  int pageCount() const { return static_cast<int>(pages_.size()); }
  Page* page(int p) { return p >= 0 && p < pageCount() ? &pages_[static_cast<size_t>(p)] : nullptr; }
  const Page* page(int p) const { return p >= 0 && p < pageCount() ? &pages_[static_cast<size_t>(p)] : nullptr; }
  // The page of the last stroke added, -1 when none was.
  int lastPage() const { return lastPage_; }

  static constexpr size_t kBlock = 1 << 20;

 private:
  const DisposeOptions& opt_;
  const PlotModel& model_;
  std::vector<Page> pages_;
  int lastPage_ = -1;
  bool active_ = false;
};

}  // namespace qel::plot
