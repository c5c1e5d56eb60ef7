// The HPGL reader's command loop: recognition of the two-letter commands, parameter scanning,
// coordinate pairs, and the passes over the file (a measuring pass first when the drawing must
// be moved onto the material).
#include "plot/hpgl_reader.h"

#include <cerrno>
#include <cstring>

#include "config/modes.h"
#include "plot/hpgl_syntax.h"
#include "plot/number_text.h"
#include "plot/plot_builder.h"
#include "plot/plot_input.h"

namespace qel::plot {

namespace hpgl {

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
    case 'S' * 256 + 'R': return kSR;
    case 'S' * 256 + 'L': return kSL;
    case 'E' * 256 + 'S': return kES;
    case 'P' * 256 + 'C': return kPC;
    case 'C' * 256 + 'O': return kCO;
    case 'B' * 256 + 'P': return kQuoted;
    case 'S' * 256 + 'M': return kSM;
    case 'F' * 256 + 'P': case 'F' * 256 + 'T': case 'P' * 256 + 'W': case 'W' * 256 + 'U':
    case 'T' * 256 + 'R': case 'L' * 256 + 'A': case 'P' * 256 + 'T': case 'A' * 256 + 'C':
    case 'N' * 256 + 'P': case 'C' * 256 + 'R': case 'M' * 256 + 'C':
    case 'P' * 256 + 'P': case 'S' * 256 + 'V': case 'U' * 256 + 'L': case 'F' * 256 + 'I':
    case 'F' * 256 + 'N': case 'S' * 256 + 'D': case 'A' * 256 + 'D': case 'S' * 256 + 'S':
    case 'S' * 256 + 'A': case 'C' * 256 + 'S': case 'C' * 256 + 'A':
    case 'L' * 256 + 'M': case 'D' * 256 + 'V': case 'T' * 256 + 'D': case 'I' * 256 + 'W':
    case 'R' * 256 + 'O': case 'C' * 256 + 'T': case 'E' * 256 + 'C':
    case 'C' * 256 + 'P': case 'P' * 256 + 'S': case 'Q' * 256 + 'L': case 'R' * 256 + 'F':
    case 'O' * 256 + 'E': case 'O' * 256 + 'I': case 'O' * 256 + 'S': case 'O' * 256 + 'P':
    case 'O' * 256 + 'H': case 'O' * 256 + 'W': case 'O' * 256 + 'A': case 'O' * 256 + 'C':
    case 'O' * 256 + 'F': case 'O' * 256 + 'D': case 'O' * 256 + 'T': return kSkip;
    default: return kNone;
  }
}

std::string_view firstField(std::string_view text, std::string_view& rest) {
  size_t i = 0;
  while (i < text.size() && isWhiteSpace(text[i])) ++i;
  size_t j = i;
  while (j < text.size() && !isSeparator(text[j])) ++j;
  rest = j < text.size() ? text.substr(j + 1) : std::string_view();
  return text.substr(i, j - i);
}

std::vector<std::string_view> fields(std::string_view text) {
  std::vector<std::string_view> out;
  size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && isSeparator(text[i])) ++i;
    size_t j = i;
    while (j < text.size() && !isSeparator(text[j])) ++j;
    if (j > i) out.push_back(text.substr(i, j - i));
    i = j;
  }
  return out;
}

}  // namespace hpgl

using namespace hpgl;
using config::PageMode;

namespace {

// The terminator test as a table, for the scanning loop.
struct TerminatorTable {
  bool normal[256] = {};
  TerminatorTable() {
    for (int c = 0; c < 256; ++c) normal[c] = isTerminator(c, false);
  }
};
const TerminatorTable kTerminators;

}  // namespace

HpglReader::HpglReader(std::string inputPath, const DisposeOptions& options)
    : inputPath_(std::move(inputPath)), opt_(options) {}

HpglReader::~HpglReader() = default;

