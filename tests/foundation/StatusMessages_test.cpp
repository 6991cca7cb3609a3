#include "foundation/StatusMessages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace korvex {
namespace {

struct Expected {
  std::uint32_t bits;
  const char* english;
  const char* chinese;
};

TEST(StatusMessages, KnownCodesInBothLanguages) {
  const Expected cases[] = {
      {0x804F0194, "Object not found", "找不到对象"},
      {0x804F2F0C, "HTTP the client needs \"auth\" to authentication", "HTTP 客户端需要进行身份验证"},
      // Added twice: the later text is kept.
      {static_cast<std::uint32_t>(-3), "Error file path", "文件路径错误"},
      {static_cast<std::uint32_t>(-1), "Not enough space, please buy more space", "空间不足，请购买更多空间"},
  };
  const StatusMessages english(kLanguageEnglish);
  const StatusMessages chinese(kLanguageChinese);
  const StatusMessages unset(kLanguageUnset);
  for (const Expected& c : cases) {
    SCOPED_TRACE(c.english);
    std::string text;
    EXPECT_TRUE(english.Lookup(MakeHResult(c.bits), text));
    EXPECT_EQ(text, c.english);
    EXPECT_TRUE(chinese.Lookup(MakeHResult(c.bits), text));
    EXPECT_EQ(text, c.chinese);
    EXPECT_TRUE(unset.Lookup(MakeHResult(c.bits), text));
    EXPECT_EQ(text, c.english);
  }
}

TEST(StatusMessages, UnknownCodesReportFalseWithTheUnknownText) {
  const StatusMessages english(kLanguageEnglish);
  const StatusMessages chinese(kLanguageChinese);
  for (HRESULT status : {E_FAIL, S_OK, HResultFromHttp(418), MakeHResult(-5)}) {
    SCOPED_TRACE(status);
    std::string text = "stale";
    EXPECT_FALSE(english.Lookup(status, text));
    EXPECT_EQ(text, "Unknown error type");
    EXPECT_FALSE(chinese.Lookup(status, text));
    EXPECT_EQ(text, "未知错误类型");
  }
}

// Body of the child process: two threads race to be the table's first user.
[[noreturn]] void RaceFirstUse() {
  SetCurrentLanguage(kLanguageChinese);
  const StatusMessages* seen[2] = {nullptr, nullptr};
  std::string texts[2];
  auto use = [&](int i) {
    seen[i] = &StatusMessages::Get();
    (void)seen[i]->Lookup(HResultFromHttp(404), texts[i]);
  };
  std::thread a(use, 0);
  std::thread b(use, 1);
  a.join();
  b.join();
  SetCurrentLanguage(kLanguageEnglish);  // too late: the table is built
  std::string later;
  (void)StatusMessages::Get().Lookup(HResultFromHttp(404), later);
  const bool ok = seen[0] == seen[1] && texts[0] == "找不到对象" && texts[1] == texts[0] &&
                  later == texts[0] && seen[0]->Size() == 156u;
  std::exit(ok ? 0 : 1);
}

// The threadsafe death-test style re-executes the binary for this test
// alone, so nothing else has touched the table in that process.
TEST(StatusMessagesDeathTest, ConcurrentFirstUseBuildsOneTable) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(RaceFirstUse(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace korvex
