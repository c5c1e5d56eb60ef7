// A drawing made of fuzzer bytes read by the drawing source, as a PDF or as an SVG. The first
// byte picks the format and the options (every stroke cut, fills cut, marks looked for, one page
// only). A read either fails with a reason or gives strokes whose points are finite numbers.
#include <cmath>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_support.h"
#include "plot/drawing_source.h"
#include "plot/plot_builder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using qel::fuzz::check;
  if (size == 0) return 0;
  const std::uint8_t sel = data[0];
  const std::string input = qel::fuzz::scratchDir() + "/drawing.in";
  qel::fuzz::writeBytes(input, data + 1, size - 1);
  qel::plot::DisposeOptions o;
  o.cutFt = 6;
  o.drawing.cutAll = sel & 0x02;
  o.drawing.cutFills = sel & 0x04;
  o.drawing.findMarks = sel & 0x08;
  o.drawing.onlyPage = (sel >> 4) & 0x03;
  const auto format = (sel & 0x01) ? qel::plot::PlotFormat::Svg : qel::plot::PlotFormat::Pdf;
  qel::plot::PlotModel model;
  qel::plot::PlotBuilder builder(model, o, nullptr);
  builder.reset();
  qel::plot::DrawingSource source(input, format, o);
  const qel::plot::SourceResult r = source.read(builder);
  if (!r.ok) {
    check(!r.text.empty(), "a failed read without a reason");
    return 0;
  }
  for (const auto& s : model.strokes)
    for (const auto& p : s.points) check(std::isfinite(p.x) && std::isfinite(p.y), "a point that is no number");
  return 0;
}
