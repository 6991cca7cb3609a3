#include "foundation/StatusMessages.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>

namespace korvex {
namespace {

TEST(StatusMessages, LookupInBothLanguages) {
  struct Case { HRESULT status; bool known; const char *english, *chinese; };
  const Case cases[] = {
      {HResultFromHttp(404), true, "Object not found", "找不到对象"},
      {MakeHResult(0x804F2F0C), true, "HTTP the client needs \"auth\" to authentication", "HTTP 客户端需要进行身份验证"},
      // Added twice: the later text is kept.
      {MakeHResult(-3), true, "Error file path", "文件路径错误"},
      {E_FAIL, false, "Unknown error type", "未知错误类型"},
      {S_OK, false, "Unknown error type", "未知错误类型"},
      {MakeHResult(-5), false, "Unknown error type", "未知错误类型"},
  };
  const StatusMessages english(kLanguageEnglish), chinese(kLanguageChinese), unset(kLanguageUnset);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.english);
    std::string text = "stale";
    EXPECT_EQ(english.Lookup(c.status, text), c.known);
    EXPECT_EQ(text, c.english);
    EXPECT_EQ(chinese.Lookup(c.status, text), c.known);
    EXPECT_EQ(text, c.chinese);
    EXPECT_EQ(unset.Lookup(c.status, text), c.known);
    EXPECT_EQ(text, c.english);
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
