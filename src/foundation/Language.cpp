//===- foundation/Language.cpp - The user-interface language --------------===//

#include "foundation/Language.h"

#include <atomic>

#include "platform/AsciiText.h"

namespace korvex {

namespace {

std::atomic<std::int32_t> gLanguage{kLanguageUnset};

}  // namespace

LanguageId CurrentLanguage() noexcept {
  return static_cast<LanguageId>(gLanguage.load(std::memory_order_acquire));
}

void SetCurrentLanguage(LanguageId language) noexcept {
  gLanguage.store(language, std::memory_order_release);
}

bool SetCurrentLanguageIfUnset(LanguageId language) noexcept {
  std::int32_t expected = kLanguageUnset;
  return gLanguage.compare_exchange_strong(expected, language, std::memory_order_acq_rel);
}

LanguageId LanguageFromSetting(std::string_view value) noexcept {
  if (value.empty()) return kLanguageUnset;
  if (EqualsIgnoringAsciiCase(value, "zh") || EqualsIgnoringAsciiCase(value, "zh-cn")) return kLanguageChinese;
  return kLanguageEnglish;
}

LanguageId LanguageFromLocaleName(std::string_view locale) noexcept {
  // "zh_CN.UTF-8@pinyin": language, then territory, codeset and modifier.
  // Only Simplified Chinese has a table, so zh_TW and zh_HK stay English
  // just as their Windows language ids never matched 2052.
  const std::size_t languageEnd = locale.find_first_of("_.@");
  if (!EqualsIgnoringAsciiCase(locale.substr(0, languageEnd), "zh")) return kLanguageEnglish;
  if (languageEnd == std::string_view::npos || locale[languageEnd] != '_') return kLanguageChinese;
  const std::string_view rest = locale.substr(languageEnd + 1);
  return EqualsIgnoringAsciiCase(rest.substr(0, rest.find_first_of(".@")), "CN") ? kLanguageChinese
                                                                             : kLanguageEnglish;
}

std::string_view LanguageSettingText(LanguageId language) noexcept {
  return language == kLanguageChinese ? "zh" : "en";
}

}  // namespace korvex