SourceResult HpglReader::fail(std::string text) {
  if (failure_.text.empty()) failure_.text = std::move(text);
  failure_.ok = false;
  return failure_;
}

void HpglReader::resetPass() {
  units_.reset();
  relative_ = false;
  polygonMode_ = false;
  polygon_.clear();
  polygonClosed_.clear();
  labelEndSearchedFrom_ = labelEndAt_ = -1;
  diText_.clear();
  siText_.clear();
  loText_.clear();
  srText_.clear();
  slText_.clear();
  esText_.clear();
  passThrough_.clear();
  headerPending_ = true;
  labelFontMissing_ = false;
  circleRefusal_.clear();
  plotterUnitScale_ = false;
}

SourceResult HpglReader::read(PlotBuilder& builder) {
  b_ = &builder;
  failure_ = {};
  resetPass();
  in_ = std::make_unique<PlotInput>();
  if (!in_->open(inputPath_))
    return fail("cannot open " + inputPath_ + ": " + (errno == EINVAL ? "not a regular file" : std::strerror(errno)));
  const std::int64_t length = in_->length();
  if (length < 0) return fail("cannot determine the length of " + inputPath_);
  builder.reserveForInput(length);
  const std::string dtAtStart = dtText_;
  shiftX_ = shiftY_ = 0.0;
  shifted_ = false;
  // A drawing whose origin lies inside it (negative coordinates) is moved onto the material:
  // a first pass finds how far, the second reads it moved. Runs that write pages while reading
  // always look first.
  if (builder.writesWhileReading() && builder.splitEnabled()) measure(dtAtStart);
  for (;;) {
    builder.startPass();
    headerPending_ = true;
    in_->seek(0);
    const Pass r = readAll();
    if (r == Pass::Done) break;
    if (r == Pass::Failed) return failure_;
    measure(dtAtStart);
  }
  if (labelFontMissing_) return fail(missingFontText());
  if (!builder.drawingSeen()) {
    in_.reset();
    return fail(nothingToCutText(inputPath_));
  }
  builder.model().trailingText = std::move(passThrough_);
  passThrough_.clear();
  if (plotterUnitScale_) notePlotterUnitScale(dtAtStart);
  in_.reset();
  return {true, {}};
}

void HpglReader::scratchPass(const std::string& dtAtStart, const std::function<void(PlotBuilder&)>& look) {
  // A pass over the whole file into a model of its own, without pages and without the window.
  PlotBuilder& real = *b_;
  PlotModel scratch;
  DisposeOptions o = real.options();
  o.splitPageEnabled = false;
  PlotBuilder pass(scratch, o, nullptr);
  pass.carryLineType(real.lineType());
  pass.reset();
  resetPass();
  dtText_ = dtAtStart;
  b_ = &pass;
  measuring_ = true;
  in_->seek(0);
  readAll();
  measuring_ = false;
  b_ = &real;
  look(pass);
}

void HpglReader::notePlotterUnitScale(const std::string& dtAtStart) {
  // User units without scaling points count in plotter units: the reading stays, and the
  // operator is told the size that results. The pages may have taken the strokes already: a
  // pass of its own measures the whole drawing.
  const std::string dtAfter = dtText_;
  bool any = false;
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  scratchPass(dtAtStart, [&](PlotBuilder& pass) {
    auto note = [&](double x, double y, double r) {
      if (!any || x - r < minX) minX = x - r;
      if (!any || y - r < minY) minY = y - r;
      if (!any || x + r > maxX) maxX = x + r;
      if (!any || y + r > maxY) maxY = y + r;
      any = true;
    };
    for (const CStroke& st : pass.model().strokes)
      for (const PlotPoint& pt : st.points) note(pt.x, pt.y, st.circleFlag ? std::abs(st.circleRadius) : 0.0);
    for (const LabelRecord& l : pass.model().labels) note(l.x, l.y, 0.0);
  });
  resetPass();
  dtText_ = dtAfter;
  b_->model().notices.push_back(
      {ReadNotice::Kind::ScaleWithoutScalingPoints, (maxX - minX) / kUnitsPerMm, (maxY - minY) / kUnitsPerMm});
}

