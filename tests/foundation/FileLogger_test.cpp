#include "foundation/FileLogger.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <string>

#include "support/TempHome.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;

class FileLoggerTest : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    FileLogger::SetLineCount(0);
  }
  // Writes one line the way the manager does: locked, formatted, flushed.
  static void Emit(FileLogger& logger, const char* text) {
    logger.Lock();
    logger.WriteLine(text);
    logger.Flush();
    logger.Unlock();
  }
};

TEST_F(FileLoggerTest, FormatLineFollowsTheFixedLayout) {
  // The tail is everything after the thread field.
  struct Case { std::int32_t level; const char *category, *message; std::string expectedTail; };
  const std::string longCategory = "ShellFolderDataStoreRemote";  // 26 characters
  const Case cases[] = {
      {3, "HttpRequestor", "request failed", "       HttpRequestor-request failed"},
      {0, nullptr, "no category", std::string(20, ' ') + "-no category"},
      {2, longCategory.c_str(), "whole", longCategory + "-whole"},
      {4, "X", nullptr, std::string(19, ' ') + "X-"},
  };
  const char* names[] = {"TRACE", "DEBUG", "INFO ", "WARN ", "ERROR", "FATAL", "NONE "};
  FileLogger logger(Home() / "unused.log", 0, true, 100);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expectedTail);
    logger.Lock();
    const std::string line(logger.FormatLine(c.level, c.category, c.message));
    logger.Unlock();
    const std::regex layout(R"(^(\d{4})-(\d{2})-(\d{2}) \d{2}:\d{2}:\d{2}\.\d{3}-(.{5})-(\d{4,})-(.*)$)");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, layout)) << line;
    EXPECT_EQ(m[4].str(), names[c.level]);
    EXPECT_EQ(std::stol(m[5].str()), static_cast<long>(gettid()));
    EXPECT_EQ(m[6].str(), c.expectedTail);
  }
  EXPECT_FALSE(fs::exists(Home() / "unused.log")) << "formatting alone must not create the file";
}

TEST_F(FileLoggerTest, OpensLazilyAppendsOrTruncatesAndEndsLinesWithCrLf) {
  const fs::path path = Home() / "a.log";
  FileLogger logger(path, 0, true, 100);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(logger.OpenState(), 0);
  Emit(logger, "first");
  Emit(logger, "second");
  EXPECT_EQ(logger.OpenState(), 1);
  // Flushed after each line: readable while the logger still holds the file.
  EXPECT_EQ(ReadText(path), "first\r\nsecond\r\n");

  for (bool append : {true, false}) {
    SCOPED_TRACE(append ? "append" : "truncate");
    const fs::path path = Home() / "b.log";
    std::ofstream(path, std::ios::binary) << "old\r\n";
    {
      FileLogger logger(path, 0, append, 100);
      Emit(logger, "new");
    }
    EXPECT_EQ(ReadText(path), append ? "old\r\nnew\r\n" : "new\r\n");
  }
}

TEST_F(FileLoggerTest, SharedCounterEmptiesTheFileThatPassesTheLimit) {
  const fs::path pathA = Home() / "a.log";
  const fs::path pathB = Home() / "b.log";
  FileLogger a(pathA, 0, true, 3);
  FileLogger b(pathB, 0, true, 3);
  Emit(a, "a1");  // counter 1
  Emit(b, "b1");  // 2
  Emit(a, "a2");  // 3: at the limit, nothing emptied yet
  EXPECT_EQ(FileLogger::LineCount(), 3u);
  Emit(b, "b2");  // 4 > 3: b is emptied before its line, counter restarts
  EXPECT_EQ(ReadText(pathA), "a1\r\na2\r\n");
  EXPECT_EQ(ReadText(pathB), "b2\r\n");
  EXPECT_EQ(FileLogger::LineCount(), 0u);
  Emit(a, "a3");
  Emit(a, "a4");
  Emit(a, "a5");
  Emit(a, "a6");  // 4 > 3 again, this time in a
  EXPECT_EQ(ReadText(pathA), "a6\r\n");
  EXPECT_EQ(ReadText(pathB), "b2\r\n");
}

TEST_F(FileLoggerTest, UnopenableFileSilencesTheLoggerForTheRun) {
  // A regular file where the folder should be fails for every user, root too.
  std::ofstream(Home() / "notadir") << "x";
  const fs::path path = Home() / "notadir" / "c.log";
  FileLogger logger(path, 0, true, 100);
  Emit(logger, "lost");
  EXPECT_EQ(logger.OpenState(), -1);
  // Making the path usable later does not bring the logger back.
  fs::remove(Home() / "notadir");
  fs::create_directories(Home() / "notadir");
  Emit(logger, "still lost");
  EXPECT_EQ(logger.OpenState(), -1);
  EXPECT_FALSE(fs::exists(path));
  EXPECT_EQ(FileLogger::LineCount(), 0u) << "a silent logger must not count lines";
}

}  // namespace
}  // namespace korvex
