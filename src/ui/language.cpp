#include "ui/language.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

#include <memory>
#include <vector>

#include "config/ini_config.h"
#include "config/language.h"

namespace qel::ui {
namespace {

std::vector<std::unique_ptr<QTranslator>>& installed() {
  static std::vector<std::unique_ptr<QTranslator>> list;
  return list;
}
bool g_chinese = false;
bool g_qtChinese = false;

}  // namespace

void applyLanguage(int flag) {
  config::setLanguageFlag(flag);
  auto& list = installed();
  for (auto& t : list) QCoreApplication::removeTranslator(t.get());
  list.clear();
  g_chinese = false;
  g_qtChinese = false;
  if (flag != 0) return;
  // Qt's own texts: the buttons of every message box and dialog (OK, Cancel, Yes, No).
  auto qt = std::make_unique<QTranslator>();
  if (qt->load(QStringLiteral("qtbase_zh_CN"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    QCoreApplication::installTranslator(qt.get());
    list.push_back(std::move(qt));
    g_qtChinese = true;
  }
  const QStringList files = QDir(QStringLiteral(":/i18n")).entryList({QStringLiteral("*_zh_CN.qm")}, QDir::Files, QDir::Name);
  for (const QString& f : files) {
    auto t = std::make_unique<QTranslator>();
    if (!t->load(QStringLiteral(":/i18n/") + f)) continue;
    QCoreApplication::installTranslator(t.get());
    list.push_back(std::move(t));
    g_chinese = true;
  }
}

void applyLanguage(const config::CIniConfig& cfg) { applyLanguage(config::loadLanguageFlag(cfg)); }

bool chineseLoaded() { return g_chinese; }
bool qtChineseLoaded() { return g_qtChinese; }

}  // namespace qel::ui
