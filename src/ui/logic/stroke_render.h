#pragma once
// Draws a display copy into an image for a given mapping: what a view paints. Strokes outside
// the image are skipped by their boxes, and runs of points that stay within one pixel are drawn
// as one point, so a file of a million segments draws in a fraction of a second. The function
// touches no widget, so views run it on a worker and paint the finished image.
#include <QImage>
#include <QRectF>
#include <QSize>

#include <vector>

#include "ui/logic/display_copy.h"
#include "ui/logic/view_transform.h"

namespace qel::ui {

struct RenderOptions {
  double penWidth = 1.5;  // pixels
  // The marked range (the part a preview sends) in pen colours, the rest pale; without
  // marking every stroke is drawn in its pen colour.
  bool marking = false;
  int markFrom = 0;
  int markTo = -1;
  // Only the strokes of this plate (>= 0), plates being plateWidth plot units wide.
  int plate = -1;
  double plateWidth = 0.0;
  // One stroke drawn emphasised (the picked line), -1 for none.
  int emphasised = -1;
  QColor background = Qt::white;
  // Registration marks: every stroke of this pen gets its mark drawn at its first point, a
  // cross where crossMarks says so (by stroke index), otherwise a circle. -1: none.
  int markPen = -1;
  std::vector<bool> crossMarks;
  // The pattern's outline (plot units) drawn around it: dashed while the cursor is over it,
  // solid while it is selected.
  enum class Outline { None, Hover, Selected } outline = Outline::None;
  QRectF outlineBox;
};

QImage renderStrokes(const DisplayCopy& copy, const ViewTransform& view, const QSize& size, const RenderOptions& options);

}  // namespace qel::ui
