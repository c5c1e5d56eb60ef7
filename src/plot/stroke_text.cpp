// How a stroke is written into a page file: the plain form and the cutter form, inserted
// commands, line types, and the leave-cut end.
#include <cmath>
#include <string>

#include "platform/files.h"
#include "plot/number_text.h"
#include "plot/page_writer.h"

namespace qel::plot {

namespace {

// The point `d` units back from p2 along the segment p1 → p2; false when the segment is not
// longer than that.
bool pointBack(const PlotPoint& p1, const PlotPoint& p2, double d, PlotPoint& out) {
  const double dx = p2.x - p1.x, dy = p2.y - p1.y;
  if (dx * dx + dy * dy - d * d < 1e-5) return false;
  if (std::fabs(dx) >= 1e-5) {
    const double k = dy / dx;
    const double t = std::sqrt(d * d / (k * k + 1));
    out.x = dx >= 0 ? p2.x - t : p2.x + t;
    out.y = (out.x - p2.x) * k + p2.y;
  } else {
    out.x = p1.x;
    out.y = dy >= 0 ? p2.y - d : p2.y + d;
  }
  return true;
}

// A segment the stroke runs twice, out and straight back, is drawn once with pen 1 instead of
// being cut twice.
void appendStrokeCutter(std::string& out, const CStroke& s, const DisposeOptions& opt) {
  const auto& p = s.points;
  const size_t n = p.size();
  const std::string pen = "SP" + std::to_string(s.pen) + ";";
  size_t nextInserted = 0;  // inserted commands go before the first text of their point
  auto insertedUpTo = [&](size_t k) {
    for (; nextInserted <= k; ++nextInserted)
      for (const auto& c : s.inserted)
        if (c.pointIndex == static_cast<std::int32_t>(nextInserted)) out.append(c.text).push_back(';');
  };
  auto point = [&](const char* cmd, size_t k) {
    insertedUpTo(k);
    appendPoint(out, cmd, p[k]);
  };
  size_t start = 2, end = n;
  if (p[n - 1] == p[0] && p[n - 2] == p[1]) {
    out.append("SP1;");
    point("PU", 0);
    point("PD", 1);
    start = 3;
    end = n - 1;
  }
  out.append(pen);
  size_t i = start;
  while (i < end) {
    point(i == 2 ? "PU" : "PD", i - 2);
    if (p[i] == p[i - 2]) {
      out.append("SP1;");
      point("PU", i - 2);
      point("PD", i - 1);
      point("PD", i);
      out.append(pen);
      point("PU", i);
      if (i + 2 >= end) {
        i += 1;
        break;
      }
      i += 2;
    } else {
      i += 1;
    }
  }
  const bool leave = opt.leaveCut && s.pen == 2;
  for (size_t j = i - 2; j < end; ++j) {
    if (leave && j == end - 1) {
      PlotPoint back;
      if (j >= 1 && pointBack(p[j - 1], p[j], opt.distLeaveCut * kUnitsPerMm, back)) {
        insertedUpTo(j);
        appendPoint(out, "PD", back);
      }
    } else {
      point("PD", j);
    }
  }
  insertedUpTo(n);
}

}  // namespace

void appendPoint(std::string& out, const char* cmd, const PlotPoint& p) {
  char buf[80];
  char* e = buf;
  *e++ = cmd[0];
  *e++ = cmd[1];
  e = writeNumber(e, p.x);
  *e++ = ',';
  e = writeNumber(e, p.y);
  *e++ = ';';
  out.append(buf, static_cast<size_t>(e - buf));
}

void appendLineType(std::string& out, const LineType& lt) {
  out.append("LT");
  if (lt.type > 0) {
    out.append(std::to_string(lt.type));
    if (lt.patternLength > 0) {
      out.push_back(',');
      appendNumber(out, lt.patternLength);
    }
    if (!lt.extra.empty()) out.append(",").append(lt.extra);
  }
  out.push_back(';');
}

bool lineTypeChanged(const LineType& type, const LineType& last) {
  return type.type != last.type || std::fabs(type.patternLength - last.patternLength) > 1e-5;
}

void appendStroke(std::string& out, const CStroke& s, const DisposeOptions& opt, double& xMax, double& yMax) {
  const auto& pts = s.points;
  const size_t n = pts.size();
  if (opt.cutterHandle && s.pen != 1 && n >= 3) {
    appendStrokeCutter(out, s, opt);
  } else {
    const bool leave = opt.leaveCut && s.pen == 2 && n >= 2;
    auto insertedAt = [&](size_t index) {
      for (const auto& c : s.inserted)
        if (c.pointIndex == static_cast<std::int32_t>(index)) out.append(c.text).push_back(';');
    };
    for (size_t i = 0; i < n; ++i) {
      insertedAt(i);
      if (leave && i == n - 1) {
        PlotPoint back;
        if (pointBack(pts[n - 2], pts[n - 1], opt.distLeaveCut * kUnitsPerMm, back)) appendPoint(out, "PD", back);
      } else {
        appendPoint(out, i == 0 ? "PU" : "PD", pts[i]);
      }
    }
    insertedAt(n);
  }
  for (const auto& p : pts) {
    if (p.x > xMax) xMax = p.x;
    if (p.y > yMax) yMax = p.y;
  }
  if (s.circleFlag) out.append("CI").append(std::to_string(s.circleRadius)).append(";");
}

bool writeStrokesFrom(const PlotModel& model, const DisposeOptions& options, const std::string& path, size_t from,
                      std::string* error) {
  std::string out = "IN;";
  if (model.wdSeen) out.append("WD").append(std::to_string(model.wdValue)).append(";");
  LineType none;
  none.type = -1;
  const LineType* lastType = &none;
  double xMax = 0.0, yMax = 0.0;
  for (size_t i = from; i < model.strokes.size(); ++i) {
    const CStroke& s = model.strokes[i];
    const LineType& type = model.lineTypeOf(s);
    if (lineTypeChanged(type, *lastType)) appendLineType(out, type);
    lastType = &type;
    out.append("SP").append(std::to_string(s.pen)).append(";");
    appendStroke(out, s, options, xMax, yMax);
  }
  if (!platform::writeFileAtomically(path, out)) {
    if (error) *error = "cannot write " + path;
    return false;
  }
  return true;
}

}  // namespace qel::plot
