//===- app/UpdateSteps.h - Start-up's calls into the self-update -*- C++ -*-===//
///
/// The two places where start-up hands over to the self-update. Start-up
/// calls each exactly once, in this order, and knows nothing else about it.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

namespace korvex::app {

/// Update-install mode. When `commandLine` starts with the word "update",
/// the rest after one separator is the path of the program file to replace:
/// installs the running program there (see update/UpdateInstall.h; only a
/// copy of this program is ever replaced), starts it and returns true, and
/// start-up goes straight to shutdown. Returns false for any other command
/// line. Runs after the log has started, before the single-instance claim.
[[nodiscard]] bool RunUpdateInstall(const std::string& commandLine);

/// Reports the result of an update installed by the previous start, then
/// checks for a newer version before any window shows:
///
///   result recorded? --yes--> tell it once ------------------------> false
///        | no
///        v
///   check (wait window) --none, or failed (only logged)------------> false
///        | update due
///        v
///   prompt, download, start the installer --started----------------> true
///                                          --failed (shown)---------> false
///
/// True when the new version's installer runs and this process should end
/// at once; false when start-up goes on to the login.
[[nodiscard]] bool RunStartupUpdateCheck();

}  // namespace korvex::app
