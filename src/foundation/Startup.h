//===- foundation/Startup.h - Settings, language and log at start -*- C++ -*-===//
///
/// The part of process start-up that the GUI and the command-line client
/// share: seed the per-user display settings on the first run, choose the
/// interface language, read the log level and start the log files. Nothing
/// here fails: every setting falls back to its default, and a log folder
/// that cannot be written leaves the client running without a log.
///
/// Call RunStartup() once, on the first thread, before other threads start;
/// call RunShutdown() as the last step of an orderly exit.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Language.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

struct StartupResult {
  LanguageId language = kLanguageUnset;  ///< the process-wide language after start-up
  std::int32_t logLevel = 6;             ///< the log threshold in effect
  std::filesystem::path logFolder;       ///< where the log files go (may be unwritable)
  /// For the user: one text per settings hive that could not be read and
  /// was set aside (see ReportSetAsideSettings).
  std::vector<std::string> settingsNotices;
};

/// Every line of both logs, across both files, before one is emptied.
inline constexpr std::uint32_t kLogLineLimit = 1048576;
inline constexpr std::string_view kLogFileName = "KorvexDataSMB.log";
inline constexpr std::string_view kVerboseLogFileName = "KorvexDataSMB.verbose.log";

/// Runs the steps below in order, logs "Logger Started" and collects the
/// settings notices.
StartupResult RunStartup();

/// Logs an Error for every settings hive set aside since the last call
/// (reading settings before the loggers ran could not log it) and returns
/// the texts that tell the user, in the current language, once per hive.
/// Call it after StartLoggers; the GUI and the CLI show what it returns.
[[nodiscard]] std::vector<std::string> ReportSetAsideSettings();

/// Logs "Logger Stopped"; the files are already flushed line by line.
void RunShutdown();

/// While HKCU "common\FirstRun" is 1 (or missing), copies the five display
/// values from HKLM (each "1" when HKLM lacks it) and then sets FirstRun to
/// 0. Returns false when a write failed; FirstRun then stays 1 so that the
/// next start tries again.
bool SeedFirstRunDefaults();

/// The stored "Language" decides ("zh"/"zh-cn" Chinese, anything else
/// English); when it is empty, the locale from LC_ALL, LC_MESSAGES or LANG
/// (the first one set) decides and the choice is stored as "zh" or "en".
/// Sets the process-wide language unless it is already set, and returns the
/// process-wide language. Any thread that needs the choice may call it.
LanguageId ChooseLanguage();

/// "LogLevel" (default 6), or 0 when HKCU "SOFTWARE\KorvexData"
/// "TurnOnFullLog" is non-zero. Values above 6 count as 6.
[[nodiscard]] std::int32_t ReadLogLevel();

/// AppDataDir()/KorvexDataSMB, created with mode 0700 when missing, and
/// tightened to 0700 when the user's own folder has looser modes (failure
/// tolerated).
std::filesystem::path PrepareLogFolder();

/// Sets the manager's threshold to `level` and adds the file loggers: at
/// level 0 or 1 a verbose log at that level plus the normal log at level 3,
/// otherwise the normal log alone at `level`. Files appear with their first
/// line only.
void StartLoggers(const std::filesystem::path& folder, std::int32_t level);

}  // namespace korvex
