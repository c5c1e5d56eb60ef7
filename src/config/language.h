#pragma once
// The interface language: one process-wide flag, 1 English and 0 Chinese, loaded from
// Language_Type at start and again by every window as it opens.
namespace qel::config {

class CIniConfig;

int languageFlag();
void setLanguageFlag(int flag);
// Reads Language_Type from the store into the flag and returns it.
int loadLanguageFlag(const CIniConfig& cfg);

// Picks the text for the current language.
inline const char* tr2(const char* english, const char* chinese) { return languageFlag() == 0 ? chinese : english; }

}  // namespace qel::config
