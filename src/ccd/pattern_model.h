#pragma once
// The pattern of the CCD cut window without its drawing: the plot file loaded through the
// load-only run, its registration marks taken out and put in front in their visiting order, the
// file's mark list, the plates of the page width, and the selection that the marking run uses.
// The pattern view draws strokes() and asks hitTest() with the cursor in plot units; it keeps
// its own display copy (zoom and drag change only the drawing).
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "plot/model.h"

namespace qel::config {
class CIniConfig;
}

namespace qel::ccd {

// The file states the view reports; the window words them (see ccd_texts.h).
enum class PatternLoad { Loaded, NotExist, FormatError };

class PatternModel {
 public:
  // Runs the load-only run over the file with the home's settings (page mode, page width, mark
  // pen MarkPoint_SP) and takes the marks out. Replaces any earlier pattern and clears the
  // selection, the select-all and reverse flags and the plate index. Runs on a worker thread.
  PatternLoad load(const std::string& path, const config::CIniConfig& cfg);
  // The same from strokes already read (plot units).
  void setStrokes(std::vector<plot::CStroke> strokes, int markPen, double pageWidthMm);

  bool loaded() const { return loaded_; }
  const std::string& path() const { return path_; }
  // The pattern: the marks first, in visiting order, then the other strokes in file order.
  const std::vector<plot::CStroke>& strokes() const { return strokes_; }
  std::size_t markCount() const { return marks_.size(); }
  // For a mark (index below markCount()): drawn as a cross, and the kept middle point of a
  // three-point cross.
  bool isCrossMark(std::size_t i) const { return i < marks_.size() && marks_[i].cross; }
  plot::PlotPoint crossMiddle(std::size_t i) const { return i < marks_.size() ? marks_[i].middle : plot::PlotPoint{}; }
  // The file's mark list: the first points of the marks from the last to the first.
  const std::vector<plot::PlotPoint>& markList() const { return markList_; }
  int markPen() const { return markPen_; }
  double pageWidthMm() const { return pageWidthMm_; }

  // Plates: stroke i belongs to plate trunc(first x / (page width * 40)).
  int plate() const { return plate_; }
  void setPlate(int plate) { plate_ = plate; }
  int plateOf(const plot::CStroke& s) const;
  // The number of plates the file covers: trunc(largest x / (page width * 40)) + 1.
  int plateCount() const;

  // Selection (plot units). The pattern's outline is the box around all its strokes.
  bool hitTest(const plot::PlotPoint& p) const;
  struct Box {
    double minX, minY, maxX, maxY;
  };
  // The outline; nullopt without a loaded pattern or without strokes.
  std::optional<Box> outline() const;
  // Left button: selects the pattern when p lies on it and nothing is selected yet; true when
  // this press selected it. A second press keeps the selection.
  bool pressAt(const plot::PlotPoint& p);
  // Right button: unselects; true when something was selected.
  bool unselect();
  bool selected() const { return selected_; }
  // Toggles select-all; set, it selects the whole file.
  void toggleSelectAll();
  bool selectAll() const { return selectAll_; }
  void toggleReverse() { reverse_ = !reverse_; }
  bool reverse() const { return reverse_; }
  // First and last selected stroke index; nullopt when nothing is selected or the file is empty.
  std::optional<std::pair<std::size_t, std::size_t>> selectionRange() const;

  // The design marks of the current plate (plot units), as the marking run takes them: with cut
  // type 2 or 3 and shared marks, the file's mark list entries whose truncated x lies strictly
  // within 2000 units (50 mm) of the plate, from the last mark to the first; otherwise the first
  // point of every selected mark-pen stroke, in stroke order.
  std::vector<plot::PlotPoint> designMarks(int cutType, bool shareMark) const;
  // The selected strokes of the current plate, in order (what the corrected pattern holds).
  std::vector<const plot::CStroke*> plateSelection() const;

 private:
  struct Mark {
    bool cross = false;
    plot::PlotPoint middle;
  };
  void takeMarks();

  bool loaded_ = false;
  std::string path_;
  std::vector<plot::CStroke> strokes_;
  std::vector<Mark> marks_;
  std::vector<plot::PlotPoint> markList_;
  int markPen_ = 8;
  double pageWidthMm_ = 1500.0;
  int plate_ = 0;
  bool selected_ = false;
  bool selectAll_ = false;
  bool reverse_ = false;
  double minX_ = 0, minY_ = 0, maxX_ = 0, maxY_ = 0;
};

}  // namespace qel::ccd
