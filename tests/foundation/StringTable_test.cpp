#include "foundation/StringTable.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace korvex {
namespace {

TEST(StringTable, UiStringFollowsTheCurrentLanguage) {
  SetCurrentLanguage(kLanguageUnset);
  EXPECT_EQ(UiString(563), "Administrator");
  SetCurrentLanguage(kLanguageChinese);
  EXPECT_EQ(UiString(563), "管理员");
  EXPECT_EQ(UiString(2376), "权限状态为空");
  EXPECT_EQ(UiString(2376, kLanguageEnglish), "Permission state NULL");
  EXPECT_TRUE(UiString(1).empty());
  EXPECT_TRUE(UiString(99999, kLanguageChinese).empty());
  SetCurrentLanguage(kLanguageUnset);
}

TEST(StringTable, PrivilegeLabels) {
  const std::pair<std::uint32_t, const char*> cases[] = {
      {0xFFFF, "Administrator"}, {0xFBFB, "Administrator"}, {0x8E0, "Upload/Download"}, {0x8C0, "Upload"},
      {0x8A0, "Download"},       {0x8FF, "Upload/Download"}, {0x800, "Permission state NULL"},
  };
  for (const auto& [privilege, label] : cases) {
    SCOPED_TRACE(privilege);
    EXPECT_EQ(UiString(PrivilegeLabelId(privilege), kLanguageEnglish), label);
  }
}

// A translation that loses or adds a placeholder breaks the formatting of
// the message at run time, so both texts must carry the same ones.
TEST(StringTable, TranslationsKeepTheirPlaceholders) {
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
