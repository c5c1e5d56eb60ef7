// The drawing source: a PDF or SVG document opened with MuPDF, its pages run through our device
// one after another along the roll.
#include "plot/drawing_source.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <regex>

#include "plot/mupdf_device.h"
#include "plot/plot_builder.h"

// MuPDF's readers of the two formats (its headers do not declare them).
extern "C" fz_document_handler pdf_document_handler;
extern "C" fz_document_handler svg_document_handler;

namespace qel::plot {

namespace {

constexpr std::size_t kMemoryLimit = std::size_t(1) << 30;
constexpr double kUnitsPerPoint = kUnitsPerMm * 25.4 / 72.0;

std::string grouped(long n) {
  std::string digits = std::to_string(n), out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out.push_back(',');
    out.push_back(digits[i]);
  }
  return out;
}

// A page's side for a message: whole millimetres, grouped, or with an exponent when huge.
std::string sizeText(double mm) {
  if (!std::isfinite(mm)) return "unbounded";
  if (mm < 1e12) return grouped(std::lround(mm));
  char text[32];
  std::snprintf(text, sizeof text, "%.3g", mm);
  return text;
}

// The open document of one read; dropped with its context.
struct Document {
  mupdf::Context& context;
  fz_document* doc = nullptr;
  ~Document() {
    if (doc) fz_drop_document(context.get(), doc);
  }
};

struct Page {
  fz_context* ctx;
  fz_page* page = nullptr;
  ~Page() {
    if (page) fz_drop_page(ctx, page);
  }
};

// An SVG's size without a unit, or in px, is in CSS pixels of 1/96 inch, as drawing programs
// write it; the PDF library takes such a number as points (1/72 inch). The factor from what the
// library gives to what is meant: 0.75 for a root element sized in pixels (or by its viewBox
// alone), 1 where the size has a unit of length (mm, cm, in, pt, pc) or is a percentage.
double svgPixelScale(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string head(16384, '\0');
  in.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(std::max<std::streamsize>(0, in.gcount())));
  const std::size_t open = head.find("<svg");
  if (open == std::string::npos) return 1.0;
  const std::size_t close = head.find('>', open);
  const std::string tag = head.substr(open, close == std::string::npos ? std::string::npos : close - open);
  auto inPixels = [&](const char* name) {
    std::smatch m;
    const std::regex attr(std::string("\\s") + name + "\\s*=\\s*[\"']\\s*([-+0-9.eE]+)\\s*([a-zA-Z%]*)");
    if (!std::regex_search(tag, m, attr)) return true;  // the viewBox's numbers are pixels
    std::string unit = m[2].str();
    for (char& c : unit) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return unit.empty() || unit == "px";
  };
  return inPixels("width") && inPixels("height") ? 0.75 : 1.0;
}

// The PDF library's SVG reader never finishes a path or point list that holds a plus sign or
// anything else it does not take for a number or a path command (it stops moving through the
// text). Before it reads an SVG, plus signs and form feeds in path data and point lists become
// blanks (the numbers are the same) and a list with any other stranger is refused: the fault, or nothing.
std::string cleanSvgGeometry(std::string& text) {
  auto attributeAt = [&](std::size_t at, std::size_t nameLength, std::size_t* valueStart) {
    if (at == 0 || !std::isspace(static_cast<unsigned char>(text[at - 1]))) return char(0);  // part of a name
    std::size_t i = at + nameLength;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size() || text[i] != '=') return char(0);
    ++i;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i >= text.size() || (text[i] != '"' && text[i] != '\'')) return char(0);
    *valueStart = i + 1;
    return text[i];
  };
  for (const std::string name : {"points", "d"}) {
    const bool path = name == "d";
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + name.size())) {
      std::size_t i = 0;
      const char quote = attributeAt(at, name.size(), &i);
      if (!quote) continue;
      for (; i < text.size() && text[i] != quote; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '+' || c == '\f' || c == '\v') {  // the library's blanks are space, tab and line ends
          text[i] = ' ';
          continue;
        }
        if (std::isdigit(c) || c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == ',' || c == '.' || c == '-' || c == 'e' || c == 'E') continue;
        if (path && std::strchr("MmLlHhVvCcSsQqTtAaZz", c) && c != 0) continue;
        return std::string(path ? "path data" : "a point list") + " holds \"" + std::string(1, static_cast<char>(c)) +
               "\", which is no number" + (path ? " nor path command" : "");
      }
    }
  }
  return {};
}

}  // namespace

DrawingSource::DrawingSource(std::string inputPath, PlotFormat format, const DisposeOptions& options)
    : path_(std::move(inputPath)), format_(format), opt_(options) {}

DrawingSource::~DrawingSource() = default;

