//===- tests/foundation/Language_test.cpp ---------------------------------===//

#include "foundation/Language.h"
#include "foundation/StringTable.h"

#include <gtest/gtest.h>

#include <regex>
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
      {"zh", kLanguageChinese}, {"ZH-CN", kLanguageChinese}, {"Zh-Cn", kLanguageChinese},
      {"en", kLanguageEnglish}, {"EN-us", kLanguageEnglish}, {"fr-FR", kLanguageEnglish},
      {"zh-tw", kLanguageEnglish}, {"zhx", kLanguageEnglish}, {"", kLanguageUnset},
  };
  for (const auto& [value, expected] : cases) {
    SCOPED_TRACE(value);
    EXPECT_EQ(LanguageFromSetting(value), expected);
  }
}

TEST_F(LanguageTest, LocaleNamesPickSimplifiedChineseOnly) {
  const std::pair<const char*, LanguageId> cases[] = {
      {"zh_CN.UTF-8", kLanguageChinese}, {"zh_CN", kLanguageChinese}, {"zh", kLanguageChinese},
      {"zh.UTF-8", kLanguageChinese},    {"zh_cn.gbk@x", kLanguageChinese},
      {"zh_TW.UTF-8", kLanguageEnglish}, {"en_US.UTF-8", kLanguageEnglish},
      {"C", kLanguageEnglish},           {"POSIX", kLanguageEnglish},
      {"", kLanguageEnglish},            {"zhu_ZA", kLanguageEnglish},
  };
  for (const auto& [locale, expected] : cases) {
    SCOPED_TRACE(locale);
    EXPECT_EQ(LanguageFromLocaleName(locale), expected);
  }
  EXPECT_EQ(LanguageSettingText(kLanguageChinese), "zh");
  EXPECT_EQ(LanguageSettingText(kLanguageEnglish), "en");
}

TEST_F(LanguageTest, SetIfUnsetKeepsAnEarlierChoice) {
  SetCurrentLanguage(kLanguageUnset);
  EXPECT_TRUE(SetCurrentLanguageIfUnset(kLanguageChinese));
  EXPECT_FALSE(SetCurrentLanguageIfUnset(kLanguageEnglish));
  EXPECT_EQ(CurrentLanguage(), kLanguageChinese);
}

TEST_F(LanguageTest, UiStringFollowsTheCurrentLanguage) {
  SetCurrentLanguage(kLanguageUnset);
  EXPECT_EQ(UiString(563), "Administrator");
  SetCurrentLanguage(kLanguageChinese);
  EXPECT_EQ(UiString(563), "管理员");
  EXPECT_EQ(UiString(2376), "权限状态为空");
  EXPECT_EQ(UiString(2376, kLanguageEnglish), "Permission state NULL");
  EXPECT_TRUE(UiString(1).empty());
  EXPECT_TRUE(UiString(99999, kLanguageChinese).empty());
}

TEST_F(LanguageTest, PrivilegeLabels) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0xFFFF, "Administrator"}, {0xFBFB, "Administrator"}, {2272, "Upload/Download"},
      {0x8E0, "Upload/Download"}, {0x8C0, "Upload"},        {0x8A0, "Download"},
      {0x8FF, "Upload/Download"}, {7, "Permission state NULL"}, {0x800, "Permission state NULL"},
      {0, "Permission state NULL"},
  };
  for (const auto& [privilege, label] : cases) {
    SCOPED_TRACE(privilege);
    EXPECT_EQ(UiString(PrivilegeLabelId(privilege), kLanguageEnglish), label);
  }
}

// A translation that loses or adds a placeholder breaks the formatting of
// the message at run time, so both texts must carry the same ones.
TEST_F(LanguageTest, TranslationsKeepTheirPlaceholders) {
  const std::regex placeholder(R"(%(\d+%|[-0-9]*[sdX]))");
  auto placeholders = [&](std::string_view text) {
    std::string found;
    const std::string s(text);
    for (auto it = std::sregex_iterator(s.begin(), s.end(), placeholder); it != std::sregex_iterator(); ++it)
      found += it->str() + " ";
    return found;
  };
  for (const UiStringEntry& e : UiStringEntries()) {
    SCOPED_TRACE(e.id);
    EXPECT_FALSE(e.english.empty());
    EXPECT_FALSE(e.chinese.empty());
    EXPECT_EQ(placeholders(e.english), placeholders(e.chinese));
  }
}

}  // namespace
}  // namespace korvex
