#pragma once
// Curves of a drawing turned into the chords a knife can follow: Bézier curves flattened to
// within a tolerance with as few chords as that allows, and the chord count a uniform
// flattening would need for the same tolerance (to compare the two).
#include <vector>

#include "plot/model.h"

namespace qel::plot {

// Chords per curve at most, however large or bent a curve is; beyond it the chords stand further
// from the curve than the tolerance.
inline constexpr int kMaxChordsPerCurve = 20000;

// Appends the end points of the chords that follow the cubic Bézier p0 p1 p2 p3 (p0 itself is
// not appended; the last point appended is p3). Every point of the curve lies within
// `tolerance` of the chords; the chords are spread by the curve's bending, so a gentle stretch
// gets long chords and a tight bend short ones. Units are the caller's (the tolerance in the
// same units). A straight curve gives one chord; non-finite points give one chord to p3.
void flattenCubic(const PlotPoint& p0, const PlotPoint& p1, const PlotPoint& p2, const PlotPoint& p3,
                  double tolerance, std::vector<PlotPoint>& out);

// The same for a quadratic Bézier p0 p1 p2.
void flattenQuad(const PlotPoint& p0, const PlotPoint& p1, const PlotPoint& p2, double tolerance,
                 std::vector<PlotPoint>& out);

// The chords a uniform flattening (equal steps of the curve's parameter) needs so that the
// cubic lies within `tolerance` of them: ceil(sqrt(max|B''| / (8 tolerance))), at least 1.
int uniformChordCount(const PlotPoint& p0, const PlotPoint& p1, const PlotPoint& p2, const PlotPoint& p3,
                      double tolerance);

}  // namespace qel::plot
