#pragma once
// The MuPDF side of the drawing source: a context with a memory budget whose messages are
// kept instead of printed, calls into MuPDF that can throw turned into results, and the device
// that hands every painted path to a DrawingCollector. Only drawing_source.cpp and
// mupdf_device.cpp include this header; MuPDF's errors never leave them.
//
// MuPDF reports errors by longjmp. Every call that can throw runs inside guarded(), in a frame
// that holds nothing with a destructor; the device's callbacks catch every C++ exception
// themselves and stop the page through the cookie instead of letting one cross MuPDF's frames.
#include <mupdf/fitz.h>

#include <cstddef>
#include <memory>
#include <string>

#include "plot/drawing_collector.h"

namespace qel::plot::mupdf {

// A MuPDF context of its own for one read. Single-threaded.
class Context {
 public:
  // Allocations beyond `memoryLimit` bytes fail (MuPDF then throws out of the call at hand).
  explicit Context(std::size_t memoryLimit);
  ~Context();
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  fz_context* get() const { return ctx_; }
  explicit operator bool() const { return ctx_ != nullptr; }
  // The last error MuPDF reported (empty when none).
  const std::string& lastError() const { return error_; }

 private:
  struct Budget {
    std::size_t used = 0, limit = 0;
  };
  static void* allocate(void* user, std::size_t size);
  static void* reallocate(void* user, void* old, std::size_t size);
  static void release(void* user, void* block);
  static void onError(void* user, const char* message);
  static void onWarning(void* user, const char* message);

  Budget budget_;
  std::string error_;
  fz_context* ctx_ = nullptr;
};

// Runs `call` (a lambda that only calls MuPDF with plain values) inside fz_try. False, with
// MuPDF's message in *error, when it threw.
template <class Call>
bool guarded(fz_context* ctx, Call&& call, std::string* error = nullptr) {
  bool ok = true;
  fz_var(ok);
  fz_try(ctx) { call(); }
  fz_catch(ctx) {
    ok = false;
    if (error) *error = fz_caught_message(ctx);
  }
  return ok;
}

// A transformation in double precision (MuPDF's own matrices are float: a page far along the
// roll would lose its fractions of a unit).
struct Affine {
  double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
  // This after m (points go through m first).
  Affine after(const fz_matrix& m) const {
    return {m.a * a + m.b * c, m.a * b + m.b * d, m.c * a + m.d * c, m.c * b + m.d * d,
            m.e * a + m.f * c + e, m.e * b + m.f * d + f};
  }
  PlotPoint apply(double x, double y) const { return {a * x + c * y + e, b * x + d * y + f}; }
};

// The device's state while a page runs: where its paths go and how page space maps to plotter
// units. Kept by the caller for the whole document (its colour and glyph caches hold MuPDF
// objects, dropped by release()).
class PageRun {
 public:
  PageRun(fz_context* ctx, DrawingCollector& collector, bool measureEverything);
  ~PageRun();
  PageRun(const PageRun&) = delete;
  PageRun& operator=(const PageRun&) = delete;

  // Runs the page with the given page-space-to-plotter-units matrix. False with the reason
  // when MuPDF failed, a C++ failure stopped the device, or the collector's limits were reached.
  bool run(fz_page* page, const Affine& toUnits, std::string* error);

  struct State;

 private:
  fz_context* ctx_;
  std::unique_ptr<State> state_;
};

}  // namespace qel::plot::mupdf
