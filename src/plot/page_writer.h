#pragma once
// PageWriter: the page files of a dispose run. Pages are noted while the model is read and
// built, each page is written from an index of the strokes and labels on it (the index grows
// with the model, so a page written while reading and the pages written at the end never walk
// the whole model), closed with its trailer ("PX", "ZH", "PG") and reported to the owner with
// its size. Only one page file is open at a time; a page whose file cannot be made is noted
// and the run fails on it.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "plot/dispose_options.h"
#include "plot/model.h"
#include "plot/page_spool.h"
#include "plot/plot_model.h"

namespace qel::plot {

class PageWriter {
 public:
  PageWriter(DisposeOwner* owner, const std::string& inputPath, const std::string& outputFolder,
             const std::string& tag, const DisposeOptions& options, const PlotModel& model);
  ~PageWriter();
  PageWriter(const PageWriter&) = delete;
  PageWriter& operator=(const PageWriter&) = delete;

  // output-name(page): <folder>/<input base name>_<tag>_<page + 1, 3 digits>.PLT
  std::string outputName(int pageIndex) const;

  // Forgets every page (files already written stay) and the index.
  void reset();
  // Page text spooled while reading (when the spool is active) stands for the strokes.
  void setSpool(PageSpool* spool) { spool_ = spool; }
  // The page has output in this run; its file is made when it is written. It becomes the
  // current page (where unrecognised text goes).
  void notePage(int pageIndex);
  int currentPage() const { return currentPage_; }
  // Text for a noted page's file, before its body (kept until the file is made).
  void writeToPage(int pageIndex, std::string_view text);
  // The page body: "WD", the labels and strokes of the page.
  void writePage(int pageIndex);
  // The trailer, and the file is closed.
  void closePage(int pageIndex);
  void closeAll();
  // Closes and deletes every file made in this run: a failed run leaves none behind.
  void removeCreatedPages();

  int pageCount() const { return static_cast<int>(outputs_.size()); }
  bool hasOutput(int pageIndex) const;
  // The first page file that could not be made ("name: reason"), empty when none.
  const std::string& unwritablePage() const { return unwritablePage_; }

  // Reports the page's file to the owner with its size.
  void report(int pageIndex);
  // Reports a file that is not a page of this run (the extra page) with the size of page
  // `sizeOfPage` when that page has an extent.
  void reportOther(const std::string& fileName, int sizeOfPage);
  // Copies the input unchanged to the first page's name and reports it; false (with the reason)
  // when the copy fails.
  bool copyThrough(std::string& error);

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

  std::FILE* pageFile(int pageIndex);
  void indexNewStrokes();
  std::string sizeText(int pageIndex) const;

  DisposeOwner* owner_;  // not owned
  std::string inputPath_;
  std::string outputFolder_;
  std::string tag_;
  const DisposeOptions& opt_;
  const PlotModel& model_;
  PageSpool* spool_ = nullptr;  // not owned

  std::vector<Output> outputs_;
  std::vector<Extent> extents_;
  int currentPage_ = -1;  // the page that unrecognised text goes to
  int openFile_ = -1;     // the one page whose file is open
  std::string unwritablePage_;
  // The index: the strokes and labels of each page in list order, for the strokes and labels
  // added to the model since the last page was written.
  std::vector<std::vector<std::uint32_t>> strokesOfPage_, labelsOfPage_;
  size_t indexedStrokes_ = 0, indexedLabels_ = 0;
};

// The stroke text (stroke_text.cpp). "PU" or "PD" with the point, ";" after it.
void appendPoint(std::string& out, const char* cmd, const PlotPoint& p);
// Writes one stroke as the page writer does (plain or cutter form, inserted commands, "CI"),
// raising xMax and yMax to its points.
void appendStroke(std::string& out, const CStroke& s, const DisposeOptions& options, double& xMax, double& yMax);
void appendLineType(std::string& out, const LineType& lt);
// A label's stored "DT" text as the page file takes it: ended by ";", the reset as "DT<ETX>;".
void appendTerminatorText(std::string& out, const std::string& dtText);
bool lineTypeChanged(const LineType& type, const LineType& last);

// Writes strokes [from, end) of the model into one file (the print preview's send from a
// line): "IN;", the file's "WD" when it had one, then each stroke with its pen selected by
// "SP" and its line type when it changes. False, with the reason, when the file cannot be made.
bool writeStrokesFrom(const PlotModel& model, const DisposeOptions& options, const std::string& path, size_t from,
                      std::string* error);

// The page trailer values outside the rolling split: the page width, then the largest x of
// each page's strokes (0 for a page without strokes), from the model or the active spool.
void refillRollingSplitList(const PlotModel& model, const PageSpool* spool, double pageWidthMm, int pages);

}  // namespace qel::plot
