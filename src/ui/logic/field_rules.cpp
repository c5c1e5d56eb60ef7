#include "ui/logic/field_rules.h"

#include <cmath>
#include <locale>
#include <sstream>

namespace qel::ui {

FieldProblem checkNumber(const std::string& raw, const NumberRule& rule) {
  const auto first = raw.find_first_not_of(" \t");
  if (first == std::string::npos) return FieldProblem::Empty;
  const std::string text = raw.substr(first, raw.find_last_not_of(" \t") - first + 1);
  // Plain decimal notation only: a sign, digits, at most one point (no exponent, no "inf").
  bool digit = false, point = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if ((c == '-' || c == '+') && i == 0) continue;
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') return FieldProblem::NotANumber;
    digit = true;
  }
  if (!digit) return FieldProblem::NotANumber;
  if (rule.whole && point) return FieldProblem::NotWhole;
  std::istringstream in(text);
  in.imbue(std::locale::classic());
  double v = 0;
  in >> v;
  if (!std::isfinite(v)) return FieldProblem::TooLarge;
  if (v < rule.min) return FieldProblem::TooSmall;
  if (v > rule.max) return FieldProblem::TooLarge;
  return FieldProblem::None;
}

std::optional<FieldRefusal> firstRefusal(const std::vector<FieldCheck>& fields) {
  for (const FieldCheck& f : fields) {
    if (!f.enabled) continue;
    const FieldProblem p = checkNumber(f.text, f.rule);
    if (p != FieldProblem::None) return FieldRefusal{f.field, p, f.rule};
  }
  return std::nullopt;
}

}  // namespace qel::ui
