#include "plot/plot_source.h"

namespace qel::plot {

std::string tooManyPagesText(const std::string& inputPath, int maxPageCount) {
  return inputPath + " would need more than " + std::to_string(maxPageCount > 0 ? maxPageCount : 1) +
         " pages (a coordinate lies too far along the roll for the page width); the limit is Max_Page_Count in "
         "[Split_Page] of Config.ini";
}

std::string crossedEdgeText(const std::string& inputPath) { return "a stroke runs across a page edge in " + inputPath; }

std::string nothingToCutText(const std::string& inputPath) {
  return inputPath + " holds no plot command: nothing to cut";
}

}  // namespace qel::plot
