#include "ui/settings_fields.h"

#include <QCoreApplication>
#include <QDoubleValidator>
#include <QIntValidator>
#include <QLocale>

#include <algorithm>
#include <cmath>
#include <limits>

namespace qel::ui {

namespace {

class FieldWords {
  Q_DECLARE_TR_FUNCTIONS(FieldWords)

 public:
  static QString whole(const QString& field, const QString& min, const QString& max) {
    return tr("%1 must be a whole number from %2 to %3.").arg(field, min, max);
  }
  static QString real(const QString& field, const QString& min, const QString& max) {
    return tr("%1 must be a number from %2 to %3.").arg(field, min, max);
  }
  static QString empty(const QString& field) { return tr("%1 is empty: it must hold a number.").arg(field); }
};

QString number(double v) { return QLocale::c().toString(v, 'f', QLocale::FloatingPointShortest); }

}  // namespace

void applyRule(QLineEdit* field, const NumberRule& rule) {
  if (rule.whole) {
    const auto clampInt = [](double v) {
      return static_cast<int>(std::clamp(v, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
    };
    auto* v = new QIntValidator(clampInt(std::min(rule.min, 0.0)), clampInt(rule.max), field);
    v->setLocale(QLocale::c());
    field->setValidator(v);
    return;
  }
  // The range's lower end is loose while typing (a field is emptied and typed anew); decimals as
  // the store writes them.
  auto* v = new QDoubleValidator(std::min(rule.min, 0.0), rule.max, 6, field);
  v->setNotation(QDoubleValidator::StandardNotation);
  QLocale c = QLocale::c();
  c.setNumberOptions(QLocale::RejectGroupSeparator);
  v->setLocale(c);
  field->setValidator(v);
}

QString fieldName(const QString& label) {
  QString t = label.trimmed();
  while (t.endsWith(QLatin1Char(':')) || t.endsWith(QChar(0xFF1A))) t.chop(1);
  return t.trimmed();
}

QString refusalText(const QString& label, const FieldRefusal& r) {
  const QString name = fieldName(label);
  if (r.problem == FieldProblem::Empty) return FieldWords::empty(name);
  return r.rule.whole ? FieldWords::whole(name, number(r.rule.min), number(r.rule.max))
                      : FieldWords::real(name, number(r.rule.min), number(r.rule.max));
}

}  // namespace qel::ui
