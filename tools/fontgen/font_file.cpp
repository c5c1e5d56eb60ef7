#include "font_file.h"

#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

namespace qel::fontgen {

namespace {

void putBigEndian(std::string& out, uint32_t v) {
    out.push_back(static_cast<char>((v >> 24) & 0xFF));
    out.push_back(static_cast<char>((v >> 16) & 0xFF));
    out.push_back(static_cast<char>((v >> 8) & 0xFF));
    out.push_back(static_cast<char>(v & 0xFF));
}

uint32_t getBigEndian(std::string_view bytes, std::size_t at) {
    auto b = [&](std::size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
}

std::vector<Segment> readRecords(std::string_view bytes, std::size_t at, uint32_t length) {
    std::vector<Segment> segments;
    segments.reserve(length / 16);
    for (std::size_t p = at; p + 16 <= at + length; p += 16) {
        Segment s;
        s.x1 = static_cast<int32_t>(getBigEndian(bytes, p));
        s.y1 = static_cast<int32_t>(getBigEndian(bytes, p + 4));
        s.x2 = static_cast<int32_t>(getBigEndian(bytes, p + 8));
        s.y2 = static_cast<int32_t>(getBigEndian(bytes, p + 12));
        segments.push_back(s);
    }
    return segments;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string asciiKey(int code) { return "JWASCII" + std::to_string(code); }

std::string gbKey(unsigned char first, unsigned char second) {
    return "JW" + std::to_string(first - 0xA0) + std::to_string(second - 0xA0);
}

std::string encodeFontFile(const std::vector<Glyph>& glyphs) {
    std::size_t total = 0;
    for (const Glyph& g : glyphs) total += g.key.size() + 4 + 16 * g.segments.size();
    std::string out;
    out.reserve(total);
    for (const Glyph& g : glyphs) {
        out += g.key;
        putBigEndian(out, static_cast<uint32_t>(16 * g.segments.size()));
        for (const Segment& s : g.segments) {
            putBigEndian(out, static_cast<uint32_t>(s.x1));
            putBigEndian(out, static_cast<uint32_t>(s.y1));
            putBigEndian(out, static_cast<uint32_t>(s.x2));
            putBigEndian(out, static_cast<uint32_t>(s.y2));
        }
    }
    return out;
}

std::vector<std::string> verifyKeyOrder(std::string_view bytes, const std::vector<Glyph>& glyphs) {
    std::vector<std::string> faults;
    // Every key begins with "JW", so its first occurrence begins at one of the places where
    // "JW" occurs. Record, for each key length in use, the first position of every substring
    // of that length starting there; a key is sound when that first position is its own.
    std::unordered_set<std::size_t> lengths;
    for (const Glyph& g : glyphs) {
        if (g.key.size() < 2 || g.key.compare(0, 2, "JW") != 0) {
            faults.push_back("key '" + g.key + "' does not begin with JW");
            continue;
        }
        lengths.insert(g.key.size());
    }
    std::unordered_map<std::string_view, std::size_t> first;
    for (std::size_t p = bytes.find("JW"); p != std::string_view::npos; p = bytes.find("JW", p + 1)) {
        for (std::size_t len : lengths) {
            if (p + len <= bytes.size()) first.emplace(bytes.substr(p, len), p);
        }
    }
    std::size_t offset = 0;
    std::unordered_set<std::string_view> seen;
    for (const Glyph& g : glyphs) {
        if (!seen.insert(g.key).second) faults.push_back("key " + g.key + " is written twice");
        auto it = first.find(g.key);
        if (it == first.end() || it->second != offset) {
            faults.push_back("key " + g.key + " at byte " + std::to_string(offset) +
                             " is found first at byte " +
                             (it == first.end() ? std::string("(nowhere)") : std::to_string(it->second)));
        }
        offset += g.key.size() + 4 + 16 * g.segments.size();
    }
    if (offset != bytes.size()) faults.push_back("file size does not match its glyphs");
    return faults;
}

std::optional<EntryView> findGlyph(std::string_view bytes, std::string_view key) {
    if (key.empty()) return std::nullopt;
    const std::size_t at = bytes.find(key);
    if (at == std::string_view::npos) return std::nullopt;
    const std::size_t lengthAt = at + key.size();
    if (bytes.size() - lengthAt < 4) return std::nullopt;
    const uint32_t length = getBigEndian(bytes, lengthAt);
    if (length % 16 != 0 || length > bytes.size() - lengthAt - 4) return std::nullopt;
    return EntryView{at, readRecords(bytes, lengthAt + 4, length)};
}

std::vector<ParsedEntry> parseFontFile(std::string_view bytes) {
    std::vector<ParsedEntry> entries;
    std::size_t p = 0;
    while (p < bytes.size()) {
        const std::size_t start = p;
        auto fail = [&](const std::string& what) {
            throw std::runtime_error("font file: " + what + " at byte " + std::to_string(start));
        };
        if (bytes.substr(p, 2) != "JW") fail("entry does not begin with JW");
        p += 2;
        if (bytes.substr(p, 5) == "ASCII") p += 5;
        const std::size_t digits = p;
        while (p < bytes.size() && isDigit(bytes[p])) ++p;
        if (p == digits) fail("key without a number");
        if (bytes.size() - p < 4) fail("entry cut short before its length");
        const std::size_t keyEnd = p;
        const uint32_t length = getBigEndian(bytes, p);
        p += 4;
        if (length % 16 != 0) fail("length not a multiple of 16");
        if (length > bytes.size() - p) fail("entry cut short in its segments");
        entries.push_back({std::string(bytes.substr(start, keyEnd - start)), start,
                           readRecords(bytes, p, length)});
        p += length;
    }
    return entries;
}

}  // namespace qel::fontgen
