#pragma once
// The numbers the settings fields accept. Each numeric field has one rule (a whole number or
// not, its smallest and largest value): the field's validator keeps letters out while typing,
// and "Save" checks every enabled field against the same rule before anything is stored, so a
// refusal can say which field and why.
#include <optional>
#include <string>
#include <vector>

namespace qel::ui {

struct NumberRule {
  double min = 0;
  double max = 0;
  bool whole = false;  // a whole number (no decimal point)
};

enum class FieldProblem { None, Empty, NotANumber, NotWhole, TooSmall, TooLarge };

// The text as the operator typed it (blanks around it allowed).
FieldProblem checkNumber(const std::string& text, const NumberRule& rule);

// A refused field: its name (the field's object name, e.g. "fontScale"), what is wrong, and the
// rule it breaks.
struct FieldRefusal {
  std::string field;
  FieldProblem problem = FieldProblem::None;
  NumberRule rule;
};

// One field of a form to check.
struct FieldCheck {
  std::string field;
  std::string text;
  NumberRule rule;
  bool enabled = true;  // a disabled field keeps what it holds and is not checked
};

// The first enabled field whose text breaks its rule; nothing when every one is fine.
std::optional<FieldRefusal> firstRefusal(const std::vector<FieldCheck>& fields);

}  // namespace qel::ui
