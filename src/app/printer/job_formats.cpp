// The table of accepted job formats.
#include "app/printer/job_formats.h"

#include <algorithm>
#include <iterator>

#include "plot/hpgl_sniff.h"
#include "plot/plot_format.h"

namespace qel::app::printer {

namespace {

bool looksLikePdf(std::string_view head) { return plot::plotFormatOf(head, {}) == plot::PlotFormat::Pdf; }
bool looksLikeSvg(std::string_view head) { return plot::plotFormatOf(head, {}) == plot::PlotFormat::Svg; }

// One line per plot source. The extension is the one the translate step's source expects.
// Content is recognised in this order: drawings first, as their marks ("%PDF-", "<svg") are
// surer than HPGL's mnemonics.
constexpr JobFormat kFormats[] = {
    {"application/pdf", ".pdf", looksLikePdf},
    {"image/svg+xml", ".svg", looksLikeSvg},
    {kCutterFormat, ".plt", plot::looksLikeHpgl},
};

}  // namespace

std::span<const JobFormat> jobFormats() { return kFormats; }

const JobFormat* formatForMime(std::string_view mime) {
  auto it = std::find_if(std::begin(kFormats), std::end(kFormats), [&](const JobFormat& f) { return mime == f.mime; });
  return it == std::end(kFormats) ? nullptr : &*it;
}

const JobFormat* formatForContent(std::string_view head) {
  auto it = std::find_if(std::begin(kFormats), std::end(kFormats), [&](const JobFormat& f) { return f.recognise(head); });
  return it == std::end(kFormats) ? nullptr : &*it;
}

}  // namespace qel::app::printer
