#pragma once
// What a drawing (PDF or SVG) gives the cutter: the [Input] settings that say which paths are
// cut lines and with which pen, which are registration marks, how finely curves are flattened
// and how the pages of a document are laid along the roll.
#include <string>

namespace qel::config {
class CIniConfig;
}

namespace qel::plot {

struct DrawingOptions {
  // Spot (separation) colours whose paths are cut: names separated by commas, compared without
  // regard to case, spaces, hyphens and underscores, "*" standing for any run of characters.
  std::string cutColours = "CutContour,Thru-cut,Kiss-cut,Perf-cut,Die*";
  // "name:pen" pairs (a spot colour pattern or "#RRGGBB"); a cut colour not named is pen 1.
  std::string cutPens;
  // Without a path in a cut spot colour: the stroke colours that are cut lines ("#RRGGBB", ...).
  std::string cutRgb = "#FF00FF";
  bool cutAll = false;    // without a cut spot colour, every stroked path is a cut line
  bool cutFills = false;  // a filled path in a cut colour is cut along its outline
  double toleranceMm = 0.01;  // curves lie within this of their chords
  double pageGapMm = 20.0;    // between pages of a document laid along the roll
  // Spot colours of printed registration marks.
  std::string markColours = "Regmark,Registration,All";

  // Not stored: the page to read (1 for the first); 0 reads every page.
  int onlyPage = 0;
  // Not stored: registration marks become mark strokes (print-and-cut); set in the CCD cut page
  // mode and by the print-and-cut pattern.
  bool findMarks = false;

  static DrawingOptions read(const config::CIniConfig& cfg);
};

}  // namespace qel::plot
