#include "plot/page_spool.h"

#include "plot/page_writer.h"

namespace qel::plot {

void PageSpool::add(const CStroke& s, int page) {
  if (page < 0) return;
  if (page >= pageCount()) pages_.resize(static_cast<size_t>(page) + 1);
  Page& p = pages_[static_cast<size_t>(page)];
  static const LineType kNone{-1, 0.0f, {}};
  const LineType& type = model_.lineTypeOf(s);
  const LineType& last = p.lastType < 0 ? kNone : model_.lineTypes[static_cast<size_t>(p.lastType)];
  if (lineTypeChanged(type, last)) appendLineType(p.text, type);
  if (!p.written || s.pen != p.lastPen) p.text.append("SP").append(std::to_string(s.pen)).append(";");
  appendStroke(p.text, s, opt_, p.xMax, p.yMax);
  for (const auto& pt : s.points)
    if (!p.anyPoint || pt.x > p.maxX) {
      p.maxX = pt.x;
      p.anyPoint = true;
    }
  p.written = true;
  p.lastType = s.lineType;
  p.lastPen = s.pen;
  lastPage_ = page;
}

void PageSpool::clear() {
  pages_.clear();
  lastPage_ = -1;
}

}  // namespace qel::plot
