#include "render.h"

#include <png.h>
#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "font_file.h"

namespace qel::fontgen {

namespace {

struct Canvas {
    int width, height;
    std::vector<unsigned char> pixels;
    Canvas(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h, 255) {}

    void plot(int x, int y, unsigned char v) {
        if (x < 0 || y < 0 || x >= width || y >= height) return;
        unsigned char& p = pixels[static_cast<std::size_t>(y) * width + x];
        p = std::min(p, v);
    }
    void line(double x1, double y1, double x2, double y2, unsigned char v) {
        const int n = std::max(1, static_cast<int>(std::ceil(std::max(std::abs(x2 - x1), std::abs(y2 - y1)))));
        for (int i = 0; i <= n; ++i) {
            const double t = static_cast<double>(i) / n;
            plot(static_cast<int>(std::lround(x1 + (x2 - x1) * t)), static_cast<int>(std::lround(y1 + (y2 - y1) * t)), v);
        }
    }
};

void writePng(const std::string& path, const Canvas& c) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        throw std::runtime_error("cannot write " + path);
    }
    png_init_io(png, f);
    png_set_IHDR(png, info, c.width, c.height, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < c.height; ++y) {
        png_write_row(png, const_cast<png_bytep>(&c.pixels[static_cast<std::size_t>(y) * c.width]));
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + path);
}

}  // namespace

void renderGlyphsPng(const std::string& pngPath, std::string_view fontBytes, const std::vector<std::string>& keys,
                     int cellPixels) {
    // Heights from -100 to 800 font units are shown, so strokes below the cell show up too.
    const double sx = static_cast<double>(cellPixels) / kCellWidth;
    const double sy = sx * 1.5 / 2.5;
    const int cellHeight = static_cast<int>(std::ceil(900 * sy));
    const int columns = std::max<int>(1, std::min<int>(8, static_cast<int>(keys.size())));
    const int rows = std::max<int>(1, static_cast<int>((keys.size() + columns - 1) / columns));
    Canvas canvas(columns * cellPixels, rows * cellHeight);
    for (std::size_t i = 0; i < keys.size(); ++i) {
        const double ox = static_cast<double>(i % columns) * cellPixels;
        const double oy = static_cast<double>(i / columns) * cellHeight;
        // Picture y of a font-unit y: the height 700 - y measured up from the row's -100 line.
        auto px = [&](double x) { return ox + x * sx; };
        auto py = [&](double y) { return oy + cellHeight - 1 - ((kTopLine - y) + 100) * sy; };
        canvas.line(px(0), py(kTopLine), px(kCellWidth), py(kTopLine), 200);  // height 0
        canvas.line(px(0), py(0), px(kCellWidth), py(0), 200);                // the top line
        canvas.line(px(0), py(-100), px(0), py(800), 225);
        if (keys[i].empty()) continue;
        const auto entry = findGlyph(fontBytes, keys[i]);
        if (!entry) {
            canvas.line(px(0), py(0), px(kCellWidth), py(kTopLine), 128);
            canvas.line(px(0), py(kTopLine), px(kCellWidth), py(0), 128);
            continue;
        }
        for (const Segment& s : entry->segments) canvas.line(px(s.x1), py(s.y1), px(s.x2), py(s.y2), 0);
    }
    writePng(pngPath, canvas);
}

std::vector<std::string> keysOfText(const std::string& utf8) {
    iconv_t cd = iconv_open("GB2312", "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv cannot convert to GB2312");
    std::string gb;
    char buffer[256];
    std::string in = utf8;
    char* inPtr = in.data();
    std::size_t inLeft = in.size();
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t r = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
        gb.append(buffer, sizeof buffer - outLeft);
        if (r == static_cast<std::size_t>(-1) && errno != E2BIG) {
            // A character GB2312 lacks: skip one byte of input and carry on.
            ++inPtr;
            --inLeft;
        }
    }
    iconv_close(cd);
    std::vector<std::string> keys;
    for (std::size_t i = 0; i < gb.size(); ++i) {
        const auto b = static_cast<unsigned char>(gb[i]);
        if (b == ' ') {
            keys.emplace_back();
        } else if (b >= 33 && b <= 126) {
            keys.push_back(asciiKey(b));
        } else if (b >= 0xA1 && i + 1 < gb.size()) {
            const auto b2 = static_cast<unsigned char>(gb[i + 1]);
            if (b == 0xA1 && b2 == 0xA1) keys.emplace_back();
            else if (b >= 0xB0 && b <= 0xF7 && b2 >= 0xA1 && b2 <= 0xFE) keys.push_back(gbKey(b, b2));
            ++i;
        }
    }
    return keys;
}

}  // namespace qel::fontgen
