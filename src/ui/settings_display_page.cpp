#include "ui/settings_display_page.h"

#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>

#include "config/language.h"
#include "ui/settings_fields.h"

namespace qel::ui {

DisplaySetting::DisplaySetting(QWidget* parent) : QWidget(parent) {
  label_ = new QLabel(this);
  language_ = namedCombo(this, "language");
  // Each language is named in itself, whatever the interface language.
  language_->addItem(QString::fromUtf8("简体中文"));
  language_->addItem(QStringLiteral("English"));
  // Any flag but 0 shows the English interface, so it shows as English here too.
  language_->setCurrentIndex(config::languageFlag() == 0 ? 0 : 1);
  auto* grid = new QGridLayout(this);
  grid->addWidget(label_, 0, 0);
  grid->addWidget(language_, 0, 1);
  grid->setColumnStretch(2, 1);
  grid->setRowStretch(1, 1);
  retranslate();
}

int DisplaySetting::language() const { return language_->currentIndex() == 0 ? 0 : 1; }

void DisplaySetting::retranslate() { label_->setText(tr("Language:")); }

void DisplaySetting::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  QWidget::changeEvent(event);
}

}  // namespace qel::ui
