#include "platform/AsciiText.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(AsciiText, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(EqualsIgnoringAsciiCase("AUTH_pro", "auth_PRO"));
  EXPECT_FALSE(EqualsIgnoringAsciiCase("zh", "zh-cn"));
  // '[' and '{' sit next to the letters; folding must not touch them.
  EXPECT_FALSE(EqualsIgnoringAsciiCase("[", "{"));
  // UTF-8 bytes compare as they are: "Ä" (C3 84) is not "ä" (C3 A4).
  EXPECT_FALSE(EqualsIgnoringAsciiCase("\xC3\x84", "\xC3\xA4"));
  EXPECT_TRUE(StartsWithIgnoringAsciiCase("HTTPS://host", "https://"));
  EXPECT_FALSE(StartsWithIgnoringAsciiCase("http", "https://"));
  EXPECT_TRUE(EndsWithIgnoringAsciiCase("x.LOCK", ".lock"));
  EXPECT_FALSE(EndsWithIgnoringAsciiCase("lock", ".lock"));
}

}  // namespace
}  // namespace korvex
