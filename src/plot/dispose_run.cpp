// The dispose pipeline and the reader's command loop and handlers.
#include "config/modes.h"
#include "plot/dispose_run.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "platform/files.h"
#include "plot/contours.h"
#include "plot/cut_quality.h"
#include "plot/number_text.h"
#include "plot/pagination.h"
#include "plot/plot_input.h"
#include "plot/stages.h"
#include "plot/stroke_font.h"
#include "platform/trace.h"
#include "plot/user_units.h"

namespace qel::plot {

using config::PageMode;

namespace {

bool isLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool isTerminator(int c, bool labelMode) {
  if (labelMode) return c == 3 || c == ';';
  return c == ';' || isLetter(c);
}

// The terminator test as a table, for the scanning loop.
struct TerminatorTable {
  bool normal[256] = {};
  TerminatorTable() {
    for (int c = 0; c < 256; ++c) normal[c] = isTerminator(c, false);
  }
};
const TerminatorTable kTerminators;

bool isSeparator(char c) { return c == ',' || c == ' '; }

enum Command {
  kNone = -1, kPD, kPU, kPA, kSP, kPG, kNR, kDI, kSI, kLO, kDT, kLB, kAA, kCI, kLT, kWD,
  // Beyond the fifteen: commands that draw, scale or move.
  kPR, kIP, kSC, kEA, kER, kRA, kRR, kPE, kPM, kEP,
  // Machine state kept where it takes effect.
  kVS, kFS,
  // Read and left out: resets, fills, pen widths and other attributes a cutter cannot use.
  kIN, kDF, kQuoted, kSM, kSkip
};

Command lookup(int c1, int c2) {
  switch (c1 * 256 + c2) {
    case 'P' * 256 + 'D': return kPD;
    case 'P' * 256 + 'U': return kPU;
    case 'P' * 256 + 'A': return kPA;
    case 'S' * 256 + 'P': return kSP;
    case 'P' * 256 + 'G': return kPG;
    case 'N' * 256 + 'R': return kNR;
    case 'D' * 256 + 'I': return kDI;
    case 'S' * 256 + 'I': return kSI;
    case 'L' * 256 + 'O': return kLO;
    case 'D' * 256 + 'T': return kDT;
    case 'L' * 256 + 'B': return kLB;
    case 'A' * 256 + 'A': return kAA;
    case 'C' * 256 + 'I': return kCI;
    case 'L' * 256 + 'T': return kLT;
    case 'W' * 256 + 'D': return kWD;
    case 'P' * 256 + 'R': return kPR;
    case 'I' * 256 + 'P': return kIP;
    case 'S' * 256 + 'C': return kSC;
    case 'E' * 256 + 'A': return kEA;
    case 'E' * 256 + 'R': return kER;
    case 'R' * 256 + 'A': return kRA;
    case 'R' * 256 + 'R': return kRR;
    case 'P' * 256 + 'E': return kPE;
    case 'P' * 256 + 'M': return kPM;
    case 'E' * 256 + 'P': return kEP;
    case 'V' * 256 + 'S': return kVS;
    case 'F' * 256 + 'S': return kFS;
    case 'I' * 256 + 'N': return kIN;
    case 'D' * 256 + 'F': return kDF;
    case 'C' * 256 + 'O':
    case 'B' * 256 + 'P': return kQuoted;
    case 'S' * 256 + 'M': return kSM;
    case 'F' * 256 + 'P': case 'F' * 256 + 'T': case 'P' * 256 + 'W': case 'W' * 256 + 'U':
    case 'T' * 256 + 'R': case 'L' * 256 + 'A': case 'P' * 256 + 'T': case 'A' * 256 + 'C':
    case 'N' * 256 + 'P': case 'C' * 256 + 'R': case 'P' * 256 + 'C': case 'M' * 256 + 'C':
    case 'P' * 256 + 'P': case 'S' * 256 + 'V': case 'U' * 256 + 'L': case 'F' * 256 + 'I':
    case 'F' * 256 + 'N': case 'S' * 256 + 'D': case 'A' * 256 + 'D': case 'S' * 256 + 'S':
    case 'S' * 256 + 'A': case 'C' * 256 + 'S': case 'C' * 256 + 'A': case 'E' * 256 + 'S':
    case 'L' * 256 + 'M': case 'D' * 256 + 'V': case 'T' * 256 + 'D': case 'I' * 256 + 'W':
    case 'R' * 256 + 'O': case 'C' * 256 + 'T': case 'S' * 256 + 'R': case 'E' * 256 + 'C':
    case 'C' * 256 + 'P': case 'P' * 256 + 'S': case 'Q' * 256 + 'L': case 'R' * 256 + 'F':
    case 'O' * 256 + 'E': case 'O' * 256 + 'I': case 'O' * 256 + 'S': case 'O' * 256 + 'P':
    case 'O' * 256 + 'H': case 'O' * 256 + 'W': case 'O' * 256 + 'A': case 'O' * 256 + 'C':
    case 'O' * 256 + 'F': case 'O' * 256 + 'D': case 'O' * 256 + 'T': return kSkip;
    default: return kNone;
  }
}

// Splits "a<sep>rest" at the first separator; leading separators are skipped first.
// Commands that only set or query state: before the first drawing command they stay part of
// the header text, as every unrecognised command does.
bool isHeaderText(Command c) { return c == kVS || c == kFS || c >= kIN; }

std::string_view firstField(std::string_view text, std::string_view& rest) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  size_t j = i;
  while (j < text.size() && !isSeparator(text[j])) ++j;
  rest = j < text.size() ? text.substr(j + 1) : std::string_view();
  return text.substr(i, j - i);
}

// Why a file with labels cannot be disposed of: the font was not found, or holds no glyph.
std::string missingFontText(const std::string& homeDir, const std::string& inputPath) {
  const std::string found = StrokeFont::locate(homeDir);
  std::string text = "the labels of " + inputPath + " cannot be drawn: ";
  if (!found.empty()) return text + "the label font " + found + " holds no glyph";
  text += "the label font QEL.dat was found in none of";
  for (const auto& c : StrokeFont::searchPath(homeDir)) text += " " + c;
  return text;
}

}  // namespace

