#include "outline.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "hershey.h"

namespace qel::fontgen {

std::vector<GbCharacter> gb2312Characters() {
    iconv_t cd = iconv_open("UCS-4BE", "GB2312");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert from GB2312");
    std::vector<GbCharacter> out;
    for (int first = 0xB0; first <= 0xF7; ++first) {
        for (int second = 0xA1; second <= 0xFE; ++second) {
            char in[2] = {static_cast<char>(first), static_cast<char>(second)};
            unsigned char code[8] = {};
            char* inPtr = in;
            char* outPtr = reinterpret_cast<char*>(code);
            std::size_t inLeft = 2, outLeft = sizeof code;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
            const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
            if (r == static_cast<std::size_t>(-1) || inLeft != 0 || sizeof code - outLeft != 4) continue;
            out.push_back({static_cast<unsigned char>(first), static_cast<unsigned char>(second),
                           (char32_t{code[0]} << 24) | (char32_t{code[1]} << 16) | (char32_t{code[2]} << 8) |
                               char32_t{code[3]}});
        }
    }
    iconv_close(cd);
    return out;
}

struct OutlineFont::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    double scaleX = 1, scaleY = 1;  // font units per design unit
    double centreY = 0;             // design y of the ideographic box centre

    ~Impl() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }

    // Loads the unscaled, unhinted outline of a character; false when the font lacks it.
    bool load(char32_t code) const {
        const FT_UInt index = FT_Get_Char_Index(face, code);
        if (index == 0) return false;
        if (FT_Load_Glyph(face, index, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP)) return false;
        return face->glyph->format == FT_GLYPH_FORMAT_OUTLINE;
    }
};

namespace {

// Collects the flattened contours during FT_Outline_Decompose.
struct Flattener {
    double scaleX, scaleY, originX, centreY, tolerance;
    std::vector<std::vector<PointD>> contours;

    PointD map(const FT_Vector* v) const {
        const double x = kCellWidth / 2.0 + (v->x - originX) * scaleX;
        const double height = kTopLine / 2.0 + (v->y - centreY) * scaleY;
        return {x, kTopLine - height};
    }
    PointD last() const { return contours.back().back(); }
    void add(PointD p) { contours.back().push_back(p); }

    // Uniform steps for a curve whose second derivative is at most `bend` long: a polyline of
    // n equal parameter steps stays within bend / (8 n^2) of the curve.
    int steps(double bend) const {
        const double n = std::ceil(std::sqrt(bend / (8.0 * tolerance)));
        return std::clamp(static_cast<int>(n), 1, 64);
    }
};

double length(PointD a) { return std::hypot(a.x, a.y); }

int moveTo(const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    f->contours.emplace_back();
    f->add(f->map(to));
    return 0;
}

int lineTo(const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    f->add(f->map(to));
    return 0;
}

int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    const PointD p0 = f->last(), p1 = f->map(control), p2 = f->map(to);
    const PointD dd{2 * (p0.x - 2 * p1.x + p2.x), 2 * (p0.y - 2 * p1.y + p2.y)};
    const int n = f->steps(length(dd));
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n, u = 1 - t;
        f->add({u * u * p0.x + 2 * u * t * p1.x + t * t * p2.x, u * u * p0.y + 2 * u * t * p1.y + t * t * p2.y});
    }
    return 0;
}

int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
    auto* f = static_cast<Flattener*>(user);
    const PointD p0 = f->last(), p1 = f->map(c1), p2 = f->map(c2), p3 = f->map(to);
    // The second derivative of a cubic is at most 6 times its larger second difference.
    const double bend = 6 * std::max(length({p0.x - 2 * p1.x + p2.x, p0.y - 2 * p1.y + p2.y}),
                                     length({p1.x - 2 * p2.x + p3.x, p1.y - 2 * p2.y + p3.y}));
    const int n = f->steps(bend);
    for (int i = 1; i <= n; ++i) {
        const double t = static_cast<double>(i) / n, u = 1 - t;
        const double a = u * u * u, b = 3 * u * u * t, c = 3 * u * t * t, d = t * t * t;
        f->add({a * p0.x + b * p1.x + c * p2.x + d * p3.x, a * p0.y + b * p1.y + c * p2.y + d * p3.y});
    }
    return 0;
}

}  // namespace

OutlineFont::OutlineFont(const std::string& path, int faceIndex) : impl_(std::make_unique<Impl>()) {
    if (FT_Init_FreeType(&impl_->library)) throw std::runtime_error("FreeType cannot start");
    if (FT_New_Face(impl_->library, path.c_str(), faceIndex, &impl_->face)) {
        throw std::runtime_error("cannot open outline font " + path + " (face " + std::to_string(faceIndex) + ")");
    }
    if (!FT_IS_SCALABLE(impl_->face) || impl_->face->units_per_EM == 0) {
        throw std::runtime_error("outline font " + path + " is not scalable");
    }
    const double em = impl_->face->units_per_EM;
    impl_->scaleX = kCjkEmX / em;
    impl_->scaleY = kCjkEmY / em;
    if (!impl_->load(U'\u56FD')) throw std::runtime_error("outline font " + path + " has no CJK ideographs");
    FT_BBox box;
    FT_Outline_Get_CBox(&impl_->face->glyph->outline, &box);
    impl_->centreY = (box.yMin + box.yMax) / 2.0;
}

OutlineFont::~OutlineFont() = default;

std::optional<std::vector<Segment>> OutlineFont::glyph(char32_t code, double tolerance) const {
    if (!impl_->load(code)) return std::nullopt;
    FT_GlyphSlot slot = impl_->face->glyph;
    Flattener f{impl_->scaleX, impl_->scaleY, slot->metrics.horiAdvance / 2.0, impl_->centreY,
                std::max(tolerance, 0.01), {}};
    FT_Outline_Funcs funcs{};
    funcs.move_to = moveTo;
    funcs.line_to = lineTo;
    funcs.conic_to = conicTo;
    funcs.cubic_to = cubicTo;
    if (FT_Outline_Decompose(&slot->outline, &funcs, &f)) return std::nullopt;
    std::vector<Segment> segments;
    for (auto& contour : f.contours) {
        if (contour.size() < 2) continue;
        contour.push_back(contour.front());  // contours are closed
        appendPolyline(segments, contour);
    }
    return segments;
}

}  // namespace qel::fontgen
