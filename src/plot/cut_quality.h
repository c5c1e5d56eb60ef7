#pragma once
// Cut quality for vinyl cutters: drag-knife offset compensation, overcut of closed outlines,
// and weeding (a box around each page's content and straight lines between separate shapes),
// all switched by the [CutQuality] keys and off by default.
//
// Where the stages run in a dispose run (never in the load-only run of the pattern view):
// - overcut and knife compensation, on every pen-down path: after the contour stages
//   (joining and inside-first order) and before the whole-stroke page split in mode 8; after
//   the rolling split in mode 6 (the split pairs strokes whose drawn ends meet, which moved
//   ends would break); after reading in the modes whose pages the reader finds, where each
//   piece cut at a page edge is its own pen-down path; in page-order mode, on each page just
//   before it is written.
// - weeding: per page after pagination, just before the page is written; its strokes carry
//   the weeding pen and are compensated like every other cut.
// With every option off none of this runs, so page files are written exactly as without it.
#include <optional>
#include <vector>

#include "plot/model.h"

namespace qel::plot {

struct CutQualityOptions {
  double knifeOffsetMm = 0.0;       // tip behind the knife's axis; 0 = off
  double knifeCornerAngleDeg = 30;  // turns sharper than this get a swivel arc
  double overcutMm = 0.0;           // closed outlines cut past their start; 0 = off
  bool weedBox = false;
  bool weedLines = false;
  double weedMarginMm = 5.0;        // box distance from the content
  int weedPen = 2;

  bool knifeOrOvercut() const { return knifeOffsetMm > 0.0 || overcutMm > 0.0; }
  bool weeding() const { return weedBox || weedLines; }
  bool active() const { return knifeOrOvercut() || weeding(); }
};

// A path counts as closed when it has more than two points and its ends are at most
// nearDistance apart (plotter units; exactly equal ends when nearDistance is 0).
bool isClosedPath(const std::vector<PlotPoint>& path, double nearDistance);

// A closed path followed past its start along its own first segments for `length` units
// (at most one more lap); the ends are joined first when they are near but not equal.
std::vector<PlotPoint> addOvercut(const std::vector<PlotPoint>& path, double length);

// Knife path for a drawn path (plotter units). Each segment is moved forward by `offset`
// along its own direction, so that a tip trailing the axis by `offset` runs on the drawn
// segment; where the direction turns by more than cornerAngleDeg the knife swivels about the
// corner on an arc of radius `offset` (chords of at most 20 degrees), smaller turns go
// straight to the next segment. A closed path starts with the blade alignment: the knife
// comes down where the closing segment left it and turns about the start point to the first
// segment. `closedStart` gives that closing direction for a path whose closing part was
// extended by an overcut. Repeated points are dropped; a path with fewer than two distinct
// points is returned unchanged.
struct KnifeResult {
  std::vector<PlotPoint> points;
  int swivels = 0;  // corners (and alignments) that got an arc
};
KnifeResult compensateKnife(const std::vector<PlotPoint>& path, double offset, double cornerAngleDeg,
                            std::optional<PlotPoint> closedStart = std::nullopt);

// Overcut, then knife compensation, on every stroke with at least two points whose page is
// `page` (every page when nullopt). Strokes carrying inserted commands ("AA" arcs) keep their
// points; a kept "CI" circle is written with the radius whose tip circle is the drawn one.
void applyKnifeAndOvercut(std::vector<CStroke>& strokes, const std::vector<int>& pages,
                          const CutQualityOptions& options, double nearDistance,
                          std::optional<int> page = std::nullopt);

// An axis-parallel rectangle, plotter units.
struct Rect {
  double minX, minY, maxX, maxY;
};

// The area the weeding may use on a page: [0, maxX] x [0, maxY], or unbounded on a side
// given as nullopt. A weeding cut never leaves it unless the content itself does.
struct PageArea {
  std::optional<double> maxX, maxY;
};

// The weeding strokes of one page: the box (closed, starting at its lower left corner) and
// the weeding lines. Shapes are the boxes of shapeBoxes(). A line runs through a gap of at least 1 mm between shapes, at its
// middle, across the whole region it divides: first the box, then each part between earlier
// lines, so every line ends on the box or on an earlier line and crosses no shape.
std::vector<CStroke> weedingStrokes(const std::vector<CStroke>& strokes, const std::vector<int>& pages,
                                    const std::vector<LabelRecord>& labels, int page,
                                    const CutQualityOptions& options, const PageArea& area);

// The boxes of what is cut or drawn on a page: each stroke's points, a "CI" circle by its
// radius, an "AA" arc by its whole circle, a label kept as text by an estimate from its "SI"
// size, "DI" direction and "LO" origin. Overlapping boxes are one shape to the weeding.
std::vector<Rect> shapeBoxes(const std::vector<CStroke>& strokes, const std::vector<int>& pages,
                             const std::vector<LabelRecord>& labels, int page);

// Appends the weeding strokes of the page (every page that has strokes or labels when
// nullopt) to the stroke list with their page index, compensated for the knife when that is
// on. The weeding pen joins the pens-used list when it is missing, so that the pen-grouped
// mode writes it too.
void addWeeding(std::vector<CStroke>& strokes, std::vector<int>& pages, const std::vector<LabelRecord>& labels,
                std::vector<int>& pensUsed, const CutQualityOptions& options, double nearDistance,
                const PageArea& area, std::optional<int> page = std::nullopt);

}  // namespace qel::plot
