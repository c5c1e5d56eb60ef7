#pragma once
// Drawings for the drawing source's tests: shapes of known geometry written as PostScript (and
// turned into PDF by Ghostscript), and distances between what was cut and what was drawn (the
// shapes sampled from their own definitions, not by the code under test).
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "plot/model.h"

namespace qel::plot::test {

constexpr double kUnitsPerPoint = 40.0 * 25.4 / 72.0;

// snprintf into a string (the lines of PostScript written here are short).
template <class... Args>
std::string printed(const char* format, Args... args) {
  char buf[200];
  std::snprintf(buf, sizeof buf, format, args...);
  return buf;
}

// The point at parameter t of the cubic curve from p0 to p3 with control points p1 and p2.
inline PlotPoint cubicAt(PlotPoint p0, PlotPoint p1, PlotPoint p2, PlotPoint p3, double t) {
  const double s = 1 - t;
  return {s * s * s * p0.x + 3 * s * s * t * p1.x + 3 * s * t * t * p2.x + t * t * t * p3.x,
          s * s * s * p0.y + 3 * s * s * t * p1.y + 3 * s * t * t * p2.y + t * t * t * p3.y};
}

// A path of lines and cubic curves in PostScript points (y up from the page's lower left corner).
struct Shape {
  struct Segment {
    bool curve = false;
    PlotPoint c1, c2, to;
  };
  explicit Shape(PlotPoint start) : from(start) {}
  PlotPoint from;
  std::vector<Segment> segments;
  bool closed = false;

  Shape& line(PlotPoint to) { segments.push_back({false, {}, {}, to}); return *this; }
  Shape& curve(PlotPoint c1, PlotPoint c2, PlotPoint to) { segments.push_back({true, c1, c2, to}); return *this; }
  Shape& close() { closed = true; return *this; }

  std::string postScript() const {
    std::string ps = printed("newpath %.4f %.4f moveto\n", from.x, from.y);
    for (const Segment& s : segments)
      ps += s.curve ? printed("%.4f %.4f %.4f %.4f %.4f %.4f curveto\n", s.c1.x, s.c1.y, s.c2.x, s.c2.y, s.to.x, s.to.y)
                    : printed("%.4f %.4f lineto\n", s.to.x, s.to.y);
    return ps + (closed ? "closepath\n" : "");
  }

  // Dense points along the shape, in plotter units.
  std::vector<PlotPoint> samples() const {
    std::vector<PlotPoint> out;
    PlotPoint at = from;
    auto add = [&](PlotPoint p) { out.push_back({p.x * kUnitsPerPoint, p.y * kUnitsPerPoint}); };
    add(at);
    std::vector<Segment> all = segments;
    if (closed) all.push_back({false, {}, {}, from});
    for (const Segment& s : all) {
      for (int i = 1; i <= 2000; ++i) {
        const double t = i / 2000.0;
        add(s.curve ? cubicAt(at, s.c1, s.c2, s.to, t) : cubicAt(at, at, s.to, s.to, t));
      }
      at = s.to;
    }
    return out;
  }
};

// A circle as four cubic curves (the way drawing programs write one).
inline Shape circleShape(PlotPoint c, double r) {
  const double k = 0.5522847498 * r;
  Shape s({c.x + r, c.y});
  s.curve({c.x + r, c.y + k}, {c.x + k, c.y + r}, {c.x, c.y + r});
  s.curve({c.x - k, c.y + r}, {c.x - r, c.y + k}, {c.x - r, c.y});
  s.curve({c.x - r, c.y - k}, {c.x - k, c.y - r}, {c.x, c.y - r});
  s.curve({c.x + k, c.y - r}, {c.x + r, c.y - k}, {c.x + r, c.y});
  return s.close();
}

// A separation colour space named `name` with full tint, as design programs write spot colours.
inline std::string spotColour(const std::string& name) {
  return "[/Separation (" + name + ") /DeviceCMYK {dup 0 exch 0 0}] setcolorspace 1 setcolor\n";
}

// A PostScript page of `widthMm` x `heightMm` around `body`.
inline std::string postScriptPage(double widthMm, double heightMm, const std::string& body) {
  return printed("<< /PageSize [%.3f %.3f] >> setpagedevice\n0.5 setlinewidth\n", widthMm * 72 / 25.4, heightMm * 72 / 25.4) +
         body + "showpage\n";
}

// ps2pdf, as a design program's export would be; false when Ghostscript is missing or fails.
inline bool toPdf(const std::string& psPath, const std::string& pdfPath, const std::string& extra = "") {
  const std::string cmd = "ps2pdf " + extra + " '" + psPath + "' '" + pdfPath + "' >/dev/null 2>&1";
  return std::system(cmd.c_str()) == 0;
}

struct CutStroke {
  int pen = 0;
  std::vector<PlotPoint> points;
};

inline double toSegment(const PlotPoint& p, const PlotPoint& a, const PlotPoint& b) {
  const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
  const double t = len2 > 0 ? std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
  return std::hypot(a.x + t * dx - p.x, a.y + t * dy - p.y);
}

// How far the points of `a`'s strokes, and the middles of their chords, lie from `b`'s strokes
// at most.
inline double farthestFrom(const std::vector<CutStroke>& a, const std::vector<CutStroke>& b) {
  double worst = 0;
  for (const CutStroke& s : a)
    for (std::size_t i = 0; i < s.points.size(); ++i) {
      std::vector<PlotPoint> probes{s.points[i]};
      if (i + 1 < s.points.size())
        probes.push_back({(s.points[i].x + s.points[i + 1].x) / 2, (s.points[i].y + s.points[i + 1].y) / 2});
      for (const PlotPoint& p : probes) {
        double best = INFINITY;
        for (const CutStroke& t : b)
          for (std::size_t k = 0; k + 1 < t.points.size() && best > 0; ++k)
            best = std::min(best, toSegment(p, t.points[k], t.points[k + 1]));
        worst = std::max(worst, best);
      }
    }
  return worst;
}

}  // namespace qel::plot::test
