#pragma once
// Which paths of a drawing are cut lines, with which pen, and which are registration marks,
// by the colour they are painted in: a spot colour's name, or a process colour's RGB value.
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "plot/drawing_options.h"

namespace qel::plot {

// A process colour, each part 0 to 1.
struct Rgb {
  double r = 0.0, g = 0.0, b = 0.0;
};

// A colour-name pattern against a spot colour's name: letters compared without regard to case,
// spaces, hyphens and underscores left out of both, "*" standing for any run of characters
// ("Die*" matches "Die", "die-line" and "DIE CUT"; "Thru-cut" matches "ThruCut").
bool colourNameMatches(std::string_view pattern, std::string_view name);

// "#RRGGBB" or "#RGB" (the "#" may be left out); nullopt for anything else.
std::optional<Rgb> parseRgb(std::string_view text);

// Two process colours the same to within 5 of 255 in each part.
bool sameRgb(const Rgb& a, const Rgb& b);

class CutColours {
 public:
  explicit CutColours(const DrawingOptions& options);

  // The pen of a spot colour that is a cut colour; nullopt when it is none.
  std::optional<int> spotPen(std::string_view name) const;
  // A spot colour of registration marks.
  bool isMarkColour(std::string_view name) const;
  // The pen of a process colour that is one of the cut RGB colours; nullopt when it is none.
  std::optional<int> rgbPen(const Rgb& colour) const;

  // The cut colours as the operator wrote them, for a message: "CutContour, Thru-cut" and the
  // RGB colours after them.
  const std::vector<std::string>& spotNames() const { return cut_; }
  const std::vector<std::string>& rgbNames() const { return rgbText_; }

 private:
  struct PenRule {
    std::string pattern;     // a spot colour pattern, or empty
    std::optional<Rgb> rgb;  // or a process colour
    int pen = 1;
  };
  // What a spot colour's name is, worked out once per name: a drawing paints many paths in few
  // colours.
  struct SpotRole {
    std::optional<int> pen;
    bool mark = false;
  };
  const SpotRole& role(std::string_view name) const;

  std::vector<std::string> cut_, marks_, rgbText_;
  mutable std::unordered_map<std::string, SpotRole> roles_;
  std::vector<Rgb> rgb_;
  std::vector<PenRule> pens_;
};

}  // namespace qel::plot
