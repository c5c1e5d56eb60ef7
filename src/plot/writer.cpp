// The writer: page files, their bodies and trailers, names and reports.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "platform/files.h"
#include "config/modes.h"
#include "plot/dispose_run.h"
#include "plot/number_text.h"
#include "plot/stages.h"

namespace qel::plot {

using config::PageMode;

namespace {

constexpr std::size_t kFileBuffer = 1 << 18;

void appendPoint(std::string& out, const char* cmd, const PlotPoint& p) {
  char buf[80];
  char* e = buf;
  *e++ = cmd[0];
  *e++ = cmd[1];
  e = writeNumber(e, p.x);
  *e++ = ',';
  e = writeNumber(e, p.y);
  *e++ = ';';
  out.append(buf, static_cast<size_t>(e - buf));
}

void appendLineType(std::string& out, const LineType& lt) {
  out.append("LT");
  if (lt.type > 0) {
    out.append(std::to_string(lt.type));
    if (lt.patternLength > 0) {
      out.push_back(',');
      appendNumber(out, lt.patternLength);
    }
    if (!lt.extra.empty()) out.append(",").append(lt.extra);
  }
  out.push_back(';');
}

// The point `d` units back from p2 along the segment p1 → p2; false when the segment is not
// longer than that.
bool pointBack(const PlotPoint& p1, const PlotPoint& p2, double d, PlotPoint& out) {
  const double dx = p2.x - p1.x, dy = p2.y - p1.y;
  if (dx * dx + dy * dy - d * d < 1e-5) return false;
  if (std::fabs(dx) >= 1e-5) {
    const double k = dy / dx;
    const double t = std::sqrt(d * d / (k * k + 1));
    out.x = dx >= 0 ? p2.x - t : p2.x + t;
    out.y = (out.x - p2.x) * k + p2.y;
  } else {
    out.x = p1.x;
    out.y = dy >= 0 ? p2.y - d : p2.y + d;
  }
  return true;
}

}  // namespace

std::string DisposeRun::outputName(int pageIndex) const {
  std::string base = inputPath_;
  const size_t slash = base.find_last_of('/');
  if (slash != std::string::npos) base.erase(0, slash + 1);
  const size_t dot = base.find_last_of('.');
  if (dot != std::string::npos) base.erase(dot);
  char number[32];
  std::snprintf(number, sizeof number, "%03d", pageIndex + 1);
  return outputFolder_ + "/" + base + "_" + tag_ + "_" + number + ".PLT";
}

bool DisposeRun::hasOutput(int pageIndex) const {
  return pageIndex >= 0 && pageIndex < static_cast<int>(outputs_.size()) && outputs_[pageIndex].created;
}

bool DisposeRun::openPage(int pageIndex) {
  if (pageIndex < 0) return false;
  if (pageIndex >= static_cast<int>(outputs_.size())) {
    outputs_.resize(pageIndex + 1);
    extents_.resize(pageIndex + 1);
  }
  // The page is noted here; its file is made when the page is written, so that a run refused
  // while reading leaves nothing behind and only one page file is open at a time.
  Output& o = outputs_[pageIndex];
  if (!o.wanted) {
    o.wanted = true;
    o.pending = "IN;";
  }
  currentPage_ = pageIndex;
  return true;
}

std::FILE* DisposeRun::pageFile(int pageIndex) {
  Output& o = outputs_[pageIndex];
  if (o.file) return o.file;
  if (!o.wanted || o.closed) return nullptr;
  if (openFile_ >= 0 && openFile_ != pageIndex && outputs_[openFile_].file) {
    std::fclose(outputs_[openFile_].file);
    outputs_[openFile_].file = nullptr;
  }
  openFile_ = -1;
  const std::string name = outputName(pageIndex);
  if (!o.created) platform::makeDirectories(outputFolder_);
  o.file = std::fopen(name.c_str(), o.created ? "ab" : "wb");
  if (!o.file) {
    if (unwritablePage_.empty()) unwritablePage_ = name + ": " + std::strerror(errno);
    o.closed = true;
    return nullptr;
  }
  std::setvbuf(o.file, nullptr, _IOFBF, kFileBuffer);
  o.created = true;
  openFile_ = pageIndex;
  writeText(o.file, o.pending);
  o.pending.clear();
  return o.file;
}

void DisposeRun::writeToPage(int pageIndex, std::string_view text) {
  if (pageIndex < 0 || pageIndex >= static_cast<int>(outputs_.size()) || text.empty()) return;
  Output& o = outputs_[pageIndex];
  if (!o.wanted || o.closed) return;
  if (o.file)
    writeText(o.file, text);
  else
    o.pending.append(text);
}

void DisposeRun::writeText(std::FILE* f, std::string_view text) {
  if (f && !text.empty()) fwrite_unlocked(text.data(), 1, text.size(), f);
}

void DisposeRun::writePage(int pageIndex) {
  if (pageIndex < 0 || pageIndex >= static_cast<int>(outputs_.size())) return;
  std::FILE* f = pageFile(pageIndex);
  if (!f) return;
  Extent extent = extents_[pageIndex];
  std::string out;
  out.reserve(1 << 16);
  auto flush = [&](bool force) {
    if (force || out.size() >= (1 << 16)) {
      writeText(f, out);
      out.clear();
    }
  };

  if (wdSeen_) out.append("WD").append(std::to_string(wdValue_)).append(";");
  for (const auto& l : model_.labels) {
    if (l.pageIndex != pageIndex) continue;
    out.append("SP").append(std::to_string(l.pen));
    out.append(l.diText).append(l.siText).append(l.loText).append(l.dtText);
    appendPoint(out, "PU", {l.x, l.y});
    out.append(l.labelText);
    if (l.x > extent.xMax) extent.xMax = l.x;
  }

  LineType none;
  none.type = -1;
  const LineType* lastType = &none;
  int lastPen = 0;
  bool first = true;
  auto emit = [&](const CStroke& s, bool penGroupStart) {
    const LineType& type = model_.lineTypeOf(s);
    if (type.type != lastType->type || std::fabs(type.patternLength - lastType->patternLength) > 1e-5)
      appendLineType(out, type);
    if (first || penGroupStart || (opt_.cutFt != PageMode::PenGrouped && s.pen != lastPen))
      out.append("SP").append(std::to_string(s.pen)).append(";");
    writeStroke(out, s, extent);
    lastType = &type;
    lastPen = s.pen;
    first = false;
    flush(false);
  };

  const size_t n = model_.strokes.size();
  if (opt_.cutFt == PageMode::PenGrouped) {
    // Grouped by pen, in the order of the pens-used list; each pen once.
    std::vector<int> done;
    for (int pen : model_.pensUsed) {
      if (std::find(done.begin(), done.end(), pen) != done.end()) continue;
      done.push_back(pen);
      bool groupStart = true;
      for (size_t i = 0; i < n; ++i) {
        if (model_.strokePages[i] != pageIndex || model_.strokes[i].pen != pen) continue;
        emit(model_.strokes[i], groupStart);
        groupStart = false;
      }
    }
  } else {
    for (size_t i = 0; i < n; ++i)
      if (model_.strokePages[i] == pageIndex) emit(model_.strokes[i], false);
  }
  flush(true);
  extents_[pageIndex] = extent;
  currentPage_ = pageIndex;
}

void DisposeRun::writeStroke(std::string& out, const CStroke& s, Extent& extent) const {
  const auto& pts = s.points;
  const size_t n = pts.size();
  if (opt_.cutterHandle && s.pen != 1 && n >= 3) {
    writeStrokeCutter(out, s);
  } else {
    const bool leave = opt_.leaveCut && s.pen == 2 && n >= 2;
    auto insertedAt = [&](size_t index) {
      for (const auto& c : s.inserted)
        if (c.pointIndex == static_cast<std::int32_t>(index)) out.append(c.text).push_back(';');
    };
    for (size_t i = 0; i < n; ++i) {
      insertedAt(i);
      if (leave && i == n - 1) {
        PlotPoint back;
        if (pointBack(pts[n - 2], pts[n - 1], opt_.distLeaveCut * kUnitsPerMm, back)) appendPoint(out, "PD", back);
      } else {
        appendPoint(out, i == 0 ? "PU" : "PD", pts[i]);
      }
    }
    insertedAt(n);
  }
  for (const auto& p : pts) {
    if (p.x > extent.xMax) extent.xMax = p.x;
    if (p.y > extent.yMax) extent.yMax = p.y;
  }
  if (s.circleFlag) out.append("CI").append(std::to_string(s.circleRadius)).append(";");
}

void DisposeRun::writeStrokeCutter(std::string& out, const CStroke& s) const {
  // A segment the stroke runs twice, out and straight back, is drawn once with pen 1 instead
  // of being cut twice.
  const auto& p = s.points;
  const size_t n = p.size();
  const std::string pen = "SP" + std::to_string(s.pen) + ";";
  size_t nextInserted = 0;  // inserted commands go before the first text of their point
  auto insertedUpTo = [&](size_t k) {
    for (; nextInserted <= k; ++nextInserted)
      for (const auto& c : s.inserted)
        if (c.pointIndex == static_cast<std::int32_t>(nextInserted)) out.append(c.text).push_back(';');
  };
  auto point = [&](const char* cmd, size_t k) {
    insertedUpTo(k);
    appendPoint(out, cmd, p[k]);
  };
  size_t start = 2, end = n;
  if (p[n - 1] == p[0] && p[n - 2] == p[1]) {
    out.append("SP1;");
    point("PU", 0);
    point("PD", 1);
    start = 3;
    end = n - 1;
  }
  out.append(pen);
  size_t i = start;
  while (i < end) {
    point(i == 2 ? "PU" : "PD", i - 2);
    if (p[i] == p[i - 2]) {
      out.append("SP1;");
      point("PU", i - 2);
      point("PD", i - 1);
      point("PD", i);
      out.append(pen);
      point("PU", i);
      if (i + 2 >= end) {
        i += 1;
        break;
      }
      i += 2;
    } else {
      i += 1;
    }
  }
  const bool leave = opt_.leaveCut && s.pen == 2;
  for (size_t j = i - 2; j < end; ++j) {
    if (leave && j == end - 1) {
      PlotPoint back;
      if (j >= 1 && pointBack(p[j - 1], p[j], opt_.distLeaveCut * kUnitsPerMm, back)) {
        insertedUpTo(j);
        appendPoint(out, "PD", back);
      }
    } else {
      point("PD", j);
    }
  }
  insertedUpTo(n);
}

void DisposeRun::closePage(int pageIndex) {
  if (pageIndex < 0 || pageIndex >= static_cast<int>(outputs_.size())) return;
  Output& o = outputs_[pageIndex];
  if (!o.wanted || o.closed) return;
  std::FILE* f = pageFile(pageIndex);
  if (!f) return;
  std::string trailer;
  const auto& list = rollingSplitList();
  const size_t entry = static_cast<size_t>(pageIndex) + 1;
  if (entry < list.size()) {
    trailer.append("PX").append(std::to_string(list[entry])).append(";");
    if (list.size() >= 2 && static_cast<size_t>(pageIndex) == list.size() - 2)
      trailer.append("ZH").append(std::to_string(list[entry])).append(";");
  }
  if (opt_.addPg) trailer.append("PG;");
  writeText(f, trailer);
  std::fclose(f);
  o.file = nullptr;
  o.closed = true;
  if (openFile_ == pageIndex) openFile_ = -1;
  if (currentPage_ == pageIndex) currentPage_ = -1;
}

void DisposeRun::closeAll() {
  for (int p = 0; p < static_cast<int>(outputs_.size()); ++p) closePage(p);
  currentPage_ = -1;
}

void DisposeRun::report(int pageIndex, const std::string& fileName) {
  OutputFileReport r{fileName, ""};
  if (pageIndex >= 0 && pageIndex < static_cast<int>(extents_.size())) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%.2f * %.2f", extents_[pageIndex].xMax / kUnitsPerMm,
                  extents_[pageIndex].yMax / kUnitsPerMm);
    r.sizeText = buf;
  }
  if (owner_) owner_->addOutputFileReport(r);
}

