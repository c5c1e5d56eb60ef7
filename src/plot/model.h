#pragma once
// The plot model: strokes (polylines with pen and line type), labels, and the reports of the
// page files written from them. Coordinates are plotter units, 40 to the millimetre.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <memory_resource>
#include <new>
#include <string>
#include <vector>

namespace qel::plot {

inline constexpr double kUnitsPerMm = 40.0;

struct PlotPoint {
  double x = 0.0;
  double y = 0.0;
  friend bool operator==(const PlotPoint&, const PlotPoint&) = default;
};

struct LineType {
  std::int32_t type = 0;
  float patternLength = 0.0f;
  std::string extra;
  friend bool operator==(const LineType&, const LineType&) = default;
};

// A raw command written back inside a stroke, just before the point with this index.
struct InsertedCommand {
  std::int32_t pointIndex = 0;
  std::string text;
  friend bool operator==(const InsertedCommand&, const InsertedCommand&) = default;
};

// The raw commands of a stroke: most strokes have none, so an empty list takes one pointer.
class InsertedList {
 public:
  InsertedList() = default;
  InsertedList(const InsertedList& o)
      : list_(o.list_ ? std::make_unique<std::vector<InsertedCommand>>(*o.list_) : nullptr) {}
  InsertedList(InsertedList&&) noexcept = default;
  InsertedList& operator=(const InsertedList& o) {
    if (this != &o) *this = InsertedList(o);
    return *this;
  }
  InsertedList& operator=(InsertedList&&) noexcept = default;
  InsertedList& operator=(std::vector<InsertedCommand>&& v) {
    if (v.empty())
      list_.reset();
    else
      list_ = std::make_unique<std::vector<InsertedCommand>>(std::move(v));
    return *this;
  }

  bool empty() const { return !list_ || list_->empty(); }
  std::size_t size() const { return list_ ? list_->size() : 0; }
  const InsertedCommand& operator[](std::size_t i) const { return (*list_)[i]; }
  InsertedCommand* begin() { return list_ ? list_->data() : nullptr; }
  InsertedCommand* end() { return list_ ? list_->data() + list_->size() : nullptr; }
  const InsertedCommand* begin() const { return list_ ? list_->data() : nullptr; }
  const InsertedCommand* end() const { return list_ ? list_->data() + list_->size() : nullptr; }
  void push_back(InsertedCommand c) {
    if (!list_) list_ = std::make_unique<std::vector<InsertedCommand>>();
    list_->push_back(std::move(c));
  }
  void clear() { list_.reset(); }
  friend bool operator==(const InsertedList& a, const InsertedList& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
  }

 private:
  std::unique_ptr<std::vector<InsertedCommand>> list_;
};

// The points of a stroke. The strokes of a run keep theirs in the run's point arena (one block
// after another, no allocation per stroke); a stroke made anywhere else uses the ordinary heap,
// and so does every copy.
class PointList : public std::pmr::vector<PlotPoint> {
  using Base = std::pmr::vector<PlotPoint>;

 public:
  using Base::Base;
  PointList() = default;
  PointList(const PointList&) = default;
  PointList(PointList&&) noexcept = default;
  PointList& operator=(const PointList&) = default;
  // A move hands over the block and the memory that holds it, wherever the two lists keep
  // their points: strokes are moved about between the arena and the heap without a copy.
  PointList& operator=(PointList&& o) noexcept {
    if (this == &o) return *this;
    if (get_allocator() == o.get_allocator()) {
      Base::operator=(std::move(o));
    } else {
      this->~PointList();
      ::new (static_cast<void*>(this)) PointList(std::move(o));
    }
    return *this;
  }
  using Base::operator=;
  PointList& operator=(const std::vector<PlotPoint>& v) {
    assign(v.begin(), v.end());
    return *this;
  }
  friend bool operator==(const PointList& a, const PointList& b) { return std::ranges::equal(a, b); }
  friend bool operator==(const PointList& a, const std::vector<PlotPoint>& b) { return std::ranges::equal(a, b); }
};

// A stroke is kept for every polyline of a file, so it holds only what the stages and the
// writer use: a long roll has hundreds of thousands of them.
class CStroke {
 public:
  CStroke() = default;
  CStroke(const CStroke&) = default;
  CStroke(CStroke&&) noexcept = default;
  CStroke& operator=(const CStroke&) = default;
  CStroke& operator=(CStroke&&) = default;
  // A copy whose points are kept by `memory`, in one block of exactly their size. Every field
  // is listed here: one added to the class must be added here too.
  CStroke(const CStroke& o, std::pmr::memory_resource* memory)
      : points(o.points, memory),
        circleRadius(o.circleRadius),
        pen(o.pen),
        circleFlag(o.circleFlag),
        closedFlag(o.closedFlag),
        outerFlag(o.outerFlag),
        joinedFlag(o.joinedFlag),
        labelStrokeFlag(o.labelStrokeFlag),
        lineType(o.lineType),
        inserted(o.inserted) {}
  friend bool operator==(const CStroke&, const CStroke&) = default;

  // Restarts the stroke: flags cleared, pen 1, the lists emptied. The line type stays.
  void reset() {
    points.clear();
    circleFlag = closedFlag = outerFlag = joinedFlag = labelStrokeFlag = false;
    pen = 1;
    inserted.clear();
  }

  PointList points;
  std::int32_t circleRadius = 0;
  std::int32_t pen = 1;
  bool circleFlag = false;       // stands for a "CI" written back as such
  bool closedFlag = false;       // first and last point within the close distance
  bool outerFlag = false;        // an outer contour
  bool joinedFlag = false;       // this stroke and the next close a shape together
  bool labelStrokeFlag = false;  // drawn from a font glyph
  std::int32_t lineType = 0;  // index into the model's line types; 0 is the plotter's default
  InsertedList inserted;
};
// A long roll holds hundreds of thousands of strokes: each stays within one cache line.
static_assert(sizeof(CStroke) <= 64);

struct LabelRecord {
  std::int32_t pageIndex = 0;
  std::int32_t pen = 1;
  std::string diText, siText, loText, dtText;  // e.g. "DI0,1" (no ";")
  std::string labelText;                        // "LB" + characters + terminator
  double x = 0.0;                               // page-relative
  double y = 0.0;
  // Further attributes in force for the label, each ended by ";" ("SR1.5,2;SL0.3;ES1;").
  std::string attributes;
};

// What reading noticed about a file that is cut all the same, said once per file to the
// operator: "SC" without "IP" counts user units as plotter units, and the drawing comes out at
// this size (millimetres).
struct ReadNotice {
  enum class Kind { ScaleWithoutScalingPoints };
  Kind kind = Kind::ScaleWithoutScalingPoints;
  double widthMm = 0.0;
  double heightMm = 0.0;
};

// One written page file as reported to the owner: its path and its size text
// ("1000.00 * 500.00", millimetres; empty for copied files and the extra page).
struct OutputFileReport {
  std::string fileName;
  std::string sizeText;
};

// Receives the reports of a dispose run, in sending order.
class DisposeOwner {
 public:
  virtual ~DisposeOwner() = default;
  virtual void addOutputFileReport(const OutputFileReport& report) = 0;
};

}  // namespace qel::plot
