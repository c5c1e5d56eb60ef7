#pragma once
// Small helpers the settings pages share: named fields (tests find them by name) and the
// conversion between the logic's UTF-8 texts and the fields.
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QString>

#include <optional>
#include <string>
#include <vector>

#include "ui/logic/field_rules.h"

namespace qel::ui {

inline QLineEdit* namedField(QWidget* parent, const char* name) {
  auto* f = new QLineEdit(parent);
  f->setObjectName(QString::fromLatin1(name));
  f->setMinimumWidth(f->fontMetrics().horizontalAdvance(QStringLiteral("0000.000000")) + 12);
  return f;
}

inline QComboBox* namedCombo(QWidget* parent, const char* name) {
  auto* c = new QComboBox(parent);
  c->setObjectName(QString::fromLatin1(name));
  return c;
}

inline QCheckBox* namedCheck(QWidget* parent, const char* name) {
  auto* c = new QCheckBox(parent);
  c->setObjectName(QString::fromLatin1(name));
  return c;
}

// Adds a row "label, field, unit" to a grid installed on its widget; the label is worded later.
inline QLineEdit* addFieldRow(QGridLayout* grid, int row, QLabel*& label, const char* name, const QString& unit = {}) {
  QWidget* parent = grid->parentWidget();
  label = new QLabel(parent);
  QLineEdit* field = namedField(parent, name);
  label->setBuddy(field);
  grid->addWidget(label, row, 0);
  grid->addWidget(field, row, 1);
  if (!unit.isEmpty()) grid->addWidget(new QLabel(unit, parent), row, 2);
  return field;
}

// Keeps letters out of a numeric field while it is typed into (the rule's range is checked by
// "Save", which names the field).
void applyRule(QLineEdit* field, const NumberRule& rule);

// The refusal of a field in the interface language: "Font size scale: must be a number from
// 0.01 to 100." label is the field's label as shown.
QString refusalText(const QString& label, const FieldRefusal& refusal);

// A label's text as a field's name in a message: without the trailing colon and blanks.
QString fieldName(const QString& label);

inline void setText(QLineEdit* field, const std::string& text) { field->setText(QString::fromStdString(text)); }
inline std::string textOf(const QLineEdit* field) { return field->text().toStdString(); }

// A field and the text of the page's form it shows.
template <class Form>
struct TextBinding {
  QLineEdit* field;
  std::string Form::*text;
};

template <class Form>
void showTexts(const std::vector<TextBinding<Form>>& bindings, const Form& form) {
  for (const auto& b : bindings) setText(b.field, form.*b.text);
}

template <class Form>
void readTexts(const std::vector<TextBinding<Form>>& bindings, Form& form) {
  for (const auto& b : bindings) form.*b.text = textOf(b.field);
}

}  // namespace qel::ui
