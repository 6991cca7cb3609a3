//===- app/StartupUpdate.h - Self-update at start-up ------------*- C++ -*-===//
///
/// The desktop client's part of the self-update:
///
///   korvexdata update PATH --> copy self over PATH, record, start PATH, end
///   korvexdata             --> result recorded? --yes--> tell it once --> go on
///                                    | no
///                                    v
///                              check (wait window) --update due--> prompt
///                                    | none / failed                  |
///                                    v                                v
///                                  go on             download, start installer, end
///                                                      (failure shown, go on)
///
//===----------------------------------------------------------------------===//
#pragma once

#include <optional>

#include "foundation/Deployment.h"

namespace korvex::app {

/// For "korvexdata update PATH": runs the installer (before any window
/// exists, so without a display as well) and returns the exit code.
/// Nothing for any other command line.
[[nodiscard]] std::optional<int> RunUpdateInstallMode(int argc, char** argv);

/// The start-up steps after the single-instance check. True when a new
/// version's installer has been started and this process should end now.
[[nodiscard]] bool RunStartupUpdate(const DeploymentValues& deployment);

}  // namespace korvex::app
