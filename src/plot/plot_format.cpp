#include "plot/plot_format.h"

#include <algorithm>
#include <cctype>

#include "platform/files.h"

namespace qel::plot {

namespace {

bool hasExtension(std::string_view path, std::string_view ext) {
  const std::size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  if (name.size() <= ext.size()) return false;
  return std::equal(ext.begin(), ext.end(), name.end() - static_cast<std::ptrdiff_t>(ext.size()), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
}

}  // namespace

PlotFormat plotFormatOf(std::string_view head, std::string_view path) {
  if (head.substr(0, 1024).find("%PDF-") != std::string_view::npos) return PlotFormat::Pdf;
  std::string_view text = head;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  if (!text.empty() && text.front() == '<' && text.find("<svg") != std::string_view::npos) return PlotFormat::Svg;
  if (hasExtension(path, ".pdf")) return PlotFormat::Pdf;
  if (hasExtension(path, ".svg")) return PlotFormat::Svg;
  return PlotFormat::Hpgl;
}

PlotFormat plotFormatOfFile(const std::string& path) {
  const auto head = platform::readFileHead(path, 4096);
  return plotFormatOf(head ? *head : std::string_view(), path);
}

}  // namespace qel::plot
