#include "ui/settings_dlg.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "config/ini_config.h"
#include "config/language.h"
#include "ui/language.h"
#include "ui/message_service.h"
#include "ui/place_keeper.h"
#include "ui/settings_camera_page.h"
#include "ui/settings_display_page.h"
#include "ui/settings_process_page.h"

namespace qel::ui {

namespace {
// Switches the interface only when the language really changes: every open window words itself
// anew on a switch.
void useLanguage(int flag) {
  if (flag != config::languageFlag()) applyLanguage(flag);
}
}  // namespace

CSettingDlg::CSettingDlg(QString homeDir, QWidget* parent) : QDialog(parent), home_(std::move(homeDir)) {
  const config::CIniConfig cfg(home_.toStdString());
  useLanguage(cfg.read(config::keys::Language_Type));

  tabs_ = new QTabWidget(this);
  tabs_->setObjectName(QStringLiteral("pages"));
  process_ = new AdvancedSetting(cfg, tabs_);
  camera_ = new CameraSetting(home_, cfg, tabs_);
  display_ = new DisplaySetting(tabs_);
  new PlaceKeeper(this, home_, QStringLiteral("Settings"));
  tabs_->addTab(process_, QString());
  tabs_->addTab(camera_, QString());
  tabs_->addTab(display_, QString());

  save_ = new QPushButton(this);
  save_->setObjectName(QStringLiteral("save"));
  save_->setAutoDefault(false);
  cancel_ = new QPushButton(this);
  cancel_->setObjectName(QStringLiteral("cancel"));
  cancel_->setAutoDefault(false);
  connect(save_, &QPushButton::clicked, this, &CSettingDlg::onSave);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(save_);
  buttons->addWidget(cancel_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(tabs_, 1);
  layout->addLayout(buttons);
  retranslate();
}

void CSettingDlg::showPage(Page page) { tabs_->setCurrentIndex(static_cast<int>(page)); }

void CSettingDlg::retranslate() {
  setWindowTitle(tr("Advanced Setting"));
  tabs_->setTabText(static_cast<int>(Page::Process), tr("Process"));
  tabs_->setTabText(static_cast<int>(Page::CameraMachine), tr("Camera&&Machine"));
  tabs_->setTabText(static_cast<int>(Page::Display), tr("Display"));
  save_->setText(tr("Save"));
  cancel_->setText(tr("Cancel"));
}

void CSettingDlg::onSave() {
  // Every page is checked before anything is stored: a refused Save stores nothing at all, not
  // even the language. A refusing page comes to the front and says which field and why.
  const QString processRefusal = process_->refusal();
  if (!processRefusal.isEmpty()) {
    showPage(Page::Process);
    warning(this, tr("Error"), processRefusal);
    return;
  }
  if (!camera_->check()) {
    showPage(Page::CameraMachine);
    return;
  }
  config::CIniConfig cfg(home_.toStdString());
  const int language = display_->language();
  useLanguage(language);
  cfg.write(config::keys::Language_Type, language);
  process_->save(cfg);
  camera_->save(cfg);
  accept();
}

void CSettingDlg::changeEvent(QEvent* event) {
  if (event->type() == QEvent::LanguageChange) retranslate();
  QDialog::changeEvent(event);
}

}  // namespace qel::ui
