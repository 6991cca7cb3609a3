//===- app/DesktopStartup.h - Start-up and shutdown of korvexdata -*- C++ -*-===//
///
/// The frame around the desktop client, in the order it runs:
///
///   settings, language, log --> update-install? --yes--> shutdown
///             |no
///   claim the instance -----already running--> knock --> shutdown (exit 0)
///             |first
///   watcher thread, update check
///             |
///   +--> login dialog --cancelled--------------------------> shutdown
///   |         |logged in
///   |    main window --exit------------------------------------> shutdown
///   +---------+logout
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>

namespace korvex::app {

/// The command line as one text (the arguments joined by spaces) and the
/// one word the main window reads from it.
struct DesktopCommandLine {
  std::string text;
  /// "reset" anywhere: the stored transfers are loaded stopped.
  bool reset = false;
};

[[nodiscard]] DesktopCommandLine JoinCommandLine(int argc, char** argv);

/// Runs the client; the process exit code, 0 on every orderly path.
/// Creates the QApplication itself.
[[nodiscard]] int RunDesktopClient(int argc, char** argv);

}  // namespace korvex::app
