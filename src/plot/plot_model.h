#pragma once
// The plot model of one dispose run: the strokes read from the file with the page of each,
// the labels kept as text, and the pens in the order the file selected them. The reader fills
// it, the stages rearrange it and the page writer reads it.
#include <memory>
#include <memory_resource>
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
    points->release();
  }
};

}  // namespace qel::plot