DisposeRun::DisposeRun(DisposeOwner* owner, std::string inputPath, std::string outputFolder, std::string tag,
                       DisposeOptions options)
    : owner_(owner),
      inputPath_(std::move(inputPath)),
      outputFolder_(std::move(outputFolder)),
      tag_(std::move(tag)),
      opt_(std::move(options)) {
  while (outputFolder_.size() > 1 && outputFolder_.back() == '/') outputFolder_.pop_back();
  if (opt_.pageWidth == 0.0 || opt_.pageHeight == 0.0) opt_.splitPageEnabled = false;
}

DisposeRun::~DisposeRun() { cleanUp(); }

bool DisposeRun::fail(std::string message) {
  if (error_.empty()) error_ = std::move(message);
  return false;
}

void DisposeRun::resetRunState() {
  error_.clear();
  winXMin_ = 0.0;
  winYMin_ = 0.0;
  winXMax_ = opt_.pageWidth * kUnitsPerMm;
  winYMax_ = opt_.pageHeight * kUnitsPerMm;
  pageOffset_ = 0.0;
  pageIndex_ = 0;
  pagesFlushed_ = 0;
  inside_ = true;
  outside_ = false;
  newOrigin_ = true;
  pageOverflow_ = false;
  unwritablePage_.clear();
  rollingSplitList().clear();
  pen_ = 1;
  penDown_ = false;
  // What a file draws before its first "PU" is a stroke like any other.
  strokeStarted_ = true;
  units_.reset();
  relative_ = false;
  minRawX_ = minRawY_ = 0.0;
  plotCommandSeen_ = false;
  labelFontMissing_ = false;
  strokeLeftPen_ = false;
  polygonMode_ = false;
  polygon_.clear();
  polygonClosed_.clear();
  labelEndSearchedFrom_ = labelEndAt_ = -1;
  lastFinished_ = {};
  curX_ = curY_ = 0.0;
  model_.strokes.clear();
  model_.strokePages.clear();
  model_.labels.clear();
  model_.pensUsed.clear();
  model_.lineTypes.assign(1, LineType{});
  lineTypeIndex_ = model_.lineTypeIndex(lineType_);  // the line type stays from run to run
  if (opt_.cutFt == PageMode::PenGrouped)
    for (int p : opt_.spOut) model_.pensUsed.push_back(p);
  diText_.clear();
  siText_.clear();
  loText_.clear();
  wdSeen_ = false;
  wdValue_ = 0;
  passThrough_.clear();
  headerPending_ = true;
  stroke_.reset();
  stroke_.pen = pen_;
  stroke_.lineType = lineTypeIndex_;
  closeAll();
  outputs_.clear();
  extents_.clear();
  currentPage_ = -1;
  openFile_ = -1;
}

bool DisposeRun::dispose() {
  std::lock_guard<std::mutex> runGuard(disposeRunLock());
  error_.clear();
  if (!opt_.optimizeFunction && !opt_.splitPageEnabled) {
    if (copyThrough() != 0) return fail(error_.empty() ? "cannot copy " + inputPath_ : error_);
    return true;
  }
  resetRunState();
  return run(false) != -1;
}

bool DisposeRun::loadOnly() {
  std::lock_guard<std::mutex> runGuard(disposeRunLock());
  resetRunState();
  return run(true) != -1;
}

void DisposeRun::cleanUp() {
  in_.reset();
  for (auto& o : outputs_)
    if (o.file) {
      std::fclose(o.file);
      o.file = nullptr;
    }
  currentPage_ = -1;
  openFile_ = -1;
}

int DisposeRun::failWithoutLabelFont() {
  // Pages without their labels must not be cut: none of this run's files is left.
  fail(missingFontText(opt_.homeDir, inputPath_));
  return failRun();
}

// Cut quality (off by default): weeding on each page before it is written, and in page-order
// mode the knife offset and overcut of that page too.
void DisposeRun::cutQualityOfPages(std::optional<int> page) {
  const CutQualityOptions& cq = opt_.cutQuality;
  if (!cq.active()) return;
  PageArea weedArea;
  if (opt_.splitPageEnabled && opt_.cutFt != PageMode::MultiByPause) weedArea = {winXMax_, winYMax_};
  if (page) applyKnifeAndOvercut(model_.strokes, model_.strokePages, cq, opt_.minDistanceClose, page);
  addWeeding(model_.strokes, model_.strokePages, model_.labels, model_.pensUsed, cq, opt_.minDistanceClose, weedArea,
             page);
}

