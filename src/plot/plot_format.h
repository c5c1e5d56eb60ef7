#pragma once
// The format of a plot file, told by its first bytes rather than its name: HPGL, or a drawing
// (PDF, SVG) that the drawing source reads. A file whose bytes say nothing is taken by its
// extension, so that a broken "x.pdf" is reported as a broken PDF rather than read as HPGL.
#include <string>
#include <string_view>

namespace qel::plot {

enum class PlotFormat { Hpgl, Pdf, Svg };

// By the first bytes of the file (`head`, 4 KB are plenty): "%PDF-" within the first 1024
// bytes is a PDF; text beginning with "<" (after a byte-order mark and blanks) that holds
// "<svg" is an SVG. Otherwise by the extension of `path` (".pdf", ".svg", any case); else HPGL.
PlotFormat plotFormatOf(std::string_view head, std::string_view path);
// The same for a file on disk (its first 4 KB); HPGL when it cannot be read.
PlotFormat plotFormatOfFile(const std::string& path);

inline bool isDrawing(PlotFormat f) { return f != PlotFormat::Hpgl; }

}  // namespace qel::plot
