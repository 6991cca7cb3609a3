#include "foundation/Startup.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include "support/TempHome.h"
#include "foundation/LogMgr.h"
#include "foundation/Registry.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::ScopedEnv;
using testing::WriteText;

class StartupTest : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    SetCurrentLanguage(kLanguageUnset);
  }
  void TearDown() override {
    SetCurrentLanguage(kLanguageUnset);
    TempHomeTest::TearDown();
  }
  fs::path LogDir() const { return Home() / "data" / "KorvexDataSMB"; }

  ScopedEnv lcAll_{"LC_ALL", nullptr}, lcMessages_{"LC_MESSAGES", nullptr}, lang_{"LANG", nullptr};
};

TEST_F(StartupTest, FirstRunCopiesMachineDisplayValuesOrOnes) {
  const char* machineValues = "\"DisplayBanner\"=\"0\"\r\n\"ExitConfirm\"=\"no\"\r\n\"HelpButton\"=dword:00000000\r\n";
  struct Case {
    const char* name;
    bool machineHive;
    std::optional<std::uint32_t> firstRun;
    const char* expected;  // DisplayBanner DisplayTrayIcon ExitConfirm HelpButton DisplayBorder
    std::uint32_t firstRunAfter;
  };
  const Case cases[] = {
      // A DWORD in the machine hive reads as the default.
      {"first run by default", true, std::nullopt, "0 1 no 1 1", 0},
      {"no machine hive", false, 1, "1 1 1 1 1", 0},
      {"not the first run", true, 0, "- - - - -", 0},
      {"FirstRun other than one", true, 2, "- - - - -", 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(Home() / "config");
    fs::remove_all(Home() / "etc");
    if (c.machineHive) {
      WriteText(MachineHive(), "Windows Registry Editor Version 5.00\r\n\r\n"
                               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KorvexDataSMB\\common]\r\n" +
                                   std::string(machineValues));
    }
    if (c.firstRun) {
      ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "common", "FirstRun", *c.firstRun));
    }
    EXPECT_TRUE(SeedFirstRunDefaults());
    std::string values;
    for (const char* name : {"DisplayBanner", "DisplayTrayIcon", "ExitConfirm", "HelpButton", "DisplayBorder"})
      values += (values.empty() ? "" : " ") + ReadString(Hive::CurrentUser, kProductKey, "common", name, "-");
    EXPECT_EQ(values, c.expected);
    EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "common", "FirstRun", 7), c.firstRunAfter);
  }
}

TEST_F(StartupTest, LogLevelDecidesTheLogFiles) {
  struct Case {
    std::optional<std::uint32_t> logLevel, fullLog;
    std::int32_t expectedLevel;
    bool verbose, normal;
  };
  const Case cases[] = {
      {std::nullopt, std::nullopt, 6, false, false},
      {0, std::nullopt, 0, true, true},
      {1, 0, 1, true, true},
      {2, std::nullopt, 2, false, true},
      {4, 1, 0, true, true},
      {std::nullopt, 5, 0, true, true},
      {9, std::nullopt, 6, false, false},
      {0xFFFFFFFF, std::nullopt, 6, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "LogLevel " << c.logLevel.value_or(99) << " full "
                                      << c.fullLog.value_or(99));
    LogMgr::Get().Reset();
    fs::remove_all(Home() / "config");
    fs::remove_all(LogDir());
    if (c.logLevel) { ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "LogLevel", *c.logLevel)); }
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
  const std::string text = ReadText(LogDir() / "KorvexDataSMB.log");
  const std::regex expected(
      R"(^.{23}-INFO -\d{4,}- {20}-Logger Started\r\n.{23}-INFO -\d{4,}- {20}-Logger Stopped\r\n$)");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST_F(StartupTest, LogsArePrivateWhateverTheUmask) {
  struct PermissiveUmask {
    mode_t saved = ::umask(0);
    ~PermissiveUmask() { ::umask(saved); }
  } permissive;
  const fs::path logs[] = {LogDir() / "KorvexDataSMB.log", LogDir() / "KorvexDataSMB.verbose.log"};
  // A folder made earlier with looser modes is tightened too.
  fs::create_directories(LogDir());
  fs::permissions(LogDir(), fs::perms(0755));
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "LogLevel", 0));
  (void)RunStartup();
  LogMgr::Get().Error("Check", "proxy user:secret@host");
  EXPECT_EQ(fs::status(LogDir()).permissions(), fs::perms(0700));
  for (const fs::path& log : logs) EXPECT_EQ(fs::status(log).permissions(), fs::perms(0600)) << log;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    std::error_code ec;
    if (std::count(std::begin(logs), std::end(logs), fs::read_symlink(entry.path(), ec)) == 0) continue;
    EXPECT_NE(::fcntl(std::stoi(entry.path().filename()), F_GETFD) & FD_CLOEXEC, 0) << "inherited by children";
  }
}

