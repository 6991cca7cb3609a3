//===- tests/foundation/LogMgr_test.cpp -----------------------------------===//

#include "foundation/LogMgr.h"

#include "foundation/FileLogger.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace korvex {
namespace {

namespace fs = std::filesystem;

// Records what reaches it, in delivery order across all recorders.
struct Delivery {
  std::string logger;
  std::int32_t level;
  std::string category;
  std::string message;
};

class RecordingLogger : public Logger {
 public:
  RecordingLogger(std::string name, std::int32_t level, std::vector<Delivery>* sink,
                  bool* destroyed = nullptr)
      : Logger(level), name_(std::move(name)), sink_(sink), destroyed_(destroyed) {}
  ~RecordingLogger() override {
    if (destroyed_) *destroyed_ = true;
  }
  std::string_view FormatLine(std::int32_t level, const char* category,
                              const char* message) override {
    pending_ = {name_, level, category ? category : "<null>", message};
    return pending_.message;
  }
  void WriteLine(std::string_view) override { sink_->push_back(pending_); }
  bool AcceptsCategory(const char* category) override {
    return !category || std::string(category) != "Muted";
  }

 private:
  std::string name_;
  std::vector<Delivery>* sink_;
  bool* destroyed_;
  Delivery pending_;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

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
  const std::size_t digits = pos;
  while (pos < line.size() && std::isdigit(static_cast<unsigned char>(line[pos]))) ++pos;
  if (pos - digits < 4 || pos >= line.size() || line[pos] != '-') return malformed;
  const std::size_t categoryEnd = line.find('-', pos + 1 + 20);
  if (categoryEnd == std::string::npos) return malformed;
  return line.substr(categoryEnd + 1);
}

class LogMgrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("korvex_logmgr_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    LogMgr::Get().Reset();
  }
  void TearDown() override {
    LogMgr::Get().Reset();
    fs::remove_all(dir_);
  }

  // The start-up arrangement: verbose file at the threshold, normal at 3.
  void AddStartupPair(std::int32_t threshold) {
    LogMgr& mgr = LogMgr::Get();
    mgr.SetThreshold(threshold);
    mgr.AddLogger(new FileLogger(dir_ / "verbose.log", threshold, true, 1u << 20));
    mgr.AddLogger(new FileLogger(dir_ / "normal.log", 3, true, 1u << 20));
  }

  fs::path dir_;
};

TEST_F(LogMgrTest, DefaultThresholdLogsNothingAndCreatesNoFile) {
  EXPECT_EQ(LogMgr::Get().Threshold(), kLogNone);
  LogMgr::Get().AddLogger(new FileLogger(dir_ / "none.log", kLogNone, true, 100));
  LogMgr::Get().Error("Cat", "dropped %d", 1);
  LogMgr::Get().Log(kLogFatal, "Cat", "dropped too");
  EXPECT_FALSE(fs::exists(dir_ / "none.log"));
}

