#include "foundation/Language.h"

#include <gtest/gtest.h>

#include <string>

namespace korvex {
namespace {

// Restores the process-wide language after each test.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override { saved_ = CurrentLanguage(); }
  void TearDown() override { SetCurrentLanguage(saved_); }
  LanguageId saved_ = kLanguageUnset;
};

TEST_F(LanguageTest, StoredSettingIgnoresCase) {
  const std::pair<const char*, LanguageId> cases[] = {
      {"Zh-Cn", kLanguageChinese}, {"EN-us", kLanguageEnglish}, {"zh-tw", kLanguageEnglish},
      {"zhx", kLanguageEnglish},   {"", kLanguageUnset},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(LanguageFromSetting(value), expected);
  }
}

TEST_F(LanguageTest, LocaleNamesPickSimplifiedChineseOnly) {
  const std::pair<const char*, LanguageId> cases[] = {
      {"zh", kLanguageChinese},          {"zh.UTF-8", kLanguageChinese}, {"zh_cn.gbk@x", kLanguageChinese},
      {"zh_TW.UTF-8", kLanguageEnglish}, {"C", kLanguageEnglish},        {"", kLanguageEnglish},
      {"zhu_ZA", kLanguageEnglish},
  };
  for (const auto& [locale, expected] : cases) {
    SCOPED_TRACE(locale);
    EXPECT_EQ(LanguageFromLocaleName(locale), expected);
  }
}

TEST_F(LanguageTest, SetIfUnsetKeepsAnEarlierChoice) {
  SetCurrentLanguage(kLanguageUnset);
  EXPECT_TRUE(SetCurrentLanguageIfUnset(kLanguageChinese));
  EXPECT_FALSE(SetCurrentLanguageIfUnset(kLanguageEnglish));
  EXPECT_EQ(CurrentLanguage(), kLanguageChinese);
}

}  // namespace
}  // namespace korvex
