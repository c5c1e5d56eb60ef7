#pragma once
// Small helpers the settings pages share: named fields (tests find them by name) and the
// conversion between the logic's UTF-8 texts and the fields.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QString>

#include <string>

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

inline void setText(QLineEdit* field, const std::string& text) { field->setText(QString::fromStdString(text)); }
inline std::string textOf(const QLineEdit* field) { return field->text().toStdString(); }

}  // namespace qel::ui
