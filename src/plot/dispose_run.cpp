// The dispose run: source, stages and page writer in the order the page mode asks for.
#include "plot/dispose_run.h"

#include <cstdio>
#include <mutex>

#include "config/modes.h"
#include "platform/files.h"
#include "platform/trace.h"
#include "plot/contour_stages.h"
#include "plot/cut_quality.h"
#include "plot/plot_format.h"
#include "plot/pagination.h"
#include "plot/rolling_split.h"
#include "plot/source_for_file.h"
#include "plot/whole_stroke_split.h"

namespace qel::plot {

using config::PageMode;

DisposeRun::DisposeRun(DisposeOwner* owner, std::string inputPath, std::string outputFolder, std::string tag,
                       DisposeOptions options, std::unique_ptr<PlotSource> source)
    : owner_(owner),
      inputPath_(std::move(inputPath)),
      outputFolder_(std::move(outputFolder)),
      tag_(std::move(tag)),
      opt_(std::move(options)),
      source_(std::move(source)),
      spool_(opt_, model_),
      writer_(owner, inputPath_, outputFolder_, tag_, opt_, model_) {
  while (outputFolder_.size() > 1 && outputFolder_.back() == '/') outputFolder_.pop_back();
  if (opt_.pageWidth == 0.0 || opt_.pageHeight == 0.0) opt_.splitPageEnabled = false;
  if (!source_) {
    // A drawing cannot go to the machine as it is: it is read even where a plot file is copied.
    copyAllowed_ = !isDrawing(plotFormatOfFile(inputPath_));
    source_ = sourceForFile(inputPath_, opt_);
  }
  writer_.setSpool(&spool_);
}

DisposeRun::~DisposeRun() = default;

bool DisposeRun::fail(std::string message) {
  if (error_.empty()) error_ = std::move(message);
  return false;
}

int DisposeRun::failRun() {
  // A failed run leaves no page files behind: its source goes aside whole.
  writer_.removeCreatedPages();
  return -1;
}

bool DisposeRun::dispose() {
  std::lock_guard<std::mutex> runGuard(disposeRunLock());
  error_.clear();
  if (!opt_.optimizeFunction && !opt_.splitPageEnabled && copyAllowed_) {
    std::string why;
    if (!writer_.copyThrough(why)) return fail(why.empty() ? "cannot copy " + inputPath_ : why);
    return true;
  }
  return run(false) != -1;
}

bool DisposeRun::loadOnly() {
  std::lock_guard<std::mutex> runGuard(disposeRunLock());
  error_.clear();
  return run(true) != -1;
}

void DisposeRun::passStarted() {
  writer_.removeCreatedPages();
  writer_.reset();
  rollingSplitList().clear();
  pagesFlushed_ = 0;
  writer_.notePage(0);
}

void DisposeRun::pageNoted(int page) { writer_.notePage(page); }

void DisposeRun::headerText(std::string_view text) { writer_.writeToPage(writer_.currentPage(), text); }

void DisposeRun::stepDone(int currentPage) {
  // In page-order mode a page the source has left is finished now, one page per command.
  if (pageOrder_ && pagesFlushed_ < currentPage) {
    lastReadPage_ = currentPage;
    flushPage(pagesFlushed_);
    ++pagesFlushed_;
  }
}

void DisposeRun::flushPage(int page) {
  cutQualityOfPages(page);
  refillRollingSplitList(model_, &spool_, opt_.pageWidth, lastReadPage_ + 1);
  writer_.notePage(page);
  writer_.writePage(page);
  writer_.closePage(page);
  if (writer_.hasOutput(page)) writer_.report(page);
}

// Cut quality (off by default): weeding on each page before it is written, and in page-order
// mode the knife offset and overcut of that page too.
void DisposeRun::cutQualityOfPages(std::optional<int> page) {
  const CutQualityOptions& cq = opt_.cutQuality;
  if (!cq.active()) return;
  PageArea weedArea;
  if (opt_.splitPageEnabled && opt_.cutFt != PageMode::MultiByPause)
    weedArea = {opt_.pageWidth * kUnitsPerMm, opt_.pageHeight * kUnitsPerMm};
  if (page) applyKnifeAndOvercut(model_.strokes, model_.strokePages, cq, opt_.minDistanceClose, page);
  addWeeding(model_.strokes, model_.strokePages, model_.labels, model_.pensUsed, cq, opt_.minDistanceClose, weedArea,
             page);
}

int DisposeRun::run(bool loadOnlyRun) {
  loadOnlyRun_ = loadOnlyRun;
  const int mode = opt_.cutFt;
  pageOrder_ = opt_.strokeAppearOrderOfPage && mode != PageMode::Rolling && mode != PageMode::Contour && !loadOnlyRun_;
  writer_.reset();
  rollingSplitList().clear();
  pagesFlushed_ = 0;
  platform::trace("enter need dipose file");
  PlotBuilder builder(model_, opt_, loadOnlyRun_ ? nullptr : this);
  // Large files are written page by page as they are read where nothing after the reader
  // needs their strokes: pages by the reader, in drawing order, without cut quality.
  spool_.clear();
  spool_.setActive(false);
  const bool split = opt_.splitPageEnabled;
  if (!loadOnlyRun_ && !opt_.cutQuality.active() && mode != PageMode::PenGrouped &&
      !(split && (mode == PageMode::Rolling || mode == PageMode::Contour)))
    builder.offerSpool(&spool_);
  builder.carryLineType(lineType_);
  builder.reset();
  const SourceResult read = source_->read(builder);
  lineType_ = builder.lineType();
  lastReadPage_ = builder.pageIndex();
  if (!read.ok) {
    fail(read.text);
    return failRun();
  }
  platform::trace("read file finished!");
  if (!runStages()) return failRun();
  if (loadOnlyRun_) return 0;
  platform::trace("before");
  const int outputs = writePages();
  spool_.clear();
  return outputs;
}

bool DisposeRun::runStages() {
  const int mode = opt_.cutFt;
  const bool split = opt_.splitPageEnabled;
  bool overflow = false;
  // Cut quality: knife offset and overcut on whole paths before the page split of mode 8,
  // after reading and the rolling split otherwise.
  const CutQualityOptions& cq = opt_.cutQuality;
  const bool knifeOnWholePaths = cq.knifeOrOvercut() && !loadOnlyRun_ && !pageOrder_;
  const bool contourMode = mode == PageMode::Contour && split;
  if (mode == PageMode::Rolling && split) {
    PageSplit result;
    if (!rollingSplit(model_, opt_, maxPages(), loadOnlyRun_, result)) {
      fail("a stroke of " + inputPath_ + " is wider than the page");
      if (loadOnlyRun_) std::remove(outputName(0).c_str());
      return false;
    }
    if (result.overflow) {
      overflow = true;
    } else {
      if (!loadOnlyRun_)
        for (int p = 0; p <= result.lastPage; ++p) writer_.notePage(p);
      opt_.addPg = true;
    }
    platform::trace("after");
  }
  if (knifeOnWholePaths && !contourMode)
    applyKnifeAndOvercut(model_.strokes, model_.strokePages, cq, opt_.minDistanceClose);
  if (contourMode) {
    const std::vector<Box> boxes = contourStages(model_, opt_, false);
    // The knife offset and the overcut move points: the boxes no longer hold then.
    if (knifeOnWholePaths) applyKnifeAndOvercut(model_.strokes, model_.strokePages, cq, opt_.minDistanceClose);
    if (!loadOnlyRun_ && !wholeStrokeSplit(model_, opt_, maxPages(), false, knifeOnWholePaths ? nullptr : &boxes))
      overflow = true;
  }
  if (mode == PageMode::CcdCut && loadOnlyRun_ && split) {
    const std::vector<Box> boxes = contourStages(model_, opt_, true);
    if (!wholeStrokeSplit(model_, opt_, maxPages(), true, &boxes)) overflow = true;
  }
  if (overflow) return fail(tooManyPagesText(inputPath_, opt_.maxPageCount));
  return true;
}

int DisposeRun::writePages() {
  const int mode = opt_.cutFt;
  int firstReported = 0;
  if (pageOrder_) {
    firstReported = pagesFlushed_;
    for (int p = pagesFlushed_; p <= lastReadPage_; ++p) cutQualityOfPages(p);
    for (int p = pagesFlushed_; p <= lastReadPage_; ++p) writer_.notePage(p);
    if (mode != PageMode::Rolling) refillRollingSplitList(model_, &spool_, opt_.pageWidth, writer_.pageCount());
    for (; pagesFlushed_ <= lastReadPage_; ++pagesFlushed_) writer_.writePage(pagesFlushed_);
  } else {
    cutQualityOfPages(std::nullopt);
    for (int p : model_.strokePages) writer_.notePage(p);
    if (spool_.active()) {
      for (int p = 0; p < spool_.pageCount(); ++p)
        if (spool_.page(p)->written) writer_.notePage(p);
      writer_.notePage(spool_.lastPage());  // the page of the last stroke is the current one
    }
    for (const auto& l : model_.labels) writer_.notePage(l.pageIndex);
    if (mode != PageMode::Rolling) refillRollingSplitList(model_, &spool_, opt_.pageWidth, writer_.pageCount());
    // Each page is finished as soon as it is written; the last one takes the text that
    // followed the commands.
    const int count = writer_.pageCount();
    for (int p = 0; p < count; ++p) {
      writer_.writePage(p);
      if (p + 1 < count) writer_.closePage(p);
    }
  }
  if (!model_.trailingText.empty()) {
    std::string kept;
    kept.reserve(model_.trailingText.size());
    for (char c : model_.trailingText)
      if (static_cast<signed char>(c) >= 33) kept.push_back(c);
    writer_.writeToPage(writer_.currentPage(), kept);
  }
  writer_.closeAll();
  if (!writer_.unwritablePage().empty()) {
    // A page that could not be written would be lost without a word: the run fails instead,
    // and the source stays with the queue.
    fail("cannot create page file " + writer_.unwritablePage());
    return failRun();
  }
  // Every page file made by this run is reported once, in page order. Pages for which no
  // file was made are not reported: the queue would wait for them for ever.
  for (int p = firstReported; p < writer_.pageCount(); ++p)
    if (writer_.hasOutput(p)) writer_.report(p);
  const int outputs = writer_.pageCount();
  if (opt_.needExtraPage) {
    const std::string extra = outputFolder_ + "ExtraSp.plt";
    if (platform::fileExists(extra))
      writer_.reportOther(extra, lastReadPage_ + 1);
    else
      platform::trace("extra page " + extra + " does not exist; not reported");
  }
  return outputs;
}

}  // namespace qel::plot
