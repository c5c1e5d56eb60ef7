#include "plot/dispose_failure.h"

#include <fcntl.h>
#include <unistd.h>

namespace qel::plot {

namespace {

bool has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// The first bytes of a file (at most 64 KB); nothing when it cannot be read.
std::string firstBytes(const std::string& path, bool* readable) {
  std::string out;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  *readable = fd >= 0;
  if (fd < 0) return out;
  out.resize(64 * 1024);
  const ssize_t n = ::read(fd, out.data(), out.size());
  ::close(fd);
  out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
  *readable = n >= 0;
  return out;
}

}  // namespace

bool looksBinary(const std::string& bytes) {
  std::size_t control = 0;
  for (unsigned char c : bytes) {
    if (c == 0) return true;
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f' && c != 0x1B && c != 0x02 && c != 0x03) ++control;
  }
  return control * 8 > bytes.size();
}

DisposeFailure classifyDisposeFailure(const std::string& error, const std::string& inputPath) {
  // The drawing source's reasons come first: the PDF library's own words in them may say
  // "cannot open".
  if (has(error, ": no cut line: ")) return DisposeFailure::NoCutLine;
  if (has(error, "the PDF is protected by a password")) return DisposeFailure::DrawingLocked;
  if (has(error, "is damaged and cannot be read") || has(error, ": not an SVG drawing") || has(error, " has no page"))
    return DisposeFailure::DrawingDamaged;
  if (has(error, "wider than the page")) return DisposeFailure::WiderThanPage;
  if (has(error, "would need more than")) return DisposeFailure::TooManyPages;
  if (has(error, "cannot be drawn")) return DisposeFailure::NoLabelFont;
  if (has(error, "cannot create page file")) return DisposeFailure::PageNotWritten;
  if (has(error, "cannot open") || has(error, "read error") || has(error, "cannot determine the length"))
    return DisposeFailure::Unreadable;
  if (has(error, "holds no plot command")) {
    bool readable = false;
    const std::string bytes = firstBytes(inputPath, &readable);
    if (!readable) return DisposeFailure::NoPlotCommand;
    if (bytes.empty()) return DisposeFailure::EmptyFile;
    return looksBinary(bytes) ? DisposeFailure::NotPlotFile : DisposeFailure::NoPlotCommand;
  }
  return DisposeFailure::Other;
}

}  // namespace qel::plot