TEST_F(StartupTest, ASetAsideSettingsFileIsLoggedAndShownOnce) {
  (void)ReportSetAsideSettings();  // from earlier tests of this process
  WriteText(UserHive(), "\x89PNG not a registry export\n");
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "LogLevel", 6), 6u);
  const std::vector<std::string> notices = ReportSetAsideSettings();
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].rfind("The settings file \"" + UserHive().string() + "\" could not be read and has been kept as \"" +
                                 UserHive().string() + ".corrupt-", 0), 0u) << notices[0];
  EXPECT_TRUE(log_->Contains(" Registry-" + UserHive().string() + " could not be parsed; kept as ")) << log_->All();
  WriteText(UserHive(), "\x89PNG not a registry export\n");
  EXPECT_EQ(RunStartup().settingsNotices.size(), 1u) << "start-up collects them";
  EXPECT_TRUE(ReportSetAsideSettings().empty()) << "told once";
}

TEST_F(StartupTest, UnwritableLogFolderLeavesTheClientRunning) {
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "LogLevel", 0));
  std::ofstream(Home() / "data") << "a file where the data folder belongs";
  EXPECT_EQ(RunStartup().logLevel, 0);
  LogMgr::Get().Error("Check", "goes nowhere");
  RunShutdown();
  EXPECT_TRUE(fs::is_regular_file(Home() / "data"));
}

// A stored choice ignores case and beats the system locale; an empty one is
// detected from LC_ALL, LC_MESSAGES, LANG and stored back.
TEST_F(StartupTest, LanguageComesFromTheSettingOrTheLocale) {
  struct Case { const char *stored, *lcAll, *lcMessages, *lang; LanguageId expected; const char* storedAfter; };
  const Case cases[] = {
      {"ZH-CN", nullptr, nullptr, "en_US.UTF-8", kLanguageChinese, "ZH-CN"},
      {"fr", nullptr, nullptr, "zh_CN.UTF-8", kLanguageEnglish, "fr"},
      {"zh-tw", nullptr, nullptr, "zh_CN.UTF-8", kLanguageEnglish, "zh-tw"},
      {"zhx", nullptr, nullptr, "zh_CN.UTF-8", kLanguageEnglish, "zhx"},
      {"", nullptr, nullptr, "zh_CN.UTF-8", kLanguageChinese, "zh"},
      {"", nullptr, nullptr, "de_DE.UTF-8", kLanguageEnglish, "en"},
      {"", nullptr, nullptr, nullptr, kLanguageEnglish, "en"},
      {"", "en_US.UTF-8", "zh_CN", "zh_CN", kLanguageEnglish, "en"},
      {"", "", "zh_CN.UTF-8", "en_US", kLanguageChinese, "zh"},
      {"", nullptr, nullptr, "zh_TW.UTF-8", kLanguageEnglish, "en"},
      {"", nullptr, nullptr, "zh_cn.gbk@x", kLanguageChinese, "zh"},
      {"", nullptr, nullptr, "zh.UTF-8", kLanguageChinese, "zh"},
      {"", nullptr, nullptr, "zhu_ZA", kLanguageEnglish, "en"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "stored \"" << c.stored << "\", LANG " << (c.lang ? c.lang : "unset"));
    ScopedEnv lcAll("LC_ALL", c.lcAll), lcMessages("LC_MESSAGES", c.lcMessages), lang("LANG", c.lang);
    SetCurrentLanguage(kLanguageUnset);
    ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "Language", c.stored));
    EXPECT_EQ(RunStartup().language, c.expected);
    EXPECT_EQ(CurrentLanguage(), c.expected);
    EXPECT_EQ(ReadString(Hive::CurrentUser, kProductKey, "Language", ""), c.storedAfter);
    LogMgr::Get().Reset();
  }
  // A choice made earlier in the process wins over the stored one ("en" by now).
  SetCurrentLanguage(kLanguageChinese);
  EXPECT_EQ(ChooseLanguage(), kLanguageChinese);
}

}  // namespace
}  // namespace korvex