int DisposeRun::copyThrough() {
  const std::string name = outputName(0);
  platform::makeDirectories(outputFolder_);
  if (!platform::fileExists(inputPath_) || !platform::copyFile(inputPath_, name)) {
    error_ = "cannot copy " + inputPath_ + " to " + name;
    return -1;
  }
  if (owner_) owner_->addOutputFileReport({name, ""});
  return 0;
}

void DisposeRun::refillRollingSplitList(int pages) {
  auto& list = rollingSplitList();
  list.clear();
  list.push_back(truncToInt(opt_.pageWidth * kUnitsPerMm));
  std::vector<double> maxX(pages > 0 ? pages : 0, 0.0);
  std::vector<bool> any(maxX.size(), false);
  // The points of a later stroke are fetched while this one is measured: after the contour
  // order they lie anywhere in the run's arena.
  constexpr size_t kAhead = 4;
  for (size_t i = 0; i < model_.strokes.size(); ++i) {
    if (i + kAhead < model_.strokes.size()) __builtin_prefetch(model_.strokes[i + kAhead].points.data());
    const int p = model_.strokePages[i];
    if (p < 0 || p >= pages) continue;
    for (const auto& pt : model_.strokes[i].points)
      if (!any[p] || pt.x > maxX[p]) {
        maxX[p] = pt.x;
        any[p] = true;
      }
  }
  for (int p = 0; p < pages; ++p) list.push_back(any[p] ? truncToInt(maxX[p]) : 0);
}

bool DisposeRun::writeStrokesFrom(const std::string& path, size_t from, std::string* error) const {
  std::string out = "IN;";
  if (wdSeen_) out.append("WD").append(std::to_string(wdValue_)).append(";");
  LineType none;
  none.type = -1;
  const LineType* lastType = &none;
  Extent extent;
  for (size_t i = from; i < model_.strokes.size(); ++i) {
    const CStroke& s = model_.strokes[i];
    const LineType& type = model_.lineTypeOf(s);
    if (type.type != lastType->type || std::fabs(type.patternLength - lastType->patternLength) > 1e-5)
      appendLineType(out, type);
    lastType = &type;
    out.append("SP").append(std::to_string(s.pen)).append(";");
    writeStroke(out, s, extent);
  }
  if (!platform::writeFileAtomically(path, out)) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace qel::plot
