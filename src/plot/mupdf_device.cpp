// The device that receives a page's painted paths from MuPDF and hands them to the collector.
#include "plot/mupdf_device.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <new>
#include <unordered_map>
#include <vector>

namespace qel::plot::mupdf {

namespace {
// Each block carries its size in front of it, so that the budget knows what a release returns.
constexpr std::size_t kHeader = alignof(std::max_align_t);
}  // namespace

void* Context::allocate(void* user, std::size_t size) {
  auto* b = static_cast<Budget*>(user);
  if (size > b->limit - b->used) return nullptr;
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (!block) return nullptr;
  std::memcpy(block, &size, sizeof size);
  b->used += size;
  return block + kHeader;
}

void* Context::reallocate(void* user, void* old, std::size_t size) {
  if (!old) return allocate(user, size);
  auto* b = static_cast<Budget*>(user);
  auto* block = static_cast<unsigned char*>(old) - kHeader;
  std::size_t had = 0;
  std::memcpy(&had, block, sizeof had);
  if (size > had && size - had > b->limit - b->used) return nullptr;
  auto* grown = static_cast<unsigned char*>(std::realloc(block, size + kHeader));
  if (!grown) return nullptr;
  std::memcpy(grown, &size, sizeof size);
  b->used = b->used - had + size;
  return grown + kHeader;
}

void Context::release(void* user, void* p) {
  if (!p) return;
  auto* b = static_cast<Budget*>(user);
  auto* block = static_cast<unsigned char*>(p) - kHeader;
  std::size_t had = 0;
  std::memcpy(&had, block, sizeof had);
  b->used -= had;
  std::free(block);
}

void Context::onError(void* user, const char* message) { static_cast<Context*>(user)->error_ = message; }
void Context::onWarning(void*, const char*) {}  // repairs and oddities MuPDF copes with itself

Context::Context(std::size_t memoryLimit) {
  budget_.limit = memoryLimit;
  const fz_alloc_context alloc{&budget_, &Context::allocate, &Context::reallocate, &Context::release};
  ctx_ = fz_new_context(&alloc, nullptr, FZ_STORE_DEFAULT);
  if (!ctx_) return;
  fz_set_error_callback(ctx_, &Context::onError, this);
  fz_set_warning_callback(ctx_, &Context::onWarning, this);
}

Context::~Context() {
  if (ctx_) fz_drop_context(ctx_);
}

namespace {

struct GlyphKey {
  fz_font* font;
  int gid;
  bool operator==(const GlyphKey&) const = default;
};
struct GlyphKeyHash {
  std::size_t operator()(const GlyphKey& k) const {
    return std::hash<const void*>()(k.font) ^ (std::hash<int>()(k.gid) * 0x9E3779B97F4A7C15ull);
  }
};

// A glyph's outline in its own space, recorded once and drawn at every place it is shown.
struct GlyphOutline {
  enum Op : unsigned char { Move, Line, Cubic, Close };
  std::vector<Op> ops;
  std::vector<fz_point> points;
  bool broken = false;  // the outline could not be recorded whole
};

// What a colour space says about the colours painted in it.
struct SpaceInfo {
  fz_colorspace* cs = nullptr;  // kept while cached
  enum Kind : int { Gray, Rgb, Bgr, Cmyk, Spots, Other } kind = Other;
  std::vector<std::string> colorants;  // of a separation or DeviceN space
};

}  // namespace

// The device as MuPDF sees it: its own structure first, then the way back to our state.
struct DeviceShell {
  fz_device base;
  PageRun::State* state;
};
static_assert(offsetof(DeviceShell, base) == 0, "MuPDF hands the device back as a pointer to its first member");

struct PageRun::State {
  DeviceShell shell{};
  fz_context* ctx = nullptr;
  DrawingCollector* collector = nullptr;
  bool measureEverything = false;  // boxes of ignored objects too (the artwork's corners)
  Affine toUnits;
  Affine walk;  // of the path being walked
  fz_cookie cookie{};
  std::string failure;
  std::vector<SpaceInfo> spaces;
  std::unordered_map<GlyphKey, GlyphOutline, GlyphKeyHash> glyphs;
  std::vector<fz_font*> keptFonts;
  std::vector<std::string_view> spotScratch;
  GlyphOutline* recording = nullptr;