int DisposeRun::readAll(bool pageOrder) {
  const int mode = opt_.cutFt;
  for (int c1 = in_->get(); c1 != PlotInput::kEnd; c1 = in_->get()) {
    const int c2 = in_->peek();
    Command cmd = c2 == PlotInput::kEnd ? kNone : lookup(c1, c2);
    if (cmd != kNone && headerPending_ && isHeaderText(cmd)) cmd = kNone;
    if (cmd == kNone) {
      passThrough_.push_back(static_cast<char>(c1));
      continue;
    }
    in_->get();
    if (headerPending_ && !passThrough_.empty()) {
      if (!loadOnlyRun_) writeToPage(currentPage_, passThrough_);
      passThrough_.clear();
      headerPending_ = false;
    }
    dispatch(cmd);
    if (measuring_) continue;
    if (opt_.splitPageEnabled && !shifted_ && (minRawX_ < 0 || minRawY_ < 0)) return 1;
    if (pageOverflow_) {
      failTooManyPages();
      return -1;
    }
    if (labelFontMissing_) {
      fail(missingFontText(opt_.homeDir, inputPath_));
      return -1;
    }
    if (mode == PageMode::MultiByCoordinates && outside_ && opt_.splitPageEnabled) {
      fail("a stroke runs across a page edge in " + inputPath_);
      return -1;
    }
    if (pageOrder && pagesFlushed_ < pageIndex_) {
      // The reader has left this page: its file is finished now.
      cutQualityOfPages(pagesFlushed_);
      refillRollingSplitList(pageIndex_ + 1);
      openPage(pagesFlushed_);
      writePage(pagesFlushed_);
      closePage(pagesFlushed_);
      if (hasOutput(pagesFlushed_)) report(pagesFlushed_, outputName(pagesFlushed_));
      ++pagesFlushed_;
    }
  }
  if (in_->failed()) {
    fail("read error in " + inputPath_);
    return -1;
  }
  endOfInput();
  return 0;
}

void DisposeRun::removeCreatedPages() {
  // A failed run leaves no page files behind: its source goes aside whole.
  for (int p = 0; p < static_cast<int>(outputs_.size()); ++p) {
    Output& o = outputs_[p];
    if (o.file) {
      std::fclose(o.file);
      o.file = nullptr;
    }
    if (o.created) std::remove(outputName(p).c_str());
    o.created = false;
    o.closed = true;
  }
  openFile_ = -1;
  currentPage_ = -1;
}

void DisposeRun::failTooManyPages() {
  fail(inputPath_ + " would need more than " + std::to_string(maxPages()) +
       " pages (a coordinate lies too far along the roll for the page width); the limit is Max_Page_Count in "
       "[Split_Page] of Config.ini");
}

int DisposeRun::failRun() {
  removeCreatedPages();
  cleanUp();
  return -1;
}

