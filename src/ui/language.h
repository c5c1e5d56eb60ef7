#pragma once
// The interface language of the windows: English (the texts in the code) or Chinese (the
// compiled translations embedded in the program). Switching installs or removes the
// translators; every open window then gets a LanguageChange event and words itself anew.
namespace qel::config {
class CIniConfig;
}

namespace qel::ui {

// flag: 1 English, 0 Chinese (the values of Language_Type). Sets the process-wide flag too.
void applyLanguage(int flag);
// Reads Language_Type from the store and applies it.
void applyLanguage(const config::CIniConfig& cfg);
// True when the Chinese translations were found and loaded by the last switch to Chinese.
bool chineseLoaded();
// True when Qt's own Chinese texts (qtbase_zh_CN, package qt6-translations-l10n) were loaded.
bool qtChineseLoaded();

}  // namespace qel::ui
