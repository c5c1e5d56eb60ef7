#pragma once
// The stroke font of the label stage: glyphs as straight segments in a 500-unit cell, keyed
// "JWASCII<code>" for printable ASCII and "JW<row><column>" for GB2312 characters.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qel::plot {

struct GlyphSegment {
  std::int32_t x1, y1, x2, y2;  // font units, y downward from the top line at 700
};

class StrokeFont {
 public:
  // Reads the font file; an unreadable file gives an empty font (no glyph is found).
  static std::shared_ptr<const StrokeFont> load(const std::string& path);
  // The font file the label stage uses: QEL.dat in the home folder, else the one built or
  // installed with the program. Loaded once per path and kept.
  static std::shared_ptr<const StrokeFont> forHome(const std::string& homeDir);
  static std::string locate(const std::string& homeDir);
  // Where locate() looks, in order: the home folder, then the installed data folders.
  static std::vector<std::string> searchPath(const std::string& homeDir);

  // The glyph of a key, or nullptr. The first entry of a key in the file counts.
  const std::vector<GlyphSegment>* glyph(std::string_view key) const;
  bool empty() const { return glyphs_.empty(); }
  std::size_t size() const { return glyphs_.size(); }

  // Keys of characters: "JWASCII65" for 'A', "JW161" for the bytes B0 A1.
  static std::string asciiKey(unsigned char c);
  static std::string gbKey(unsigned char first, unsigned char second);

  // Parses font file bytes (exposed for tests).
  static std::shared_ptr<const StrokeFont> parse(std::string_view bytes);

 private:
  std::unordered_map<std::string, std::vector<GlyphSegment>> glyphs_;
};

}  // namespace qel::plot