int DisposeRun::run(bool loadOnlyRun) {
  loadOnlyRun_ = loadOnlyRun;
  platform::trace("enter need dipose file");
  in_ = std::make_unique<PlotInput>();
  if (!in_->open(inputPath_)) {
    fail("cannot open " + inputPath_ + ": " + (errno == EINVAL ? "not a regular file" : std::strerror(errno)));
    cleanUp();
    return -1;
  }
  if (in_->length() < 0) {
    fail("cannot determine the length of " + inputPath_);
    cleanUp();
    return -1;
  }
  // Room for the strokes of a file of this length (one per 64 bytes, at most 8 million) is
  // reserved at once: memory never written is not taken from the machine, and the list is not
  // copied into a larger one (both held at once) each time it fills.
  model_.strokes.reserve(static_cast<size_t>(std::min<std::int64_t>(in_->length() / 64, 8 << 20)));
  const int mode = opt_.cutFt;
  const bool pageOrder =
      opt_.strokeAppearOrderOfPage && mode != PageMode::Rolling && mode != PageMode::Contour && !loadOnlyRun_;
  const std::string dtAtStart = dtText_;
  shiftX_ = shiftY_ = 0.0;
  shifted_ = false;
  // A drawing whose origin lies inside it (negative coordinates) is moved onto the material:
  // a first pass finds how far, the second reads it moved. Page-order runs report pages while
  // reading, so they always look first.
  auto measure = [&]() {
    resetRunState();
    dtText_ = dtAtStart;
    measuring_ = true;
    loadOnlyRun_ = true;
    const bool split = opt_.splitPageEnabled;
    opt_.splitPageEnabled = false;
    in_->seek(0);
    readAll(false);
    opt_.splitPageEnabled = split;
    measuring_ = false;
    loadOnlyRun_ = loadOnlyRun;
    shiftX_ = minRawX_ < 0 ? -minRawX_ : 0.0;
    shiftY_ = minRawY_ < 0 ? -minRawY_ : 0.0;
    shifted_ = true;
    resetRunState();
    dtText_ = dtAtStart;
  };
  if (pageOrder && opt_.splitPageEnabled) measure();
  for (;;) {
    if (!loadOnlyRun_) openPage(0);
    inside_ = true;
    headerPending_ = true;
    in_->seek(0);
    const int r = readAll(pageOrder);
    if (r == 0) break;
    if (r < 0) return failRun();
    removeCreatedPages();
    measure();
  }
  platform::trace("read file finished!");
  if (labelFontMissing_) return failWithoutLabelFont();
  if (!plotCommandSeen_) {
    fail(inputPath_ + " holds no plot command: nothing to cut");
    return failRun();
  }

  // Cut quality: knife offset and overcut on whole paths before the page split of mode 8,
  // after reading and the rolling split otherwise.
  const CutQualityOptions& cq = opt_.cutQuality;
  const bool knifeOnWholePaths = cq.knifeOrOvercut() && !loadOnlyRun_ && !pageOrder;
  const bool contourMode = mode == PageMode::Contour && opt_.splitPageEnabled;
  if (mode == PageMode::Rolling && opt_.splitPageEnabled) {
    PageSplit split;
    if (!rollingSplit(model_, opt_, maxPages(), loadOnlyRun_, split)) {
      fail("a stroke of " + inputPath_ + " is wider than the page");
      if (loadOnlyRun_) std::remove(outputName(0).c_str());
      return failRun();
    }
    if (split.overflow) {
      pageOverflow_ = true;
    } else {
      if (!loadOnlyRun_)
        for (int p = 0; p <= split.lastPage; ++p) openPage(p);
      opt_.addPg = true;
    }
    platform::trace("after");
  }
  if (knifeOnWholePaths && !contourMode)
    applyKnifeAndOvercut(model_.strokes, model_.strokePages, cq, opt_.minDistanceClose);
  if (mode == PageMode::Contour && opt_.splitPageEnabled) {
    const std::vector<Box> boxes = contourStages(model_, opt_, false);
    // The knife offset and the overcut move points: the boxes no longer hold then.
    if (knifeOnWholePaths) applyKnifeAndOvercut(model_.strokes, model_.strokePages, cq, opt_.minDistanceClose);
    if (!loadOnlyRun_ && !wholeStrokeSplit(model_, opt_, maxPages(), false, knifeOnWholePaths ? nullptr : &boxes))
      pageOverflow_ = true;
  }
  if (mode == PageMode::CcdCut && loadOnlyRun_ && opt_.splitPageEnabled) {
    const std::vector<Box> boxes = contourStages(model_, opt_, true);
    if (!wholeStrokeSplit(model_, opt_, maxPages(), true, &boxes)) pageOverflow_ = true;
  }
  if (pageOverflow_) {
    failTooManyPages();
    return failRun();
  }
  if (loadOnlyRun_) {
    cleanUp();
    return 0;
  }

  platform::trace("before");
  int firstReported = 0;
  if (pageOrder) {
    firstReported = pagesFlushed_;
    for (int p = pagesFlushed_; p <= pageIndex_; ++p) cutQualityOfPages(p);
    for (int p = pagesFlushed_; p <= pageIndex_; ++p) openPage(p);
    if (mode != PageMode::Rolling) refillRollingSplitList(static_cast<int>(outputs_.size()));
    for (; pagesFlushed_ <= pageIndex_; ++pagesFlushed_) writePage(pagesFlushed_);
  } else {
    cutQualityOfPages(std::nullopt);
    for (int p : model_.strokePages) openPage(p);
    for (const auto& l : model_.labels) openPage(l.pageIndex);
    if (mode != PageMode::Rolling) refillRollingSplitList(static_cast<int>(outputs_.size()));
    // Each page is finished as soon as it is written; the last one takes the text that
    // followed the commands.
    const int count = static_cast<int>(outputs_.size());
    for (int p = 0; p < count; ++p) {
      writePage(p);
      if (p + 1 < count) closePage(p);
    }
  }
  if (!passThrough_.empty()) {
    std::string kept;
    kept.reserve(passThrough_.size());
    for (char c : passThrough_)
      if (static_cast<signed char>(c) >= 33) kept.push_back(c);
    writeToPage(currentPage_, kept);
  }
  closeAll();
  if (!unwritablePage_.empty()) {
    // A page that could not be written would be lost without a word: the run fails instead,
    // and the source stays with the queue.
    fail("cannot create page file " + unwritablePage_);
    return failRun();
  }
  // Every page file made by this run is reported once, in page order. Pages for which no
  // file was made are not reported: the queue would wait for them for ever.
  for (int p = firstReported; p < static_cast<int>(outputs_.size()); ++p)
    if (hasOutput(p)) report(p, outputName(p));
  const int outputs = static_cast<int>(outputs_.size());
  cleanUp();
  if (opt_.needExtraPage) {
    const std::string extra = outputFolder_ + "ExtraSp.plt";
    if (platform::fileExists(extra)) {
      const int p = pageIndex_ + 1;
      OutputFileReport r{extra, ""};
      if (p < static_cast<int>(extents_.size())) {
        char buf[128];
        std::snprintf(buf, sizeof buf, "%.2f * %.2f", extents_[p].xMax / kUnitsPerMm, extents_[p].yMax / kUnitsPerMm);
        r.sizeText = buf;
      }
      if (owner_) owner_->addOutputFileReport(r);
    } else {
      platform::trace("extra page " + extra + " does not exist; not reported");
    }
  }
  return outputs;
}

// ---------------------------------------------------------------------------------------------
// Reader

