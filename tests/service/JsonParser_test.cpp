#include "service/JsonParser.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace korvex {
namespace {

TEST(JsonParser, ScalarsKeepTheirStoredTypes) {
  ASSERT_TRUE(ParseJson("10").IsInteger());
  EXPECT_EQ(*ParseJson("10").AsInteger(), 10u);
  ASSERT_TRUE(ParseJson("1.0").IsFloat());
  EXPECT_FLOAT_EQ(*ParseJson("1.0").AsFloat(), 1.0f);
  ASSERT_TRUE(ParseJson("2e3").IsFloat());
  EXPECT_FLOAT_EQ(*ParseJson("-2.5E-1").AsFloat(), -0.25f);

  // Negative integers wrap into the unsigned store and read back signed.
  JsonValue minusOne = ParseJson("-1");
  ASSERT_TRUE(minusOne.IsInteger());
  EXPECT_EQ(*minusOne.AsInteger(), UINT64_MAX);
  std::int32_t low = 0;
  std::int64_t all = 0;
  ASSERT_TRUE(minusOne.GetInt32(low) && minusOne.GetInt64(all));
  EXPECT_EQ(low, -1);
  EXPECT_EQ(all, -1);

  EXPECT_EQ(*ParseJson("18446744073709551615").AsInteger(), UINT64_MAX);
  EXPECT_EQ(*ParseJson("true").AsBool(), true);
  EXPECT_EQ(*ParseJson("false").AsBool(), false);
  EXPECT_EQ(*ParseJson("\" a \"").AsString(), " a ");
}

TEST(JsonParser, KeepsStructureOrderNullsAndTheFirstOfDuplicatedKeys) {
  JsonValue doc = ParseJson(" \t\r\n\v\f{ \"a\" :\n[ 3 , [2,{\"x\":[1]}],{},[],null ] ,\"b\":3,\"a\":2,\"n\":null}\n");
  ASSERT_TRUE(doc.IsObject());
  const JsonObject& top = *doc.AsObject();
  EXPECT_EQ(top.size(), 3u);
  EXPECT_EQ(*FindInteger(top, "b"), 3u);
  ASSERT_NE(FindField(top, "n"), nullptr);
  EXPECT_TRUE(FindField(top, "n")->IsEmpty());
  const JsonArray* a = FindArray(top, "a");
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->size(), 5u);
  EXPECT_EQ(*(*a)[0].AsInteger(), 3u);
  const JsonArray& inner = *(*a)[1].AsArray();
  EXPECT_EQ(*inner[0].AsInteger(), 2u);
  EXPECT_EQ(*(*FindArray(*inner[1].AsObject(), "x"))[0].AsInteger(), 1u);
  EXPECT_TRUE((*a)[2].AsObject()->empty());
  EXPECT_TRUE((*a)[3].AsArray()->empty());
  EXPECT_TRUE((*a)[4].IsEmpty());
}

TEST(JsonParser, RejectsTextThatIsNotOneCompleteValue) {
  const char* cases[] = {
      "",          "   ",        "01",         "+1",          ".5",         "1.",
      "1e",        "-",          "[1,]",       "[1 2]",       "{\"a\"}",    "{\"a\":1,}",
      "{a:1}",     "'x'",        "\"abc",      "\"\\x\"",     "\"\\u12\"",  "\"\\u12G4\"",
      "[1][2]",    "nul",        "True",       "{\"a\":1",    "[[1]",       "1 2",
      "\xEF\xBB\xBF{}",  // a byte order mark is not white space
      "<html>502 Bad Gateway</html>",
      "18446744073709551616",     // one past 64 bits
      "-18446744073709551616",
      "[1, 99999999999999999999999]",
      "- 1",       "1 .5",
  };
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    EXPECT_TRUE(ParseJson(text).IsEmpty());
  }
}