TEST_F(LogMgrTest, ThresholdDropsLowerLevels) {
  LogMgr& mgr = LogMgr::Get();
  mgr.SetThreshold(kLogWarn);
  mgr.AddLogger(new FileLogger(dir_ / "normal.log", kLogWarn, true, 100));
  mgr.Trace("T", "trace");
  mgr.Debug("T", "debug");
  mgr.Info("T", "info");
  mgr.Warn("T", "warn %s", "x");
  mgr.Error("T", "error %d", 7);
  EXPECT_FALSE(mgr.Admits(kLogInfo));
  EXPECT_TRUE(mgr.Admits(kLogWarn));
  const auto lines = Lines(ReadAll(dir_ / "normal.log"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(MessageOf(lines[0]), "warn x");
  EXPECT_NE(lines[0].find("-WARN -"), std::string::npos);
  EXPECT_EQ(MessageOf(lines[1]), "error 7");
  EXPECT_NE(lines[1].find("-ERROR-"), std::string::npos);
}

TEST_F(LogMgrTest, ThresholdZeroFillsBothFiles) {
  AddStartupPair(kLogTrace);
  LogMgr::Get().Trace("T", "only verbose");
  LogMgr::Get().Warn("T", "both");
  EXPECT_EQ(Lines(ReadAll(dir_ / "normal.log")).size(), 1u);
  const auto verbose = Lines(ReadAll(dir_ / "verbose.log"));
  ASSERT_EQ(verbose.size(), 2u);
  EXPECT_EQ(MessageOf(verbose[0]), "only verbose");
  EXPECT_EQ(MessageOf(verbose[1]), "both");
}

TEST_F(LogMgrTest, NewestLoggerServedFirstAndLevelsAndCategoriesFiltered) {
  std::vector<Delivery> sink;
  LogMgr mgr;  // a private manager: its loggers never touch the shared one
  mgr.SetThreshold(kLogTrace);
  mgr.AddLogger(new RecordingLogger("verbose", kLogTrace, &sink));
  mgr.AddLogger(new RecordingLogger("normal", kLogWarn, &sink));
  mgr.AddLogger(nullptr);
  mgr.Trace(nullptr, "t");
  mgr.Warn("Cat", "w");
  mgr.Error("Muted", "m");
  mgr.Log(kLogError, "Cat", nullptr);
  ASSERT_EQ(sink.size(), 3u);
  EXPECT_EQ(sink[0].logger, "verbose");
  EXPECT_EQ(sink[0].category, "<null>");
  EXPECT_EQ(sink[1].logger, "normal");
  EXPECT_EQ(sink[1].message, "w");
  EXPECT_EQ(sink[2].logger, "verbose");
  EXPECT_EQ(sink[2].message, "w");
}

TEST_F(LogMgrTest, OverlongMessagesAreCutAndMarked) {
  struct Case {
    std::size_t length;
    std::size_t expectedKept;
    bool marked;
  };
  const Case cases[] = {{20000, 16384, true}, {16385, 16384, true}, {16384, 16384, false}, {5, 5, false}};
  std::vector<Delivery> sink;
  LogMgr mgr;
  mgr.SetThreshold(kLogTrace);
  mgr.AddLogger(new RecordingLogger("r", kLogTrace, &sink));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    sink.clear();
    const std::string text(c.length, 'x');
    mgr.Info("Cat", "%s", text.c_str());
    ASSERT_EQ(sink.size(), 1u);
    const std::string expected = std::string(c.expectedKept, 'x') + (c.marked ? "..." : "");
    EXPECT_EQ(sink[0].message, expected);
  }
}

TEST_F(LogMgrTest, OverlongMessageReachesTheFileWhole) {
  AddStartupPair(kLogWarn);
  const std::string text(20000, 'y');
  LogMgr::Get().Warn("Big", "%s", text.c_str());
  const auto lines = Lines(ReadAll(dir_ / "normal.log"));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(MessageOf(lines[0]), std::string(16384, 'y') + "...");
}

TEST_F(LogMgrTest, ResetReleasesLoggersAndSilences) {
  bool destroyed = false;
  std::vector<Delivery> sink;
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
  constexpr int kThreads = 4;
  constexpr int kLinesEach = 400;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::string filler(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLinesEach; ++i) LogMgr::Get().Debug("Worker", "%d:%d:%s", t, i, filler.c_str());
    });
  }
  for (auto& thread : threads) thread.join();

  const auto lines = Lines(ReadAll(dir_ / "verbose.log"));
  ASSERT_EQ(lines.size(), static_cast<std::size_t>(kThreads * kLinesEach));
  std::set<std::string> seen;
  for (const std::string& line : lines) {
    // "<thread>:<index>:" and then 200 copies of the thread's own letter.
    const std::string text = MessageOf(line);
    const std::size_t second = text.find(':', 2);
    ASSERT_TRUE(text.size() > 2 && text[1] == ':' && second != std::string::npos) << text.substr(0, 80);
    const int thread = text[0] - '0';
    ASSERT_TRUE(thread >= 0 && thread < kThreads) << text.substr(0, 80);
    EXPECT_EQ(text.substr(second + 1), std::string(200, static_cast<char>('a' + thread)));
    seen.insert(text.substr(0, second));
  }
  EXPECT_EQ(seen.size(), lines.size()) << "a line was duplicated or lost";
  EXPECT_FALSE(fs::exists(dir_ / "normal.log")) << "Debug is below the normal log's level";
}

}  // namespace
}  // namespace korvex