  static State* of(fz_device* dev) { return reinterpret_cast<DeviceShell*>(dev)->state; }

  void fail(const char* what) {
    if (failure.empty()) failure = what;
    cookie.abort = 1;
  }
  void checkLimits() {
    if (!collector->withinLimits()) cookie.abort = 1;
  }

  const SpaceInfo& space(fz_colorspace* cs);
  PaintColour colour(fz_colorspace* cs, const float* values);
  const fz_path* lastFill = nullptr;  // filled and then stroked at once, a path counts once
  void paintPath(const fz_path* path, fz_matrix ctm, PaintKind kind, fz_colorspace* cs, const float* values);
  void paintText(const fz_text* text, fz_matrix ctm, PaintKind kind, fz_colorspace* cs, const float* values);
  const GlyphOutline* glyph(fz_font* font, int gid);
  void noteBox(fz_rect r) {
    if (fz_is_empty_rect(r) || fz_is_infinite_rect(r)) return;
    const PlotPoint p = toUnits.apply(r.x0, r.y0), q = toUnits.apply(r.x1, r.y1);
    collector->noteBox(Box{std::min(p.x, q.x), std::min(p.y, q.y), std::max(p.x, q.x), std::max(p.y, q.y)});
  }
};

namespace {

PlotPoint unitsOf(const Affine& m, float x, float y) { return m.apply(x, y); }

// Walker callbacks: the path's segments in plotter units, into the collector.
void walkMove(fz_context*, void* arg, float x, float y) {
  auto* s = static_cast<PageRun::State*>(arg);
  try {
    s->collector->moveTo(unitsOf(s->walk, x, y));
  } catch (const std::exception& e) {
    s->fail(e.what());
  }
}
void walkLine(fz_context*, void* arg, float x, float y) {
  auto* s = static_cast<PageRun::State*>(arg);
  try {
    s->collector->lineTo(unitsOf(s->walk, x, y));
  } catch (const std::exception& e) {
    s->fail(e.what());
  }
}
void walkCurve(fz_context*, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
  auto* s = static_cast<PageRun::State*>(arg);
  try {
    s->collector->cubicTo(unitsOf(s->walk, x1, y1), unitsOf(s->walk, x2, y2), unitsOf(s->walk, x3, y3));
  } catch (const std::exception& e) {
    s->fail(e.what());
  }
}
void walkQuad(fz_context*, void* arg, float x1, float y1, float x2, float y2) {
  auto* s = static_cast<PageRun::State*>(arg);
  try {
    s->collector->quadTo(unitsOf(s->walk, x1, y1), unitsOf(s->walk, x2, y2));
  } catch (const std::exception& e) {
    s->fail(e.what());
  }
}
void walkClose(fz_context*, void* arg) {
  auto* s = static_cast<PageRun::State*>(arg);
  try {
    s->collector->closePath();
  } catch (const std::exception& e) {
    s->fail(e.what());
  }
}
const fz_path_walker kToCollector = {walkMove, walkLine, walkCurve, walkClose, walkQuad, nullptr, nullptr, nullptr};

// Recording a glyph's outline. No C++ exception may cross MuPDF's frames: an outline whose
// lists cannot grow is marked broken and dropped afterwards.
void record(void* arg, GlyphOutline::Op op, std::initializer_list<fz_point> points) {
  auto* g = static_cast<GlyphOutline*>(arg);
  if (g->broken) return;
  try {
    g->ops.push_back(op);
    g->points.insert(g->points.end(), points);
  } catch (const std::bad_alloc&) {
    g->broken = true;
  }
}
void recMove(fz_context*, void* arg, float x, float y) { record(arg, GlyphOutline::Move, {{x, y}}); }
void recLine(fz_context*, void* arg, float x, float y) { record(arg, GlyphOutline::Line, {{x, y}}); }
void recCurve(fz_context*, void* arg, float x1, float y1, float x2, float y2, float x3, float y3) {
  record(arg, GlyphOutline::Cubic, {{x1, y1}, {x2, y2}, {x3, y3}});
}
void recClose(fz_context*, void* arg) { record(arg, GlyphOutline::Close, {}); }
const fz_path_walker kRecorder = {recMove, recLine, recCurve, recClose, nullptr, nullptr, nullptr, nullptr};

}  // namespace

const SpaceInfo& PageRun::State::space(fz_colorspace* cs) {
  for (const SpaceInfo& s : spaces)
    if (s.cs == cs) return s;
  SpaceInfo info;
  info.cs = fz_keep_colorspace(ctx, cs);
  switch (fz_colorspace_type(ctx, cs)) {
    case FZ_COLORSPACE_GRAY: info.kind = SpaceInfo::Gray; break;
    case FZ_COLORSPACE_RGB: info.kind = SpaceInfo::Rgb; break;
    case FZ_COLORSPACE_BGR: info.kind = SpaceInfo::Bgr; break;
    case FZ_COLORSPACE_CMYK: info.kind = SpaceInfo::Cmyk; break;
    case FZ_COLORSPACE_SEPARATION: {
      info.kind = SpaceInfo::Spots;
      const int n = fz_colorspace_n(ctx, cs);
      for (int i = 0; i < n && i < FZ_MAX_COLORS; ++i) {
        const char* name = fz_colorspace_colorant(ctx, cs, i);
        info.colorants.emplace_back(name ? name : "");
        const std::string& c = info.colorants.back();
        if (c != "Cyan" && c != "Magenta" && c != "Yellow" && c != "Black") collector->noteSpotName(c);
      }
      break;
    }
    default: info.kind = SpaceInfo::Other; break;
  }
  spaces.push_back(std::move(info));
  return spaces.back();
}

PaintColour PageRun::State::colour(fz_colorspace* cs, const float* v) {
  PaintColour c;
  if (!cs || !v) return c;  // a pattern or shading: no colour of its own
  const SpaceInfo& s = space(cs);
  switch (s.kind) {
    case SpaceInfo::Gray: c.rgb = Rgb{v[0], v[0], v[0]}; break;
    case SpaceInfo::Rgb: c.rgb = Rgb{v[0], v[1], v[2]}; break;
    case SpaceInfo::Bgr: c.rgb = Rgb{v[2], v[1], v[0]}; break;
    // Process inks without a colour profile: magenta ink alone is #FF00FF.
    case SpaceInfo::Cmyk:
      c.rgb = Rgb{(1.0 - v[0]) * (1.0 - v[3]), (1.0 - v[1]) * (1.0 - v[3]), (1.0 - v[2]) * (1.0 - v[3])};
      break;
    case SpaceInfo::Spots:
      spotScratch.clear();
      for (std::size_t i = 0; i < s.colorants.size(); ++i)
        if (v[i] > 0.0f) spotScratch.push_back(s.colorants[i]);
      c.spots = spotScratch;
      break;
    case SpaceInfo::Other: {
      float rgb[3] = {0, 0, 0};
      fz_context* context = ctx;
      if (guarded(context, [&] {
            fz_convert_color(context, cs, v, fz_device_rgb(context), rgb, nullptr, fz_default_color_params);
          }))
        c.rgb = Rgb{rgb[0], rgb[1], rgb[2]};
      break;
    }
  }
  return c;
}

void PageRun::State::paintPath(const fz_path* path, fz_matrix ctm, PaintKind kind, fz_colorspace* cs,
                               const float* values) {
  if (!(kind == PaintKind::Stroke && path == lastFill)) collector->countPath();
  lastFill = kind == PaintKind::Fill ? path : nullptr;
  int pen = 1;
  const auto use = collector->classify(kind, colour(cs, values), &pen);
  checkLimits();
  if (use == DrawingCollector::Use::Ignore) {
    if (measureEverything) noteBox(fz_bound_path(ctx, path, nullptr, ctm));
    return;
  }
  walk = toUnits.after(ctm);
  collector->beginPath(use, pen);
  fz_walk_path(ctx, path, &kToCollector, this);
  collector->endPath();
  checkLimits();
}

const GlyphOutline* PageRun::State::glyph(fz_font* font, int gid) {
  const GlyphKey key{font, gid};
  if (auto it = glyphs.find(key); it != glyphs.end()) return it->second.ops.empty() ? nullptr : &it->second;
  if (std::find(keptFonts.begin(), keptFonts.end(), font) == keptFonts.end())
    keptFonts.push_back(fz_keep_font(ctx, font));  // the key stays unique while the font is kept
  GlyphOutline& g = glyphs[key];
  fz_path* outline = nullptr;
  fz_context* context = ctx;
  guarded(context, [&] { outline = fz_outline_glyph(context, font, gid, fz_identity); });
  if (!outline) return nullptr;  // a Type 3 glyph or a broken font: nothing to cut
  fz_walk_path(ctx, outline, &kRecorder, &g);
  fz_drop_path(ctx, outline);
  if (g.broken) g = GlyphOutline{};
  return g.ops.empty() ? nullptr : &g;
}

void PageRun::State::paintText(const fz_text* text, fz_matrix ctm, PaintKind kind, fz_colorspace* cs,
                               const float* values) {
  collector->countPath();
  lastFill = nullptr;
  int pen = 1;
  const auto use = collector->classify(kind, colour(cs, values), &pen);
  checkLimits();
  if (use != DrawingCollector::Use::Cut) {
    if (measureEverything) {
      fz_rect r = fz_empty_rect;
      fz_context* context = ctx;
      if (guarded(context, [&] { r = fz_bound_text(context, text, nullptr, ctm); })) noteBox(r);
    }
    return;
  }
  const Affine toPage = toUnits.after(ctm);
  for (const fz_text_span* span = text->head; span; span = span->next) {
    for (int i = 0; i < span->len; ++i) {
      const fz_text_item& item = span->items[i];
      if (item.gid < 0) continue;
      const GlyphOutline* g = glyph(span->font, item.gid);
      if (!g) continue;
      fz_matrix trm = span->trm;
      trm.e = item.x;
      trm.f = item.y;
      const Affine m = toPage.after(trm);
      collector->beginPath(use, pen);
      std::size_t k = 0;
      for (GlyphOutline::Op op : g->ops) {
        switch (op) {
          case GlyphOutline::Move: collector->moveTo(unitsOf(m, g->points[k].x, g->points[k].y)), ++k; break;
          case GlyphOutline::Line: collector->lineTo(unitsOf(m, g->points[k].x, g->points[k].y)), ++k; break;
          case GlyphOutline::Cubic:
            collector->cubicTo(unitsOf(m, g->points[k].x, g->points[k].y), unitsOf(m, g->points[k + 1].x, g->points[k + 1].y),
                               unitsOf(m, g->points[k + 2].x, g->points[k + 2].y));
            k += 3;
            break;
          case GlyphOutline::Close: collector->closePath(); break;
        }
      }
      collector->endPath();
    }
  }
  checkLimits();
}

namespace {

// The device's entries: each catches what the collector throws and stops the page instead.
template <class F>
void entry(fz_device* dev, F&& f) {
  auto* s = PageRun::State::of(dev);
  if (s->cookie.abort) return;
  try {
    f(*s);
  } catch (const std::exception& e) {
    s->fail(e.what());
  }
}

void fillPath(fz_context*, fz_device* dev, const fz_path* path, int, fz_matrix ctm, fz_colorspace* cs,
              const float* color, float, fz_color_params) {
  entry(dev, [&](PageRun::State& s) { s.paintPath(path, ctm, PaintKind::Fill, cs, color); });
}
void strokePath(fz_context*, fz_device* dev, const fz_path* path, const fz_stroke_state*, fz_matrix ctm,
                fz_colorspace* cs, const float* color, float, fz_color_params) {
  entry(dev, [&](PageRun::State& s) { s.paintPath(path, ctm, PaintKind::Stroke, cs, color); });
}
void fillText(fz_context*, fz_device* dev, const fz_text* text, fz_matrix ctm, fz_colorspace* cs, const float* color,
              float, fz_color_params) {
  entry(dev, [&](PageRun::State& s) { s.paintText(text, ctm, PaintKind::Text, cs, color); });
}
void strokeText(fz_context*, fz_device* dev, const fz_text* text, const fz_stroke_state*, fz_matrix ctm,
                fz_colorspace* cs, const float* color, float, fz_color_params) {
  entry(dev, [&](PageRun::State& s) { s.paintText(text, ctm, PaintKind::StrokedText, cs, color); });
}
// Images and shadings are printed, never cut: only their place counts (the artwork's corners).
void fillImage(fz_context*, fz_device* dev, fz_image*, fz_matrix ctm, float, fz_color_params) {
  entry(dev, [&](PageRun::State& s) {
    if (s.measureEverything) s.noteBox(fz_transform_rect(fz_unit_rect, ctm));
  });
}
void fillImageMask(fz_context*, fz_device* dev, fz_image*, fz_matrix ctm, fz_colorspace*, const float*, float,
                   fz_color_params) {
  entry(dev, [&](PageRun::State& s) {
    if (s.measureEverything) s.noteBox(fz_transform_rect(fz_unit_rect, ctm));
  });
}
void fillShade(fz_context*, fz_device* dev, fz_shade* shade, fz_matrix ctm, float, fz_color_params) {
  entry(dev, [&](PageRun::State& s) {
    if (!s.measureEverything) return;
    fz_rect r = fz_empty_rect;
    fz_context* context = s.ctx;
    if (guarded(context, [&] { r = fz_bound_shade(context, shade, ctm); })) s.noteBox(r);
  });
}

}  // namespace

PageRun::PageRun(fz_context* ctx, DrawingCollector& collector, bool measureEverything)
    : ctx_(ctx), state_(std::make_unique<State>()) {
  State& s = *state_;
  fz_device& d = s.shell.base;
  std::memset(&d, 0, sizeof d);
  d.refs = 1;
  d.fill_path = fillPath;
  d.stroke_path = strokePath;
  d.fill_text = fillText;
  d.stroke_text = strokeText;
  d.fill_image = fillImage;
  d.fill_image_mask = fillImageMask;
  d.fill_shade = fillShade;
  s.shell.state = &s;
  s.ctx = ctx;
  s.collector = &collector;
  s.measureEverything = measureEverything;
}

PageRun::~PageRun() {
  // MuPDF keeps the device's container stack in its own memory.
  if (state_->shell.base.container) fz_free(ctx_, state_->shell.base.container);
  for (SpaceInfo& s : state_->spaces) fz_drop_colorspace(ctx_, s.cs);
  for (fz_font* f : state_->keptFonts) fz_drop_font(ctx_, f);
}

bool PageRun::run(fz_page* page, const Affine& toUnits, std::string* error) {
  State& s = *state_;
  s.toUnits = toUnits;
  s.cookie = fz_cookie{};
  s.failure.clear();
  fz_context* ctx = ctx_;
  fz_device* dev = &s.shell.base;
  fz_cookie* cookie = &s.cookie;
  std::string why;
  const bool ran = guarded(ctx, [&] { fz_run_page(ctx, page, dev, fz_identity, cookie); }, &why);
  if (!s.failure.empty()) {
    if (error) *error = "reading it failed: " + s.failure;
    return false;
  }
  if (!s.collector->withinLimits()) {
    if (error) *error = s.collector->limitText();
    return false;
  }
  if (!ran) {
    if (error) *error = why;
    return false;
  }
  return true;
}

}  // namespace qel::plot::mupdf
