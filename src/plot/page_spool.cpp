#include "plot/page_spool.h"

#include "plot/page_writer.h"

namespace qel::plot {

void PageSpool::add(const CStroke& s, int page) {
  if (page < 0) return;
  if (page >= pageCount()) pages_.resize(static_cast<size_t>(page) + 1);
  Page& p = pages_[static_cast<size_t>(page)];
  // A stroke's text is written into the last block while that has room for a long stroke.
  if (p.text.empty() || p.text.back().size() + (kBlock >> 4) > kBlock) {
    p.text.emplace_back();
    p.text.back().reserve(kBlock);
  }
  std::string& out = p.text.back();
  static const LineType kNone{-1, 0.0f, {}};
  const LineType& type = model_.lineTypeOf(s);
  const LineType& last = p.lastType < 0 ? kNone : model_.lineTypes[static_cast<size_t>(p.lastType)];
  if (lineTypeChanged(type, last)) appendLineType(out, type);
  if (!p.written || s.pen != p.lastPen) out.append("SP").append(std::to_string(s.pen)).append(";");
  appendStroke(out, s, opt_, p.xMax, p.yMax);
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
