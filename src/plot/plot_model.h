#pragma once
// The plot model of one dispose run: the strokes read from the file with the page of each,
// the labels kept as text, the pens in the order the file selected them, and what is written
// back unchanged ("WD", text the reader did not recognise). A source fills it (through
// PlotBuilder), the stages rearrange it and the page writer reads it.
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <string>
#include <vector>

#include "plot/model.h"

namespace qel::plot {

struct PlotModel {
  // Holds the points of the strokes the reader adds: blocks of exactly their size, one after
  // another, given back all at once when the model is cleared. Declared before the strokes, so
  // that it outlives them.
  std::unique_ptr<std::pmr::monotonic_buffer_resource> points =
      std::make_unique<std::pmr::monotonic_buffer_resource>(kFirstPointBlock);
  std::vector<CStroke> strokes;
  std::vector<int> strokePages;  // one per stroke
  std::vector<LabelRecord> labels;
  std::vector<int> pensUsed;
  // The line types the strokes use, each once: a stroke holds its index. The first is the
  // plotter's default ("LT;").
  std::vector<LineType> lineTypes{LineType{}};
  // A "WD" value of the file, written at the start of every page.
  bool wdSeen = false;
  int wdValue = 0;
  // Text that followed the first command and was not recognised: written after the last page.
  std::string trailingText;
  // What reading noticed about the file (said to the operator; the file is cut all the same).
  std::vector<ReadNotice> notices;

  // The index of a line type, added when it is not among the last ones added (a file that
  // sets a new line type for every stroke must not make each look through all before it).
  std::int32_t lineTypeIndex(const LineType& t) {
    constexpr size_t kSearched = 64;
    for (size_t i = lineTypes.size(); i-- > 0 && lineTypes.size() - i <= kSearched;)
      if (lineTypes[i] == t) return static_cast<std::int32_t>(i);
    lineTypes.push_back(t);
    return static_cast<std::int32_t>(lineTypes.size() - 1);
  }
  const LineType& lineTypeOf(const CStroke& s) const { return lineTypes[static_cast<size_t>(s.lineType)]; }

  static constexpr std::size_t kFirstPointBlock = 1 << 16;

  // Adds the stroke the reader finished on a page: its points are written once into the
  // arena, the stroke itself is moved into the list.
  void add(const CStroke& s, int page) {
    strokes.push_back(CStroke(s, points.get()));
    strokePages.push_back(page);
  }
  void clear() {
    strokes.clear();
    strokePages.clear();
    labels.clear();
    pensUsed.clear();
    lineTypes.assign(1, LineType{});
    wdSeen = false;
    wdValue = 0;
    trailingText.clear();
    notices.clear();
    points->release();
  }
};

}  // namespace qel::plot
