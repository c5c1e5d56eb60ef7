#include "plot/source_for_file.h"

#include "plot/drawing_source.h"
#include "plot/hpgl_reader.h"
#include "plot/plot_format.h"

namespace qel::plot {

std::unique_ptr<PlotSource> sourceForFile(const std::string& path, const DisposeOptions& options) {
  const PlotFormat format = plotFormatOfFile(path);
  if (isDrawing(format)) return std::make_unique<DrawingSource>(path, format, options);
  return std::make_unique<HpglReader>(path, options);
}

}  // namespace qel::plot