void DisposeRun::dispatch(int cmd) {
  switch (static_cast<Command>(cmd)) {
    case kPD: cmdPD(); break;
    case kPU: cmdPU(); break;
    case kPA: cmdPA(); break;
    case kSP: cmdSP(); break;
    case kPG:
    case kNR: cmdPG(); break;
    case kDI: cmdStoreText(diText_, "DI"); break;
    case kSI: cmdStoreText(siText_, "SI"); break;
    case kLO: cmdStoreText(loText_, "LO"); break;
    case kDT: cmdStoreText(dtText_, "DT"); break;
    case kLB: cmdLB(); break;
    case kAA: cmdAA(); break;
    case kCI: cmdCI(); break;
    case kLT: cmdLT(); break;
    case kWD: cmdWD(); break;
    case kPR: cmdPR(); break;
    case kIP: cmdScaling(true); break;
    case kSC: cmdScaling(false); break;
    case kEA: cmdRectangle(false); break;
    case kER: cmdRectangle(true); break;
    case kRA: cmdRectangle(false); break;
    case kRR: cmdRectangle(true); break;
    case kPE: cmdPE(); break;
    case kPM: cmdPM(); break;
    case kEP: cmdEP(); break;
    case kVS: cmdMachineState("VS"); break;
    case kFS: cmdMachineState("FS"); break;
    case kIN: cmdIN(); break;
    case kDF: cmdDF(); break;
    case kQuoted: cmdSkip('"'); break;
    case kSM: cmdSkip('M'); break;
    case kSkip: cmdSkip(0); break;
    case kNone: break;
  }
}

bool DisposeRun::scanParams(Params& p, bool labelMode) {
  p.storage.clear();
  p.terminator = labelMode ? in_->scan(p.storage, p.text, [](int c) { return isTerminator(c, true); })
                           : in_->scan(p.storage, p.text, [](int c) { return kTerminators.normal[c]; });
  if (p.terminator == PlotInput::kEnd) return false;
  if (p.terminator != ';') in_->unget();
  return true;
}

void DisposeRun::setPageFromX(double v) {
  const int mode = opt_.cutFt;
  if (mode == PageMode::SingleByCoordinates || mode == PageMode::SingleByPause || mode == PageMode::Rolling ||
      mode == PageMode::Contour) {
    pageIndex_ = 0;
    pageOffset_ = 0.0;
    return;
  }
  const double width = winXMax_ - winXMin_;
  if (!pageOfX(v, width, pageIndex_, maxPageIndex())) {
    pageOverflow_ = true;
    return;
  }
  pageOffset_ = pageIndex_ * width;
}

bool DisposeRun::inWindow(double v, bool isX) {
  if (!opt_.splitPageEnabled) {
    pageIndex_ = 0;
    pageOffset_ = 0.0;
    return true;
  }
  if (opt_.cutFt == PageMode::MultiByPause) {
    pageOffset_ = 0.0;
    return true;
  }
  if (isX) {
    if (newOrigin_) setPageFromX(v);
    newOrigin_ = false;
    const double shifted = v - pageOffset_;
    return winXMin_ <= shifted && shifted <= winXMax_;
  }
  return winYMin_ <= v && v <= winYMax_;
}

void DisposeRun::addPoint(const PlotPoint& p, bool penDown) {
  if (penDown || stroke_.points.empty())
    stroke_.points.push_back(p);
  else
    stroke_.points.back() = p;
}

void DisposeRun::finishStroke() {
  const int mode = opt_.cutFt;
  if ((mode == PageMode::SingleByCoordinates || mode == PageMode::SingleByPause) && outside_) {
    stroke_.reset();
    outside_ = false;
    inside_ = true;
  }
  // Machine state set while no point was drawn goes with the next stroke.
  std::vector<InsertedCommand> carried;
  if (strokeStarted_ && !stroke_.points.empty()) {
    const auto& pts = stroke_.points;
    if (pts.size() > 2 && isNear(pts.back(), pts.front(), opt_.minDistanceClose))
      stroke_.closedFlag = true;
    lastFinished_ = pts.back();
    // Pen 0 is no pen: what is drawn with it (white fills, hidden construction lines) is not cut.
    if (stroke_.pen != 0) {
      model_.add(stroke_, pageIndex_);
    }
  } else {
    for (auto& c : stroke_.inserted) carried.push_back({0, std::move(c.text)});
  }
  strokeStarted_ = true;
  strokeLeftPen_ = false;
  stroke_.reset();
  stroke_.pen = pen_;
  stroke_.lineType = lineTypeIndex_;
  stroke_.inserted = std::move(carried);
}

void DisposeRun::readPairs(std::string_view text, std::vector<PlotPoint>& out) const {
  out.clear();
  double x = curX_;
  bool wantX = true;
  const char* p = text.data();
  const char* const end = p + text.size();
  for (;;) {
    // One field: up to the next separator (or the end of the text).
    const char* start = p;
    double v = 0.0;
    bool simple = false;
    {
      // Plain integers, the common case, are read while looking for the separator.
      const char* q = p;
      const bool negative = q < end && *q == '-';
      if (negative) ++q;
      std::uint64_t m = 0;
      const char* digitsStart = q;
      while (q < end) {
        const unsigned digit = static_cast<unsigned char>(*q) - '0';
        if (digit > 9) break;
        m = m * 10 + digit;
        ++q;
      }
      const auto digits = q - digitsStart;
      if (digits > 0 && digits <= 15 && (q == end || isSeparator(*q))) {
        v = negative ? -static_cast<double>(m) : static_cast<double>(m);
        simple = true;
        p = q;
      }
    }
    if (!simple) {
      while (p < end && !isSeparator(*p)) ++p;
      v = parseReal(std::string_view(start, static_cast<size_t>(p - start)));
    }
    const bool empty = p == start;
    if (p == end) {
      // A trailing number is the y of the last pair.
      if (!empty) out.push_back({x, v});
      break;
    }
    ++p;  // the separator
    if (empty) continue;
    if (wantX) {
      x = v;
    } else {
      out.push_back({x, v});
    }
    wantX = !wantX;
  }
}