TEST(JsonParser, DecodesEscapes) {
  struct Case {
    const char* json;
    std::string expected;
  } cases[] = {
      {R"("\"\\\/")", "\"\\/"},
      {R"("\b\f\n\r\t")", "\b\f\n\r\t"},
      {R"("\u0041\u00e9")", "A\xC3\xA9"},
      {R"("\u00E9")", "\xC3\xA9"},
      {R"("\u4e2d")", "\xE4\xB8\xAD"},
      {R"("\u07FF\u0800")", "\xDF\xBF\xE0\xA0\x80"},
      // Surrogate halves are written one by one, not combined.
      {R"("\ud83d\ude00")", "\xED\xA0\xBD\xED\xB8\x80"},
      {R"("a\u0000b")", std::string("a\0b", 3)},
      {R"("")", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.json);
    JsonValue value = ParseJson(c.json);
    ASSERT_TRUE(value.IsString());
    EXPECT_EQ(*value.AsString(), c.expected);
  }
}

TEST(JsonParser, PassesRawBytesOfStringsThrough) {
  // UTF-8 names and even control bytes inside strings arrive unescaped.
  std::string text = "{\"name\":\"\xE6\x96\x87\xE4\xBB\xB6\tx\x01\xFF\"}";
  JsonValue doc = ParseJson(text);
  ASSERT_TRUE(doc.IsObject());
  EXPECT_EQ(*FindString(*doc.AsObject(), "name"), "\xE6\x96\x87\xE4\xBB\xB6\tx\x01\xFF");
  // Keys are bytewise too.
  JsonValue keyed = ParseJson("{\"\xC3\xA9\":1}");
  ASSERT_TRUE(keyed.IsObject());
  EXPECT_NE(FindInteger(*keyed.AsObject(), "\xC3\xA9"), nullptr);
}

TEST(JsonParser, BoundsNestingDepth) {
  auto nested = [](int depth, char open, char close) {
    return std::string(static_cast<std::size_t>(depth), open) + std::string(static_cast<std::size_t>(depth), close);
  };
  EXPECT_TRUE(ParseJson(nested(kMaxJsonDepth, '[', ']')).IsArray());
  EXPECT_TRUE(ParseJson(nested(kMaxJsonDepth + 1, '[', ']')).IsEmpty());

  std::string objects;
  for (int i = 0; i < kMaxJsonDepth; ++i) objects += "{\"a\":";
  objects += "1" + std::string(kMaxJsonDepth, '}');
  EXPECT_TRUE(ParseJson(objects).IsObject());
  EXPECT_TRUE(ParseJson("[" + objects + "]").IsEmpty());

  // A hostile answer: far deeper than the limit, and unterminated.
  EXPECT_TRUE(ParseJson(std::string(1000000, '[')).IsEmpty());
  // Depth is about nesting, not about how many containers a document holds.
  std::string wide = "[";
  for (int i = 0; i < 2000; ++i) wide += "[[]],";
  wide += "1]";
  EXPECT_TRUE(ParseJson(wide).IsArray());
}

TEST(JsonParser, RejectsEveryTruncationOfAValidAnswer) {
  const std::string answer =
      R"({"result":1,"files":2,"list":[{"dirid":"12","dirname":"A\u00e9","privilege":"7"},)"
      R"({"dirid":"13","dirname":"B","size":1.5e3,"ok":true,"none":null}]})";
  ASSERT_TRUE(ParseJson(answer).IsObject());
  for (std::size_t cut = 0; cut < answer.size(); ++cut) {
    SCOPED_TRACE(cut);
    EXPECT_TRUE(ParseJson(answer.data(), cut).IsEmpty());
  }
}

TEST(JsonParser, LengthBoundsTheInputNotATerminator) {
  std::string text = "[1,2]garbage";
  EXPECT_TRUE(ParseJson(text.data(), 5).IsArray());
  EXPECT_TRUE(ParseJson(text.data(), text.size()).IsEmpty());
  EXPECT_TRUE(ParseJson(nullptr, 0).IsEmpty());
}

TEST(JsonParser, ParsesFromManyThreadsAtOnce) {
  const std::string answer = R"({"list":[{"name":"x","size":"1"},{"name":"y","size":"2"}],"result":1})";
  std::vector<std::thread> threads;
  std::vector<int> good(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < 200; ++i) {
        JsonValue doc = ParseJson(answer);
        if (doc.IsObject() && FindArray(*doc.AsObject(), "list")->size() == 2) ++good[static_cast<std::size_t>(t)];
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int count : good) EXPECT_EQ(count, 200);
}

}  // namespace
}  // namespace korvex
