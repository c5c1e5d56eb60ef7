// The page writer: page files, their bodies and trailers, names and reports.
#include "plot/page_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>

#include "config/modes.h"
#include "platform/files.h"
#include "plot/number_text.h"
#include "plot/pagination.h"

namespace qel::plot {

using config::PageMode;

namespace {

constexpr std::size_t kFileBuffer = 1 << 18;

void writeText(std::FILE* f, std::string_view text) {
  if (f && !text.empty()) fwrite_unlocked(text.data(), 1, text.size(), f);
}

}  // namespace

void appendTerminatorText(std::string& out, const std::string& dtText) {
  if (dtText.empty()) return;
  // "DT" takes any character as its parameter, so it is always ended by ";" (a bare "DT" before
  // "PU" would make "P" the terminator). Without a parameter it resets to the default: ETX is
  // written out, which both plotter dialects read as that default.
  out.append(dtText);
  if (dtText.size() == 2) out.push_back('\x03');
  out.push_back(';');
}

PageWriter::PageWriter(DisposeOwner* owner, const std::string& inputPath, const std::string& outputFolder,
                       const std::string& tag, const DisposeOptions& options, const PlotModel& model)
    : owner_(owner), inputPath_(inputPath), outputFolder_(outputFolder), tag_(tag), opt_(options), model_(model) {
  while (outputFolder_.size() > 1 && outputFolder_.back() == '/') outputFolder_.pop_back();
}

PageWriter::~PageWriter() {
  for (auto& o : outputs_)
    if (o.file) std::fclose(o.file);
}

std::string PageWriter::outputName(int pageIndex) const {
  std::string base = inputPath_;
  const size_t slash = base.find_last_of('/');
  if (slash != std::string::npos) base.erase(0, slash + 1);
  const size_t dot = base.find_last_of('.');
  if (dot != std::string::npos) base.erase(dot);
  char number[32];
  std::snprintf(number, sizeof number, "%03d", pageIndex + 1);
  return outputFolder_ + "/" + base + "_" + tag_ + "_" + number + ".PLT";
}

void PageWriter::reset() {
  closeAll();
  for (auto& o : outputs_)
    if (o.file) std::fclose(o.file);
  outputs_.clear();
  extents_.clear();
  currentPage_ = -1;
  openFile_ = -1;
  unwritablePage_.clear();
  strokesOfPage_.clear();
  labelsOfPage_.clear();
  indexedStrokes_ = indexedLabels_ = 0;
}

bool PageWriter::hasOutput(int pageIndex) const {
  return pageIndex >= 0 && pageIndex < pageCount() && outputs_[pageIndex].created;
}

void PageWriter::notePage(int pageIndex) {
  if (pageIndex < 0) return;
  if (pageIndex >= pageCount()) {
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
}

std::FILE* PageWriter::pageFile(int pageIndex) {
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

void PageWriter::writeToPage(int pageIndex, std::string_view text) {
  if (pageIndex < 0 || pageIndex >= pageCount() || text.empty()) return;
  Output& o = outputs_[pageIndex];
  if (!o.wanted || o.closed) return;
  if (o.file)
    writeText(o.file, text);
  else
    o.pending.append(text);
}

void PageWriter::indexNewStrokes() {
  auto file = [](std::vector<std::vector<std::uint32_t>>& lists, int page, size_t i) {
    if (page < 0) return;
    if (static_cast<size_t>(page) >= lists.size()) lists.resize(static_cast<size_t>(page) + 1);
    lists[static_cast<size_t>(page)].push_back(static_cast<std::uint32_t>(i));
  };
  for (; indexedStrokes_ < model_.strokes.size(); ++indexedStrokes_)
    file(strokesOfPage_, model_.strokePages[indexedStrokes_], indexedStrokes_);
  for (; indexedLabels_ < model_.labels.size(); ++indexedLabels_)
    file(labelsOfPage_, model_.labels[indexedLabels_].pageIndex, indexedLabels_);
}

void PageWriter::writePage(int pageIndex) {
  if (pageIndex < 0 || pageIndex >= pageCount()) return;
  std::FILE* f = pageFile(pageIndex);
  if (!f) return;
  indexNewStrokes();
  static const std::vector<std::uint32_t> kNone;
  const size_t page = static_cast<size_t>(pageIndex);
  const auto& strokes = page < strokesOfPage_.size() ? strokesOfPage_[page] : kNone;
  const auto& labels = page < labelsOfPage_.size() ? labelsOfPage_[page] : kNone;
  Extent extent = extents_[page];
  std::string out;
  out.reserve(1 << 16);
  auto flush = [&](bool force) {
    if (force || out.size() >= (1 << 16)) {
      writeText(f, out);
      out.clear();
    }
  };

  if (model_.wdSeen) out.append("WD").append(std::to_string(model_.wdValue)).append(";");
  for (std::uint32_t k : labels) {
    const LabelRecord& l = model_.labels[k];
    out.append("SP").append(std::to_string(l.pen));
    out.append(l.diText).append(l.siText).append(l.loText);
    appendTerminatorText(out, l.dtText);
    out.append(l.attributes);
    appendPoint(out, "PU", {l.x, l.y});
    out.append(l.labelText);
    if (l.x > extent.xMax) extent.xMax = l.x;
  }

  if (spool_ && spool_->active()) {
    // The strokes were written into the page's text as they were read.
    if (PageSpool::Page* sp = spool_->page(pageIndex)) {
      if (sp->xMax > extent.xMax) extent.xMax = sp->xMax;
      if (sp->yMax > extent.yMax) extent.yMax = sp->yMax;
      flush(true);
      for (const std::string& block : sp->text) writeText(f, block);
      std::vector<std::string>().swap(sp->text);
    }
    flush(true);
    extents_[page] = extent;
    currentPage_ = pageIndex;
    return;
  }
  LineType none;
  none.type = -1;
  const LineType* lastType = &none;
  int lastPen = 0;
  bool first = true;
  const bool penGrouped = opt_.cutFt == PageMode::PenGrouped;
  auto emit = [&](const CStroke& s, bool penGroupStart) {
    const LineType& type = model_.lineTypeOf(s);
    if (lineTypeChanged(type, *lastType)) appendLineType(out, type);
    if (first || penGroupStart || (!penGrouped && s.pen != lastPen))
      out.append("SP").append(std::to_string(s.pen)).append(";");
    appendStroke(out, s, opt_, extent.xMax, extent.yMax);
    lastType = &type;
    lastPen = s.pen;
    first = false;
    flush(false);
  };
  if (penGrouped) {
    // Grouped by pen, in the order of the pens-used list; each pen once.
    std::vector<int> done;
    for (int pen : model_.pensUsed) {
      if (std::find(done.begin(), done.end(), pen) != done.end()) continue;
      done.push_back(pen);
      bool groupStart = true;
      for (std::uint32_t k : strokes) {
        if (model_.strokes[k].pen != pen) continue;
        emit(model_.strokes[k], groupStart);
        groupStart = false;
      }
    }
  } else {
    for (std::uint32_t k : strokes) emit(model_.strokes[k], false);
  }
  flush(true);
  extents_[page] = extent;
  currentPage_ = pageIndex;
}

void PageWriter::closePage(int pageIndex) {
  if (pageIndex < 0 || pageIndex >= pageCount()) return;
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

void PageWriter::closeAll() {
  for (int p = 0; p < pageCount(); ++p) closePage(p);
  currentPage_ = -1;
}

void PageWriter::removeCreatedPages() {
  for (int p = 0; p < pageCount(); ++p) {
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

std::string PageWriter::sizeText(int pageIndex) const {
  char buf[128];
  std::snprintf(buf, sizeof buf, "%.2f * %.2f", extents_[pageIndex].xMax / kUnitsPerMm,
                extents_[pageIndex].yMax / kUnitsPerMm);
  return buf;
}

void PageWriter::report(int pageIndex) {
  OutputFileReport r{outputName(pageIndex), ""};
  if (pageIndex >= 0 && pageIndex < static_cast<int>(extents_.size())) r.sizeText = sizeText(pageIndex);
  if (owner_) owner_->addOutputFileReport(r);
}

void PageWriter::reportOther(const std::string& fileName, int sizeOfPage) {
  OutputFileReport r{fileName, ""};
  if (sizeOfPage >= 0 && sizeOfPage < static_cast<int>(extents_.size())) r.sizeText = sizeText(sizeOfPage);
  if (owner_) owner_->addOutputFileReport(r);
}

bool PageWriter::copyThrough(std::string& error) {
  const std::string name = outputName(0);
  platform::makeDirectories(outputFolder_);
  if (!platform::fileExists(inputPath_) || !platform::copyFile(inputPath_, name)) {
    error = "cannot copy " + inputPath_ + " to " + name;
    return false;
  }
  if (owner_) owner_->addOutputFileReport({name, ""});
  return true;
}

void refillRollingSplitList(const PlotModel& model, const PageSpool* spool, double pageWidthMm, int pages) {
  auto& list = rollingSplitList();
  list.clear();
  list.push_back(truncToInt(pageWidthMm * kUnitsPerMm));
  std::vector<double> maxX(pages > 0 ? pages : 0, 0.0);
  std::vector<bool> any(maxX.size(), false);
  if (spool && spool->active()) {
    for (int p = 0; p < pages; ++p)
      if (const PageSpool::Page* sp = spool->page(p); sp && sp->anyPoint) {
        maxX[p] = sp->maxX;
        any[p] = true;
      }
  }
  // The points of a later stroke are fetched while this one is measured: after the contour
  // order they lie anywhere in the run's arena.
  constexpr size_t kAhead = 4;
  for (size_t i = 0; i < model.strokes.size(); ++i) {
    if (i + kAhead < model.strokes.size()) __builtin_prefetch(model.strokes[i + kAhead].points.data());
    const int p = model.strokePages[i];
    if (p < 0 || p >= pages) continue;
    for (const auto& pt : model.strokes[i].points)
      if (!any[p] || pt.x > maxX[p]) {
        maxX[p] = pt.x;
        any[p] = true;
      }
  }
  for (int p = 0; p < pages; ++p) list.push_back(any[p] ? truncToInt(maxX[p]) : 0);
}

}  // namespace qel::plot