void DisposeRun::noteExtent(double rawX, double y) {
  if (rawX < minRawX_) minRawX_ = rawX;
  if (y < minRawY_) minRawY_ = y;
}

void DisposeRun::addRawPoint(double rawX, double y) {
  plotCommandSeen_ = true;
  noteExtent(rawX, y);
  const int mode = opt_.cutFt;
  const bool split = opt_.splitPageEnabled;
  // Modes whose pages follow x: the page of a stroke is where its pen-down run starts, and a
  // pen-up move takes the pen (and the stroke it starts) to the page it reaches.
  const bool pageByX = split && (mode == PageMode::MultiByCoordinates || mode == PageMode::HardPartition ||
                                 mode == PageMode::NoSplit || mode == PageMode::PenGrouped);
  const bool hardPartition = split && (mode == PageMode::HardPartition || mode == PageMode::PenGrouped);
  const PlotPoint stand{curX_, curY_};
  // A circle, or a stroke that a pen-up move leaves, is finished before the pen goes on.
  if (stroke_.circleFlag || strokeLeftPen_ || (!penDown_ && stroke_.points.size() > 1)) finishStroke();
  if (penDown_ && stroke_.points.empty()) {
    // A pen-down run into a stroke without a point starts where the pen stands.
    if (pageByX) {
      newOrigin_ = true;
      inside_ = true;
    }
    if (inside_) inside_ = inWindow(stand.x, true);
    if (inside_) inside_ = inWindow(stand.y, false);
    stroke_.points.push_back({stand.x - pageOffset_, stand.y});
  } else if (!penDown_ && pageByX) {
    newOrigin_ = true;
    inside_ = true;
  }
  if (hardPartition) inside_ = true;  // every point is measured against the page it reaches
  double shiftedX = rawX - pageOffset_;
  if (inside_) {
    inside_ = inWindow(rawX, true);
    shiftedX = rawX - pageOffset_;
  }
  if (inside_) inside_ = inWindow(y, false);
  if (!inside_ && hardPartition && penDown_) {
    // A pen-down segment leaving the page along x is cut at the page edges; pen-up moves are
    // never cut into strokes.
    if (shiftedX < winXMin_ || shiftedX > winXMax_) {
      PlotPoint to{rawX, y};
      splitAtEdges({curX_, curY_}, to);
      shiftedX = to.x;
    }
    inside_ = true;
  }
  curX_ = rawX;
  curY_ = y;
  addPoint({shiftedX, y}, penDown_);
}

PlotPoint DisposeRun::toRaw(double ux, double uy) const {
  PlotPoint p = units_.toPlotter(ux, uy);
  if (shiftX_ != 0.0) p.x += shiftX_;
  if (shiftY_ != 0.0) p.y += shiftY_;
  return p;
}

void DisposeRun::addPoints(std::vector<PlotPoint>& userPoints) {
  // User units (absolute, or moves from the pen's place after "PR") to raw plotter units.
  double x = curX_, y = curY_;
  for (auto& pt : userPoints) {
    if (relative_) {
      x += pt.x * units_.scaleX();
      y += pt.y * units_.scaleY();
      pt = {x, y};
    } else {
      pt = toRaw(pt.x, pt.y);
      x = pt.x;
      y = pt.y;
    }
  }
}

void DisposeRun::cmdPU() {
  if (!polygonMode_) finishStroke();
  penDown_ = false;
  newOrigin_ = true;
  Params p;
  if (!scanParams(p, false)) return;
  if (relative_ || polygonMode_) {
    readPairs(p.text, pairs_);
    if (pairs_.empty()) return;
    addPoints(pairs_);
    if (polygonMode_) {
      for (const auto& pt : pairs_) recordPolygon(pt);
      return;
    }
    // Every move of a relative "PU" counts; the stroke starts where the last one ends.
    pairs_.erase(pairs_.begin(), pairs_.end() - 1);
  } else {
    std::string_view rest;
    std::string_view xText = firstField(p.text, rest);
    if (xText.empty() && rest.empty()) return;  // no coordinates: no point
    while (!rest.empty() && isSeparator(rest.front())) rest.remove_prefix(1);
    pairs_.assign(1, toRaw(parseReal(xText), parseReal(rest)));
  }
  const PlotPoint raw = pairs_.front();
  plotCommandSeen_ = true;
  noteExtent(raw.x, raw.y);
  inside_ = inWindow(raw.x, true);
  const double shiftedX = raw.x - pageOffset_;
  curX_ = raw.x;
  inside_ = inWindow(raw.y, false) && inside_;
  stroke_.points.push_back({shiftedX, raw.y});
  curY_ = raw.y;
  if (!inside_) outside_ = true;
}

void DisposeRun::readAndAddPoints() {
  Params p;
  if (!scanParams(p, false)) return;
  readPairs(p.text, pairs_);
  addPoints(pairs_);
  if (polygonMode_) {
    for (const auto& pt : pairs_) recordPolygon(pt);
    return;
  }
  for (const auto& pt : pairs_) addRawPoint(pt.x, pt.y);
  if (!inside_) outside_ = true;
}

void DisposeRun::cmdPA() {
  relative_ = false;
  readAndAddPoints();
}

