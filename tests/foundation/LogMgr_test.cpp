#include "foundation/LogMgr.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/TempHome.h"
#include "foundation/FileLogger.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;

// Records "logger|category|message" for each delivery, in order across recorders.
class RecordingLogger : public Logger {
 public:
  RecordingLogger(std::string name, std::int32_t level, std::vector<std::string>* sink, bool* destroyed = nullptr)
      : Logger(level), name_(std::move(name)), sink_(sink), destroyed_(destroyed) {}
  ~RecordingLogger() override {
    if (destroyed_) *destroyed_ = true;
  }
  std::string_view FormatLine(std::int32_t, const char* category, const char* message) override {
    return pending_ = name_ + "|" + (category ? category : "<null>") + "|" + message;
  }
  void WriteLine(std::string_view line) override { sink_->emplace_back(line); }
  bool AcceptsCategory(const char* category) override { return !category || std::string(category) != "Muted"; }

 private:
  std::string name_, pending_;
  std::vector<std::string>* sink_;
  bool* destroyed_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "text after the last line end";
  return lines;
}

// Strips "time-LEVEL-thread-" and the category field from a file line.
// Parsed by hand: std::regex recurses per character and overflows the stack
// on the 16 KiB lines these tests write.
std::string MessageOf(const std::string& line) {
  const std::string malformed = "<malformed: " + line.substr(0, 60) + ">";
  if (line.size() < 31 || line[23] != '-' || line[29] != '-') return malformed;
  std::size_t pos = 30;
  while (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos]))) ++pos;
  if (pos - 30 < 4 || pos >= line.size() || line[pos] != '-') return malformed;
  const std::size_t categoryEnd = line.find('-', pos + 1 + 20);
  return categoryEnd == std::string::npos ? malformed : line.substr(categoryEnd + 1);
}

class LogMgrTest : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    LogMgr::Get().Reset();
  }
  // The start-up arrangement: verbose file at the threshold, normal at 3.
  void AddStartupPair(std::int32_t threshold) {
    LogMgr& mgr = LogMgr::Get();
    mgr.Reset();
    mgr.SetThreshold(threshold);
    mgr.AddLogger(new FileLogger(Verbose(), threshold, false, 1u << 20));
    mgr.AddLogger(new FileLogger(Normal(), 3, false, 1u << 20));
  }
  fs::path Verbose() const { return Home() / "verbose.log"; }
  fs::path Normal() const { return Home() / "normal.log"; }
};

TEST_F(LogMgrTest, ThresholdLevelsAndCategoriesFilterAndNewestLoggerIsServedFirst) {
  std::vector<std::string> sink;
  LogMgr mgr;  // a private manager: its loggers never touch the shared one
  mgr.SetThreshold(kLogDebug);
  mgr.AddLogger(new RecordingLogger("verbose", kLogTrace, &sink));
  mgr.AddLogger(new RecordingLogger("normal", kLogWarn, &sink));
  mgr.AddLogger(nullptr);
  mgr.Trace("Cat", "below the threshold");
  mgr.Debug(nullptr, "d%d", 1);
  mgr.Warn("Cat", "w%s", "x");
  mgr.Error("Muted", "m");
  mgr.Log(kLogError, "Cat", nullptr);
  EXPECT_FALSE(mgr.Admits(kLogTrace));
  EXPECT_TRUE(mgr.Admits(kLogDebug));
  EXPECT_EQ(sink, (std::vector<std::string>{"verbose|<null>|d1", "normal|Cat|wx", "verbose|Cat|wx"}));
}

TEST_F(LogMgrTest, OverlongMessagesAreCutAndMarkedInTheFile) {
  struct Case { std::size_t length, expectedKept; bool marked; };
  const Case cases[] = {{20000, 16384, true}, {16385, 16384, true}, {16384, 16384, false}, {5, 5, false}};
  AddStartupPair(kLogWarn);
  for (const Case& c : cases) LogMgr::Get().Warn("Big", "%s", std::string(c.length, 'y').c_str());
  const auto lines = Lines(ReadText(Normal()));
  ASSERT_EQ(lines.size(), std::size(cases));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(cases[i].length);
    EXPECT_EQ(MessageOf(lines[i]), std::string(cases[i].expectedKept, 'y') + (cases[i].marked ? "..." : ""));
  }
}

TEST_F(LogMgrTest, ResetReleasesLoggersAndSilences) {
  bool destroyed = false;
  std::vector<std::string> sink;
  auto* logger = new RecordingLogger("r", kLogTrace, &sink, &destroyed);
  logger->AddRef();  // the test's own reference keeps it alive past Reset
  LogMgr::Get().AddLogger(logger);
  LogMgr::Get().SetThreshold(kLogTrace);
  LogMgr::Get().Reset();
  EXPECT_FALSE(destroyed);
  EXPECT_EQ(LogMgr::Get().Threshold(), kLogNone);
  LogMgr::Get().SetThreshold(kLogTrace);
  LogMgr::Get().Error("C", "after reset");
  EXPECT_TRUE(sink.empty());
  logger->Release();
  EXPECT_TRUE(destroyed);
}

TEST_F(LogMgrTest, ConcurrentCallersProduceWholeLines) {
  AddStartupPair(kLogTrace);
  constexpr int kThreads = 4, kLinesEach = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::string filler(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLinesEach; ++i) LogMgr::Get().Debug("Worker", "%d:%d:%s", t, i, filler.c_str());
    });
  }
  for (auto& thread : threads) thread.join();

  const auto lines = Lines(ReadText(Verbose()));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesEach));
  std::set<int> seen;
  for (const std::string& line : lines) {
    // "<thread>:<index>:" and then 200 copies of the thread's own letter.
    const std::string text = MessageOf(line);
    int thread = -1, index = -1, used = 0;
    ASSERT_EQ(std::sscanf(text.c_str(), "%d:%d:%n", &thread, &index, &used), 2) << text.substr(0, 80);
    ASSERT_TRUE(thread >= 0 && thread < kThreads && used > 0) << text.substr(0, 80);
    EXPECT_EQ(text.substr(used), std::string(200, static_cast<char>('a' + thread)));
    seen.insert(thread * kLinesEach + index);
  }
  EXPECT_EQ(seen.size(), lines.size()) << "a line was duplicated or lost";
  EXPECT_FALSE(fs::exists(Normal())) << "Debug is below the normal log's level";
}

}  // namespace
}  // namespace korvex

