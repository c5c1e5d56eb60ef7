// qel-fontgen: writes the label stroke font file, or draws some of its glyphs into a PNG.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "font_file.h"
#include "generator.h"
#include "render.h"

namespace {

const char* const kUsage =
    "usage: qel-fontgen --hershey FILE.jhf --cjk FONT.ttc [--face N] [--tolerance T] --output QEL.dat [--quiet]\n"
    "       qel-fontgen --render OUT.png --font QEL.dat [--cell PIXELS] [--text TEXT]... [KEY]...\n"
    "\n"
    "The first form writes the stroke font: ASCII 33..126 from the Hershey set, the GB2312\n"
    "characters of rows 0xB0..0xF7 from the outline font flattened to within T font units\n"
    "(default 2). The second draws glyphs given by key (JWASCII65, JW161) or by UTF-8 text.\n";

// A whole-string number, or an error naming the option.
double number(const std::string& option, const std::string& text) {
    std::size_t used = 0;
    double v = 0;
    try {
        v = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size()) throw std::runtime_error(option + " needs a number, not '" + text + "'");
    return v;
}

int fail(const std::string& message) {
    std::cerr << "qel-fontgen: " << message << "\n";
    return 1;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Writes beside the target and renames, so a failed run never leaves half a font file.
void writeFileAtomically(const std::string& path, const std::string& bytes) {
    const std::filesystem::path target(path);
    if (target.has_parent_path()) std::filesystem::create_directories(target.parent_path());
    const std::string temp = path + ".tmp";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out) throw std::runtime_error("cannot write " + temp);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.close();
        if (!out) {
            std::remove(temp.c_str());
            throw std::runtime_error("cannot write " + temp);
        }
    }
    std::filesystem::rename(temp, target);
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qel::fontgen;
    std::vector<std::string> args(argv + 1, argv + argc);
    GeneratorOptions options;
    std::string output, render, font;
    std::vector<std::string> keys;
    bool quiet = false;
    int cellPixels = 160;
    try {
        for (std::size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            auto value = [&]() -> const std::string& {
                if (i + 1 >= args.size()) throw std::runtime_error(a + " needs a value");
                return args[++i];
            };
            if (a == "--help" || a == "-h") {
                std::cout << kUsage;
                return 0;
            } else if (a == "--hershey") {
                options.hersheyPath = value();
            } else if (a == "--cjk") {
                options.cjkPath = value();
            } else if (a == "--face") {
                const double face = number(a, value());
                if (!(face >= 0 && face <= 1000) || face != std::floor(face)) {
                    throw std::runtime_error("--face must be a face index (0, 1, ...)");
                }
                options.cjkFace = static_cast<int>(face);
            } else if (a == "--tolerance") {
                options.tolerance = number(a, value());
                if (!(options.tolerance >= 0.05 && options.tolerance <= 100)) {
                    throw std::runtime_error("--tolerance must lie between 0.05 and 100");
                }
            } else if (a == "--output") {
                output = value();
            } else if (a == "--render") {
                render = value();
            } else if (a == "--font") {
                font = value();
            } else if (a == "--text") {
                for (std::string& k : keysOfText(value())) keys.push_back(std::move(k));
            } else if (a == "--cell") {
                const double cell = number(a, value());
                if (!(cell >= 8 && cell <= 2000)) throw std::runtime_error("--cell must lie between 8 and 2000");
                cellPixels = static_cast<int>(cell);
            } else if (a == "--quiet") {
                quiet = true;
            } else if (!a.empty() && a[0] == '-') {
                throw std::runtime_error("unknown option " + a + "\n" + kUsage);
            } else {
                keys.push_back(a);
            }
        }

        if (!render.empty()) {
            if (font.empty()) throw std::runtime_error("--render needs --font");
            if (keys.empty()) throw std::runtime_error("--render needs keys or --text");
            renderGlyphsPng(render, readFile(font), keys, cellPixels);
            return 0;
        }
        if (options.hersheyPath.empty() || options.cjkPath.empty() || output.empty()) {
            throw std::runtime_error(std::string("--hershey, --cjk and --output are needed\n") + kUsage);
        }
        if (!keys.empty()) throw std::runtime_error("unexpected argument " + keys.front());

        const auto start = std::chrono::steady_clock::now();
        GeneratorStats stats;
        const std::vector<Glyph> glyphs = buildGlyphs(options, &stats);
        const std::string bytes = encodeFontFile(glyphs);
        const std::vector<std::string> faults = verifyKeyOrder(bytes, glyphs);
        if (!faults.empty()) {
            for (const std::string& f : faults) std::cerr << "qel-fontgen: " << f << "\n";
            return fail("the glyph order would let readers find the wrong entry; nothing written");
        }
        writeFileAtomically(output, bytes);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (!quiet) {
            std::printf("qel-fontgen: %s: %zu bytes, %d ASCII + %d GB2312 glyphs (%d missing from the outline font), "
                        "%lld segments (at most %d in a glyph), %.2f s\n",
                        output.c_str(), bytes.size(), stats.asciiGlyphs, stats.cjkGlyphs, stats.cjkMissing,
                        stats.segments, stats.maxGlyphSegments, seconds);
        }
        return 0;
    } catch (const std::exception& e) {
        return fail(e.what());
    }
}
