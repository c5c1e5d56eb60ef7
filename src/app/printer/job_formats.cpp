// The table of accepted job formats.
#include "app/printer/job_formats.h"

#include <algorithm>
#include <iterator>

#include "plot/hpgl_sniff.h"

namespace qel::app::printer {

namespace {

// One line per plot source. The extension is the one the translate step's source expects.
constexpr JobFormat kFormats[] = {
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
