#pragma once
// The plot source that reads a file: the drawing source for a PDF or SVG, the HPGL reader for
// everything else, chosen by what the file holds (plot_format.h).
#include <memory>
#include <string>

#include "plot/dispose_options.h"
#include "plot/plot_source.h"

namespace qel::plot {

std::unique_ptr<PlotSource> sourceForFile(const std::string& path, const DisposeOptions& options);

}  // namespace qel::plot