void HpglReader::measure(const std::string& dtAtStart) {
  scratchPass(dtAtStart, [&](PlotBuilder& measuring) {
    const PlotPoint lowest = measuring.lowestExtent();
    shiftX_ = lowest.x < 0 ? -lowest.x : 0.0;
    shiftY_ = lowest.y < 0 ? -lowest.y : 0.0;
    shifted_ = true;
    // The line type the measuring pass ended with carries over, as it does from run to run.
    b_->carryLineType(measuring.lineType());
  });
  b_->reset();
  resetPass();
  dtText_ = dtAtStart;
}

HpglReader::Pass HpglReader::readAll() {
  PlotBuilder& b = *b_;
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
      b.headerText(passThrough_);
      passThrough_.clear();
      headerPending_ = false;
    }
    dispatch(cmd);
    if (measuring_) continue;
    const PlotPoint lowest = b.lowestExtent();
    if (b.splitEnabled() && !shifted_ && (lowest.x < 0 || lowest.y < 0)) return Pass::Restart;
    if (b.overflow()) {
      fail(tooManyPagesText(inputPath_, opt_.maxPageCount));
      return Pass::Failed;
    }
    if (labelFontMissing_) {
      fail(missingFontText());
      return Pass::Failed;
    }
    if (!circleRefusal_.empty()) {
      fail(circleRefusal_);
      return Pass::Failed;
    }
    if (b.crossedEdge()) {
      fail(crossedEdgeText(inputPath_));
      return Pass::Failed;
    }
    b.stepDone();
  }
  if (in_->failed()) {
    fail("read error in " + inputPath_);
    return Pass::Failed;
  }
  b.endOfInput();
  return Pass::Done;
}

void HpglReader::dispatch(int cmd) {
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
    case kSR: cmdStoreText(srText_, "SR"); break;
    case kSL: cmdStoreText(slText_, "SL"); break;
    case kES: cmdStoreText(esText_, "ES"); break;
    case kVS: cmdMachineState("VS"); break;
    case kFS: cmdMachineState("FS"); break;
    case kPC: cmdMachineState("PC"); break;
    case kCO: cmdSkip('C'); break;
    case kIN: cmdIN(); break;
    case kDF: cmdDF(); break;
    case kQuoted: cmdSkip('"'); break;
    case kSM: cmdSkip('M'); break;
    case kSkip: cmdSkip(0); break;
    case kNone: break;
  }
}

void HpglReader::scanParams(Params& p, bool labelMode) {
  p.storage.clear();
  p.terminator = labelMode ? in_->scan(p.storage, p.text, [](int c) { return isTerminator(c, true); })
                           : in_->scan(p.storage, p.text, [](int c) { return kTerminators.normal[c]; });
  // A letter or ETX belongs to what follows: it is read again. The end of the input ends the
  // parameters like a terminator.
  if (p.terminator != ';' && p.terminator != PlotInput::kEnd) in_->unget();
}

void HpglReader::readPairs(std::string_view text, std::vector<PlotPoint>& out) const {
  out.clear();
  double x = b_->position().x;
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

PlotPoint HpglReader::toRaw(double ux, double uy) const {
  PlotPoint p = units_.toPlotter(ux, uy);
  if (shiftX_ != 0.0) p.x += shiftX_;
  if (shiftY_ != 0.0) p.y += shiftY_;
  return p;
}

void HpglReader::addPoints(std::vector<PlotPoint>& userPoints) const {
  // User units (absolute, or moves from the pen's place after "PR") to raw plotter units.
  const PlotPoint at = b_->position();
  double x = at.x, y = at.y;
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

}  // namespace qel::plot