void DisposeRun::cmdPD() {
  penDown_ = true;
  if ((!opt_.deletePointEnabled && !opt_.addPointEnabled) || polygonMode_) {
    readAndAddPoints();
    return;
  }
  // Gather this run of "PD" commands (with nothing but unrecognised characters between them),
  // clean the run up, then add its points.
  Params p;
  if (!scanParams(p, false)) return;
  std::vector<PlotPoint> run;
  readPairs(p.text, run);
  std::int64_t resumeAt = in_->tell();
  for (;;) {
    const int c1 = in_->get();
    if (c1 == PlotInput::kEnd) break;
    const int c2 = in_->peek();
    if (c2 == PlotInput::kEnd) break;
    const Command cmd = lookup(c1, c2);
    if (cmd == kNone) continue;
    if (cmd != kPD) break;
    in_->get();
    if (!scanParams(p, false)) break;
    readPairs(p.text, pairs_);
    run.insert(run.end(), pairs_.begin(), pairs_.end());
    resumeAt = in_->tell();
  }
  in_->seek(resumeAt);
  addPoints(run);
  run = thinAndDensify(opt_, std::move(run));
  for (const auto& pt : run) addRawPoint(pt.x, pt.y);
  if (!inside_) outside_ = true;
}

void DisposeRun::cmdSP() {
  Params p;
  if (!scanParams(p, false)) return;
  if (p.text.empty()) return;
  selectPen(parseInt(p.text));
}

void DisposeRun::selectPen(int n) {
  pen_ = n;
  auto& pens = model_.pensUsed;
  if (std::find(pens.begin(), pens.end(), n) == pens.end()) pens.push_back(n);
  if (penDown_) {
    if (n != stroke_.pen) {
      finishStroke();
      if (stroke_.points.empty()) stroke_.points.push_back(lastFinished_);
    }
  } else {
    // A circle keeps the pen it was drawn with.
    if (stroke_.circleFlag || strokeLeftPen_) finishStroke();
    stroke_.pen = n;
  }
}

void DisposeRun::cmdPG() {
  Params p;
  const std::int64_t start = in_->tell();
  const bool complete = scanParams(p, false);
  if (opt_.cutFt != PageMode::MultiByPause || !opt_.splitPageEnabled) return;
  // Look for the page-break text in the parameters, the terminator and enough characters
  // after them to hold the text.
  const std::int64_t afterParams = start + static_cast<std::int64_t>(p.text.size());
  std::string collected(p.text);
  std::int64_t resumeAt = afterParams;
  if (complete) {
    collected.push_back(static_cast<char>(p.terminator));
    if (p.terminator == ';') resumeAt = afterParams + 1;
  }
  in_->seek(afterParams + (complete ? 1 : 0));
  while (collected.size() < opt_.splitLabel.size()) {
    const int c = in_->get();
    if (c == PlotInput::kEnd) break;
    collected.push_back(static_cast<char>(c));
  }
  if (!opt_.splitLabel.empty() && collected.find(opt_.splitLabel) != std::string::npos) {
    if (pageIndex_ >= maxPageIndex())
      pageOverflow_ = true;
    else
      ++pageIndex_;
  }
  in_->seek(resumeAt);
}

void DisposeRun::cmdStoreText(std::string& slot, const char* letters) {
  Params p;
  if (!scanParams(p, false)) return;
  std::string text(p.text);
  // A number written with an exponent ("DI4.5e-09,100") stays whole: the stored text is written
  // back as it is, and cut at the "e" it would no longer be a command.
  while ((p.terminator == 'e' || p.terminator == 'E') && !text.empty() &&
         ((text.back() >= '0' && text.back() <= '9') || text.back() == '.')) {
    in_->get();
    const int next = in_->peek();
    if (!(next == '-' || next == '+' || (next >= '0' && next <= '9'))) {
      in_->unget();
      break;
    }
    text.push_back(static_cast<char>(p.terminator));
    if (!scanParams(p, false)) return;
    text.append(p.text);
  }
  slot.assign(letters).append(text);
}

std::int64_t DisposeRun::labelEnd() {
  // A label ends at its terminator: ETX, or the character set by "DT" where it stands before
  // ";", a line break, a command or the end of the input. ";" inside a label is text. Files
  // of programs that end labels with ";" never write a terminator before the next label; their
  // labels end at the first ";" as before. The search stops at the next "LB" and its result is
  // remembered, so a file is searched about once however many labels it holds.
  const int dtChar = dtText_.size() > 2 ? static_cast<unsigned char>(dtText_[2]) : 3;
  const std::int64_t here = in_->tell();
  if (labelEndChar_ == dtChar && labelEndSearchedFrom_ >= 0 && labelEndSearchedFrom_ <= here && here <= labelEndStop_)
    return labelEndAt_;
  labelEndChar_ = dtChar;
  labelEndSearchedFrom_ = here;
  labelEndAt_ = -1;
  labelEndStop_ = here;
  for (int c = in_->get(); c != PlotInput::kEnd; c = in_->get()) {
    const std::int64_t at = in_->tell() - 1;
    labelEndStop_ = at;
    if (c == 'L' && in_->peek() == 'B') break;
    bool ends = c == 3;
    if (!ends && c == dtChar) {
      const int next = in_->peek();
      if (next == PlotInput::kEnd || next == ';' || next == '\r' || next == '\n') {
        ends = true;
      } else {
        in_->get();
        const int after = in_->peek();
        ends = after != PlotInput::kEnd && lookup(next, after) != kNone;
        in_->seek(at + 1);
      }
    }
    if (ends) {
      labelEndAt_ = at;
      break;
    }
  }
  if (labelEndAt_ < 0 && in_->peek() == PlotInput::kEnd) labelEndStop_ = in_->tell();
  in_->seek(here);
  return labelEndAt_;
}

