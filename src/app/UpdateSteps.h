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
/// installs the running program there, starts it and returns true, and
/// start-up goes straight to shutdown. Returns false for any other command
/// line. Runs after the log has started, before the single-instance claim.
[[nodiscard]] bool RunUpdateInstall(const std::string& commandLine);

/// Reports the result of an update installed by the previous start, then
/// checks for a newer version before any window shows. Returns when
/// start-up should go on to the login.
void RunStartupUpdateCheck();

}  // namespace korvex::app
