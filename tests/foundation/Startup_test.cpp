//===- tests/foundation/Startup_test.cpp ----------------------------------===//

#include "foundation/Startup.h"

#include "foundation/LogMgr.h"
#include "foundation/Registry.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <sstream>
#include <string>

namespace korvex {
namespace {

namespace fs = std::filesystem;

// Sets or clears one environment variable and puts it back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) setenv(name_, old_->c_str(), 1);
    else unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class StartupTest : public ::testing::Test {
 protected:
  StartupTest()
      : home_(fs::temp_directory_path() /
              ("korvex_startup_" + std::to_string(getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name())),
        homeEnv_("KORVEX_HOME", home_.c_str()),
        lcAll_("LC_ALL", nullptr),
        lcMessages_("LC_MESSAGES", nullptr),
        lang_("LANG", nullptr) {}

  void SetUp() override {
    fs::remove_all(home_);
    fs::create_directories(home_);
    LogMgr::Get().Reset();
    SetCurrentLanguage(kLanguageUnset);
  }
  void TearDown() override {
    LogMgr::Get().Reset();
    SetCurrentLanguage(kLanguageUnset);
    fs::remove_all(home_);
  }

  void WriteMachineHive(const std::string& commonValues) {
    const fs::path dir = home_ / "etc" / "KorvexDataSMB";
    fs::create_directories(dir);
    std::ofstream(dir / "HKLM.reg", std::ios::binary)
        << "Windows Registry Editor Version 5.00\r\n\r\n"
        << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KorvexDataSMB\\common]\r\n"
        << commonValues;
  }
  static std::string UserDisplayValue(const char* name) {
    return ReadString(Hive::CurrentUser, kProductKey, "common", name, "<absent>");
  }
  fs::path LogDir() const { return home_ / "data" / "KorvexDataSMB"; }

  fs::path home_;
  ScopedEnv homeEnv_, lcAll_, lcMessages_, lang_;
};

TEST_F(StartupTest, FirstRunCopiesMachineValuesOrOnes) {
  WriteMachineHive("\"DisplayBanner\"=\"0\"\r\n\"ExitConfirm\"=\"no\"\r\n\"HelpButton\"=dword:00000000\r\n");
  EXPECT_TRUE(SeedFirstRunDefaults());
  EXPECT_EQ(UserDisplayValue("DisplayBanner"), "0");
  EXPECT_EQ(UserDisplayValue("DisplayTrayIcon"), "1");
  EXPECT_EQ(UserDisplayValue("ExitConfirm"), "no");
  EXPECT_EQ(UserDisplayValue("HelpButton"), "1") << "a DWORD in the machine hive reads as the default";
  EXPECT_EQ(UserDisplayValue("DisplayBorder"), "1");
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "common", "FirstRun", 7), 0u);
}

TEST_F(StartupTest, FirstRunWithoutMachineHiveWritesOnes) {
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "common", "FirstRun", 1));
  EXPECT_TRUE(SeedFirstRunDefaults());
  for (const char* name : {"DisplayBanner", "DisplayTrayIcon", "ExitConfirm", "HelpButton", "DisplayBorder"})
    EXPECT_EQ(UserDisplayValue(name), "1") << name;
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "common", "FirstRun", 7), 0u);
}

TEST_F(StartupTest, FirstRunOtherThanOneCopiesNothing) {
  WriteMachineHive("\"DisplayBanner\"=\"0\"\r\n");
  for (std::uint32_t firstRun : {0u, 2u}) {
    SCOPED_TRACE(firstRun);
    ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "common", "FirstRun", firstRun));
    EXPECT_TRUE(SeedFirstRunDefaults());
    EXPECT_EQ(UserDisplayValue("DisplayBanner"), "<absent>");
    EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "common", "FirstRun", 7), firstRun);
  }
}

