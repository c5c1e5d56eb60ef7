#pragma once
// The plot model of one dispose run: the strokes read from the file with the page of each,
// the labels kept as text, and the pens in the order the file selected them. The reader fills
// it, the stages rearrange it and the page writer reads it.
#include <vector>

#include "plot/model.h"

namespace qel::plot {

struct PlotModel {
  std::vector<CStroke> strokes;
  std::vector<int> strokePages;  // one per stroke
  std::vector<LabelRecord> labels;
  std::vector<int> pensUsed;

  // Adds a stroke on a page; its points are taken, not copied.
  void add(CStroke&& s, int page) {
    strokes.push_back(std::move(s));
    strokePages.push_back(page);
  }
  void clear() {
    strokes.clear();
    strokePages.clear();
    labels.clear();
    pensUsed.clear();
  }
};

}  // namespace qel::plot
