#include "platform/TextConversion.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(TextConversion, Utf8AndUtf16RoundTrip) {
  for (const std::string s : {"", "caf\xC3\xA9", "emoji \xF0\x9F\x98\x80 end"}) {
    SCOPED_TRACE(s);
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(s)), s);
  }
  EXPECT_EQ(Utf8ToUtf16("\xF0\x9F\x98\x80"), (std::u16string{0xD83D, 0xDE00})) << "a surrogate pair";
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8\xAD"), std::u16string(1, char16_t{0x4E2D}));
}

TEST(TextConversion, MalformedInputBecomesReplacementCharacters) {
  struct Case { const char* name; std::string in; std::u16string expected; };
  const Case cases[] = {
      {"stray continuation", "a\x80z", u"a\uFFFDz"},
      {"truncated sequence", "a\xE4\xB8", u"a\uFFFD"},
      {"lead then ascii", "\xE4" "b", u"\uFFFDb"},
      {"overlong slash", "\xC0\xAF", u"\uFFFD"},
      {"encoded surrogate", "\xED\xA0\x80", u"\uFFFD"},
      {"above U+10FFFF", "\xF4\x90\x80\x80", u"\uFFFD"},
      {"invalid byte", "\xFF", u"\uFFFD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Utf8ToUtf16(c.in), c.expected);
  }
  const std::u16string lone = {u'a', char16_t{0xD800}, u'b', char16_t{0xDC00}};
  EXPECT_EQ(Utf16ToUtf8(lone), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD") << "lone surrogates";
}

TEST(TextConversion, GbkRoundTripOfChineseText) {
  std::string gbk, back;
  ASSERT_TRUE(Utf8ToGbk("\xE4\xB8\xAD\xE6\x96\x87 abc", gbk));  // "中文 abc"
  EXPECT_EQ(gbk, "\xD6\xD0\xCE\xC4 abc");
  // Long enough that the conversion buffer has to grow.
  std::string utf8;
  for (int i = 0; i < 5000; ++i) utf8 += "\xE4\xB8\xAD" "a";
  ASSERT_TRUE(Utf8ToGbk(utf8, gbk));
  EXPECT_EQ(gbk.size(), 5000u * 3);
  ASSERT_TRUE(GbkToUtf8(gbk, back));
  EXPECT_EQ(back, utf8);
}

TEST(TextConversion, GbkRejectsBadInputAndClearsOutput) {
  // An emoji has no GBK form; "a\xFF" is no UTF-8; "\xD6" is half a GBK character.
  struct Case { const char* in; bool toGbk; };
  for (const Case& c : {Case{"\xF0\x9F\x98\x80", true}, Case{"a\xFF", true}, Case{"\xD6", false}}) {
    SCOPED_TRACE(c.in);
    std::string out = "stale";
    EXPECT_FALSE(c.toGbk ? Utf8ToGbk(c.in, out) : GbkToUtf8(c.in, out));
    EXPECT_TRUE(out.empty());
  }
  std::string out = "stale";
  EXPECT_TRUE(GbkToUtf8("", out));
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace korvex
