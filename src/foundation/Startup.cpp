//===- foundation/Startup.cpp - Settings, language and log at start -------===//

#include "foundation/Startup.h"

#include "foundation/FileLogger.h"
#include "foundation/LogMgr.h"
#include "foundation/Registry.h"
#include "foundation/RegistryFile.h"
#include "foundation/StringTable.h"
#include "platform/Paths.h"

#include <boost/format.hpp>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <system_error>

namespace korvex {

namespace {

constexpr std::string_view kCommonSubkey = "common";
constexpr std::string_view kFullLogKey = "SOFTWARE\\KorvexData";
constexpr std::string_view kDisplayValues[] = {"DisplayBanner", "DisplayTrayIcon", "ExitConfirm",
                                              "HelpButton", "DisplayBorder"};
constexpr std::int32_t kWarnLevelForNormalLog = kLogWarn;

// The system's interface language in POSIX terms: the first of the three
// variables that is set and not empty, as setlocale() would pick it for
// messages.
LanguageId DetectSystemLanguage() {
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value && *value) return LanguageFromLocaleName(value);
  }
  return kLanguageEnglish;
}

}  // namespace

bool SeedFirstRunDefaults() {
  if (ReadDword(Hive::CurrentUser, kProductKey, kCommonSubkey, "FirstRun", 1) != 1) return true;
  bool allWritten = true;
  for (std::string_view name : kDisplayValues) {
    const std::string value = ReadString(Hive::LocalMachine, kProductKey, kCommonSubkey, name, "1");
    allWritten = WriteString(Hive::CurrentUser, kProductKey, kCommonSubkey, name, value) && allWritten;
  }
  if (!allWritten) return false;
  return WriteDword(Hive::CurrentUser, kProductKey, kCommonSubkey, "FirstRun", 0);
}

LanguageId ChooseLanguage() {
  const std::string stored = ReadString(Hive::CurrentUser, kProductKey, "Language", "");
  LanguageId chosen = LanguageFromSetting(stored);
  if (chosen == kLanguageUnset) {
    chosen = DetectSystemLanguage();
    // A failed write only means detection runs again next time.
    (void)WriteString(Hive::CurrentUser, kProductKey, "Language", LanguageSettingText(chosen));
  }
  SetCurrentLanguageIfUnset(chosen);
  return CurrentLanguage();
}

std::int32_t ReadLogLevel() {
  if (ReadDword(Hive::CurrentUser, kFullLogKey, "TurnOnFullLog", 0) != 0) return kLogTrace;
  const std::uint32_t stored = ReadDword(Hive::CurrentUser, kProductKey, "LogLevel", kLogNone);
  // A hand-edited 0xFFFFFFFF would otherwise turn into -1 and log everything.
  return stored > static_cast<std::uint32_t>(kLogNone) ? kLogNone : static_cast<std::int32_t>(stored);
}

std::filesystem::path PrepareLogFolder() {
  const std::filesystem::path folder = paths::AppDataDir() / "KorvexDataSMB";
  std::error_code error;
  std::filesystem::create_directories(folder.parent_path(), error);
  // Private from the start: the folder holds the logs, and a mode set after
  // creation would leave a window in which others could open it.
  // Failure is tolerated (the loggers then stay silent).
  (void)::mkdir(folder.c_str(), 0700);
  // A folder made earlier with looser modes (by hand, an older version, a
  // copied home) is tightened: the logs name files and accounts. Opened
  // without following a link, so that only the user's own folder changes.
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0) {
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_uid == ::getuid() && (st.st_mode & 077) != 0) (void)::fchmod(fd, 0700);
    ::close(fd);
  }
  return folder;
}

void StartLoggers(const std::filesystem::path& folder, std::int32_t level) {
  LogMgr& log = LogMgr::Get();
  log.SetThreshold(level);
  // The normal log is added last so that it is served first.
  if (level == kLogTrace || level == kLogDebug) {
    log.AddLogger(new FileLogger(folder / kVerboseLogFileName, level, true, kLogLineLimit));
    log.AddLogger(new FileLogger(folder / kLogFileName, kWarnLevelForNormalLog, true, kLogLineLimit));
  } else {
    log.AddLogger(new FileLogger(folder / kLogFileName, level, true, kLogLineLimit));
  }
}

StartupResult RunStartup() {
  (void)SeedFirstRunDefaults();
  StartupResult result;
  result.language = ChooseLanguage();
  result.logLevel = ReadLogLevel();
  result.logFolder = PrepareLogFolder();
  StartLoggers(result.logFolder, result.logLevel);
  LogMgr::Get().Info(nullptr, "Logger Started");
  result.settingsNotices = ReportSetAsideSettings();
  return result;
}

std::vector<std::string> ReportSetAsideSettings() {
  std::vector<std::string> notices;
  for (const SetAsideHive& hive : TakeSetAsideHives()) {
    LogMgr::Get().Error("Registry", "%s could not be parsed; kept as %s, settings reset to defaults",
                        hive.path.c_str(), hive.keptAs.c_str());
    notices.push_back(
        (boost::format(std::string(UiString(kIdsSettingsSetAside))) % hive.path.string() % hive.keptAs.string())
            .str());
  }
  return notices;
}

void RunShutdown() { LogMgr::Get().Info(nullptr, "Logger Stopped"); }

}  // namespace korvex