TEST_F(StartupTest, LogLevelDecidesTheLogFiles) {
  struct Case {
    std::optional<std::uint32_t> logLevel;
    std::optional<std::uint32_t> fullLog;
    std::int32_t expectedLevel;
    bool verbose;
    bool normal;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, 6, false, false},
      {0, std::nullopt, 0, true, true},
      {1, 0, 1, true, true},
      {2, std::nullopt, 2, false, true},
      {4, std::nullopt, 4, false, true},
      {6, std::nullopt, 6, false, false},
      {4, 1, 0, true, true},
      {std::nullopt, 5, 0, true, true},
      {9, std::nullopt, 6, false, false},
      {0xFFFFFFFF, std::nullopt, 6, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "LogLevel " << c.logLevel.value_or(99) << " full "
                                      << c.fullLog.value_or(99));
    LogMgr::Get().Reset();
    fs::remove_all(home_ / "config");
    fs::remove_all(LogDir());
    if (c.logLevel) {
      ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "LogLevel", *c.logLevel));
    }
    if (c.fullLog) {
      ASSERT_TRUE(WriteDword(Hive::CurrentUser, "SOFTWARE\\KorvexData", "TurnOnFullLog", *c.fullLog));
    }

    const StartupResult result = RunStartup();
    EXPECT_EQ(result.logLevel, c.expectedLevel);
    EXPECT_EQ(LogMgr::Get().Threshold(), c.expectedLevel);
    EXPECT_EQ(result.logFolder, LogDir());
    EXPECT_TRUE(fs::is_directory(LogDir()));
    LogMgr::Get().Error("Check", "an error reaches every log that exists");
    EXPECT_EQ(fs::exists(LogDir() / "KorvexDataSMB.verbose.log"), c.verbose);
    EXPECT_EQ(fs::exists(LogDir() / "KorvexDataSMB.log"), c.normal);
  }
}

TEST_F(StartupTest, StartAndStopLinesCarryNoCategory) {
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "LogLevel", 2));
  (void)RunStartup();
  RunShutdown();
  const std::string text = ReadAll(LogDir() / "KorvexDataSMB.log");
  const std::regex expected(
      R"(^.{23}-INFO -\d{4,}- {20}-Logger Started\r\n.{23}-INFO -\d{4,}- {20}-Logger Stopped\r\n$)");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST_F(StartupTest, UnwritableLogFolderLeavesTheClientRunning) {
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "LogLevel", 0));
  std::ofstream(home_ / "data") << "a file where the data folder belongs";
  const StartupResult result = RunStartup();
  EXPECT_EQ(result.logLevel, 0);
  LogMgr::Get().Error("Check", "goes nowhere");
  RunShutdown();
  EXPECT_TRUE(fs::is_regular_file(home_ / "data"));
}

TEST_F(StartupTest, StoredLanguageIgnoresCaseAndIsKept) {
  const std::pair<const char*, LanguageId> cases[] = {
      {"ZH-CN", kLanguageChinese}, {"zh", kLanguageChinese}, {"fr", kLanguageEnglish},
      {"en-US", kLanguageEnglish}};
  ScopedEnv chineseSystem("LANG", "zh_CN.UTF-8");  // a stored choice beats the system
  for (const auto& [stored, expected] : cases) {
    SCOPED_TRACE(stored);
    SetCurrentLanguage(kLanguageUnset);
    ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "Language", stored));
    EXPECT_EQ(ChooseLanguage(), expected);
    EXPECT_EQ(CurrentLanguage(), expected);
    EXPECT_EQ(ReadString(Hive::CurrentUser, kProductKey, "Language", ""), stored);
  }
}

TEST_F(StartupTest, EmptyLanguageIsDetectedAndStored) {
  struct Case {
    const char* lcAll;
    const char* lcMessages;
    const char* lang;
    LanguageId expected;
    const char* stored;
  };
  const Case cases[] = {
      {nullptr, nullptr, "zh_CN.UTF-8", kLanguageChinese, "zh"},
      {nullptr, nullptr, "de_DE.UTF-8", kLanguageEnglish, "en"},
      {nullptr, nullptr, nullptr, kLanguageEnglish, "en"},
      {"en_US.UTF-8", "zh_CN", "zh_CN", kLanguageEnglish, "en"},
      {"", "zh_CN.UTF-8", "en_US", kLanguageChinese, "zh"},
      {nullptr, nullptr, "zh_TW.UTF-8", kLanguageEnglish, "en"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.lang ? c.lang : "(no LANG)");
    ScopedEnv lcAll("LC_ALL", c.lcAll), lcMessages("LC_MESSAGES", c.lcMessages), lang("LANG", c.lang);
    SetCurrentLanguage(kLanguageUnset);
    ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "Language", ""));
    EXPECT_EQ(RunStartup().language, c.expected);
    EXPECT_EQ(ReadString(Hive::CurrentUser, kProductKey, "Language", ""), c.stored);
    LogMgr::Get().Reset();
  }
}

TEST_F(StartupTest, EarlierLanguageChoiceWins) {
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "Language", "zh"));
  SetCurrentLanguage(kLanguageEnglish);
  EXPECT_EQ(ChooseLanguage(), kLanguageEnglish);
}

}  // namespace
}  // namespace korvex