SourceResult DrawingSource::read(PlotBuilder& builder) {
  const bool pdf = format_ == PlotFormat::Pdf;
  const std::string kind = pdf ? "PDF" : "SVG drawing";
  mupdf::Context context(kMemoryLimit);
  if (!context) return {false, path_ + ": the " + kind + " reader cannot start (out of memory)"};
  fz_context* ctx = context.get();
  const char* path = path_.c_str();

  // An SVG is read from memory, its geometry made safe for the library first; the text outlives
  // the document.
  std::string svgText;
  if (!pdf) {
    std::ifstream in(path_, std::ios::binary);
    if (!in) return {false, path_ + ": cannot open the SVG drawing"};
    svgText.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (const std::string fault = cleanSvgGeometry(svgText); !fault.empty())
      return {false, path_ + ": not an SVG drawing (" + fault + ")"};
  }

  // Opened by what the file is, not by its name: a PDF named .plt is still read as a PDF.
  Document document{context};
  fz_document* doc = nullptr;
  std::string why;
  const bool opened = mupdf::guarded(ctx, [&] {
    fz_register_document_handler(ctx, pdf ? &pdf_document_handler : &svg_document_handler);
    fz_stream* stream = pdf ? fz_open_file(ctx, path)
                            : fz_open_memory(ctx, reinterpret_cast<const unsigned char*>(svgText.data()), svgText.size());
    fz_try(ctx) { doc = fz_open_document_with_stream(ctx, pdf ? "application/pdf" : "image/svg+xml", stream); }
    fz_always(ctx) { fz_drop_stream(ctx, stream); }
    fz_catch(ctx) { fz_rethrow(ctx); }
  }, &why);
  document.doc = doc;
  if (!opened || !doc)
    return {false, path_ + (pdf ? ": the PDF is damaged and cannot be read (" : ": not an SVG drawing (") + why + ")"};

  int needsPassword = 0, authenticated = 0;
  mupdf::guarded(ctx, [&] {
    needsPassword = fz_needs_password(ctx, doc);
    if (needsPassword) authenticated = fz_authenticate_password(ctx, doc, "");
  });
  if (needsPassword && !authenticated)
    return {false, path_ + ": the PDF is protected by a password; save it without one to cut it"};

  int count = 0;
  if (!mupdf::guarded(ctx, [&] { count = fz_count_pages(ctx, doc); }, &why))
    return {false, path_ + ": the " + kind + " is damaged and cannot be read (" + why + ")"};
  pages_ = count;
  if (count <= 0) return {false, path_ + ": the " + kind + " has no page"};
  const int only = opt_.drawing.onlyPage;
  if (only > count || only < 0)
    return {false, path_ + " has " + grouped(count) + (count == 1 ? " page" : " pages") + ": there is no page " +
                       std::to_string(only)};
  if (only == 0 && count > kMaxPages)
    return {false, path_ + " has " + grouped(count) + " pages; at most " + grouped(kMaxPages) +
                       " are read at once (choose one page with --page N)"};

  const double perPoint = kUnitsPerPoint * (pdf ? 1.0 : svgPixelScale(path_));
  DrawingCollector collector(opt_.drawing, opt_.markPointSp);
  mupdf::PageRun run(ctx, collector, opt_.drawing.findMarks);
  // Pages lie along the roll from x = 0, each with its lower left corner on the roll's edge.
  double along = 0.0;
  const double gap = std::isfinite(opt_.drawing.pageGapMm) ? std::max(0.0, opt_.drawing.pageGapMm) : 0.0;
  for (int i = only ? only - 1 : 0; i < (only ? only : count); ++i) {
    Page page{ctx};
    fz_page* p = nullptr;
    fz_rect bounds = fz_empty_rect;
    if (!mupdf::guarded(ctx, [&] {
          p = fz_load_page(ctx, doc, i);
          bounds = fz_bound_page(ctx, p);
        }, &why)) {
      page.page = p;
      if (!pdf) return {false, path_ + ": not an SVG drawing (" + why + ")"};
      return {false, path_ + ": page " + std::to_string(i + 1) + " cannot be read (" + why + ")"};
    }
    page.page = p;
    // A page no roll holds (an SVG's width or height can say anything) is refused before its
    // curves are flattened at a scale that would take them to millions of chords.
    const double widthMm = (bounds.x1 - bounds.x0) * perPoint / kUnitsPerMm;
    const double heightMm = (bounds.y1 - bounds.y0) * perPoint / kUnitsPerMm;
    if (!(widthMm <= kMaxPageSideMm && heightMm <= kMaxPageSideMm))
      return {false, path_ + ": page " + std::to_string(i + 1) + " is " + sizeText(widthMm) + " x " +
                         sizeText(heightMm) + " mm, larger than any roll (at most " + grouped(kMaxPageSideMm) +
                         " mm a side)"};
    collector.beginPage(only ? 0 : i);
    // Page space has y down from the page's top; the machine has y up from the roll's edge.
    const mupdf::Affine toUnits{perPoint, 0.0, 0.0, -perPoint, along - bounds.x0 * perPoint, bounds.y1 * perPoint};
    if (!run.run(p, toUnits, &why)) return {false, path_ + ": page " + std::to_string(i + 1) + ": " + why};
    along += (bounds.x1 - bounds.x0) * perPoint + gap * kUnitsPerMm;
  }
  const SourceResult result = collector.emit(builder, path_);
  counts_ = collector.flattenCounts();
  paths_ = collector.pathCount();
  marks_ = collector.marks();
  return result;
}

}  // namespace qel::plot
