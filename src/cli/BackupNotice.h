//===- cli/BackupNotice.h - Telling the user how a backup went --*- C++ -*-===//
///
/// The words `korvex backup list` and `backup run` use for a pair's last
/// run, and what `korvex daemon` does when a run ends with files skipped or
/// failed: a warning line on standard error and in the log, and a desktop
/// notification when a session bus is there (nobody reads a daemon's
/// output as it comes).
///
//===----------------------------------------------------------------------===//
#pragma once

#include "sync/BackupRuns.h"

#include <string>

namespace korvex::cli {

/// "done, 3 uploaded", "skipped 2 files, 3 uploaded", "failed: <why>",
/// "stopped", "running".
[[nodiscard]] std::string BackupRunSummary(const BackupRun& run);
/// One line per skipped file: "PATH: <why> (0xCODE)".
[[nodiscard]] std::vector<std::string> SkippedLines(const BackupRun& run);

/// For a run that skipped files or failed: the warning line and the
/// desktop notification. Returns at once; nothing for a run that went well.
void AnnounceBackupRun(const BackupRun& run);

}  // namespace korvex::cli
