//===- foundation/Language.h - The user-interface language ------*- C++ -*-===//
///
/// One process-wide value picks the English or Simplified Chinese texts and
/// URLs. It is 0 until start-up chooses; readers treat 0 as English. Any
/// thread may read it; start-up writes it before other threads exist.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string_view>

namespace korvex {

enum LanguageId : std::int32_t {
  kLanguageUnset = 0,
  kLanguageEnglish = 1,
  kLanguageChinese = 2,
};

[[nodiscard]] LanguageId CurrentLanguage() noexcept;
void SetCurrentLanguage(LanguageId language) noexcept;

/// Sets the language only while it is still kLanguageUnset; returns whether
/// it did. Start-up uses this so that an earlier explicit choice wins.
bool SetCurrentLanguageIfUnset(LanguageId language) noexcept;

/// Maps a stored "Language" value: "zh" or "zh-cn" in any letter case is
/// Chinese, every other non-empty text English, an empty text kLanguageUnset.
[[nodiscard]] LanguageId LanguageFromSetting(std::string_view value) noexcept;

/// Maps a POSIX locale name: "zh" and "zh_CN" (with any codeset or modifier,
/// any letter case) are Chinese; anything else, empty and "C" included, is
/// English.
[[nodiscard]] LanguageId LanguageFromLocaleName(std::string_view locale) noexcept;

/// The text stored back as "Language": "zh" for Chinese, "en" otherwise.
[[nodiscard]] std::string_view LanguageSettingText(LanguageId language) noexcept;

}  // namespace korvex