void DisposeRun::cmdLB() {
  Params p;
  const std::int64_t end = labelEnd();
  if (end < 0) {
    if (!scanParams(p, true)) return;
  } else {
    p.storage.clear();
    p.terminator = in_->readUntil(p.storage, [&](int) { return in_->tell() == end; });
    if (p.terminator == PlotInput::kEnd) return;
    p.text = p.storage;
    if (p.terminator == 3) in_->unget();  // ETX is read again, as before; a "DT" character is the label's own
  }
  plotCommandSeen_ = true;
  noteExtent(curX_, curY_);
  if (pen_ == 0) {
    // No pen: nothing is drawn.
  } else if (opt_.fontDisposeEnabled) {
    // The label terminator characters set by "DT" are not drawn.
    const std::string_view dtChars = std::string_view(dtText_).substr(std::min<size_t>(2, dtText_.size()));
    std::string chars;
    chars.reserve(p.text.size());
    for (char c : p.text)
      if (dtChars.find(c) == std::string_view::npos) chars.push_back(c);
    labelToStrokes(chars);
    if (!loadOnlyRun_) openPage(pageIndex_);
  } else {
    LabelRecord r;
    r.pageIndex = pageIndex_;
    r.pen = pen_;
    r.diText = diText_;
    r.siText = siText_;
    r.loText = loText_;
    r.dtText = dtText_;
    r.labelText = std::string("LB").append(p.text);
    r.labelText.push_back(static_cast<char>(p.terminator));
    r.x = curX_ - pageOffset_;
    r.y = curY_;
    model_.labels.push_back(std::move(r));
  }
  // What the pen drew before the label is kept; a pen-up point waiting there is dropped.
  if (stroke_.points.size() > 1 || stroke_.circleFlag || strokeLeftPen_) {
    finishStroke();
  } else {
    stroke_.reset();
    stroke_.pen = pen_;
    stroke_.lineType = lineTypeIndex_;
  }
}

void DisposeRun::cmdCI() {
  Params p;
  if (!scanParams(p, true)) return;
  if (polygonMode_) return;  // a circle inside a polygon is not edged
  plotCommandSeen_ = true;
  int r = parseInt(p.text);
  if (units_.scaled()) r = truncToInt(std::round(r * std::fabs(units_.scaleX())));
  noteExtent(curX_ - std::abs(r), curY_ - std::abs(r));
  const PlotPoint centre{curX_ - pageOffset_, curY_};
  // The circle is drawn about the pen's place. A stroke that is just the pen-up move there
  // becomes the circle; anything else is finished first, so each circle is a stroke of its own.
  const bool atCentre = stroke_.points.size() == 1 && !stroke_.circleFlag && !strokeLeftPen_ &&
                        stroke_.points[0] == centre;
  if (!opt_.tranCi) {
    if (!atCentre) {
      finishStroke();
      stroke_.points.push_back(centre);
    }
    stroke_.circleFlag = true;
    stroke_.circleRadius = r;
    return;
  }
  if (opt_.cutFt == PageMode::CcdCut && stroke_.pen == opt_.markPointSp) return;  // a registration mark stays a point
  if (atCentre)
    stroke_.points.pop_back();
  else
    finishStroke();
  // Segments of about ArcLen; at most a bounded number however large the circle.
  constexpr double kMaxSegments = 100000;
  const double twoPi = 2.0 * M_PI;
  double n = 3;
  if (r >= opt_.arcLen) n = opt_.arcLen > 0 ? std::trunc(twoPi * r / opt_.arcLen) : kMaxSegments;
  if (!(n >= 3)) n = 3;
  if (n > kMaxSegments) n = kMaxSegments;
  const int segments = static_cast<int>(n);
  const PlotPoint c = centre;
  stroke_.points.push_back({c.x + r, c.y});
  const double step = twoPi / segments;
  const double limit = twoPi * (1.0 + 0.5 / segments);
  for (int k = 1; k * step <= limit; ++k) {
    const double a = k * step;
    stroke_.points.push_back({c.x + r * std::cos(a), c.y + r * std::sin(a)});
  }
  strokeLeftPen_ = true;  // the pen goes back to the centre
}

void DisposeRun::cmdLT() {
  Params p;
  if (!scanParams(p, false)) return;
  LineType lt;
  std::string_view rest;
  std::string_view t = firstField(p.text, rest);
  lt.type = parseInt(t);
  std::string_view extra;
  std::string_view len = firstField(rest, extra);
  lt.patternLength = static_cast<float>(parseReal(len));
  lt.extra.assign(extra);
  lineTypeIndex_ = model_.lineTypeIndex(lt);
  lineType_ = std::move(lt);
}

void DisposeRun::cmdWD() {
  Params p;
  if (!scanParams(p, true)) return;
  wdSeen_ = true;
  wdValue_ = parseInt(p.text);
}

void DisposeRun::endOfInput() {
  // A circle is kept however few points stand for it.
  if ((stroke_.points.size() >= 2 || stroke_.circleFlag) && stroke_.pen != 0) {
    model_.add(stroke_, pageIndex_);
    stroke_.reset();
  }
}

}  // namespace qel::plot
