//===- cli/MountCommand.h - korvex mount ------------------------*- C++ -*-===//
///
/// `korvex mount MOUNTPOINT [--read-only] [--cache-dir DIR] [--cache-size
/// SIZE] [--daemon]`: serves the account's views as a folder until
/// unmounted; with --daemon a detached copy serves it, and the command
/// returns once the folder is mounted (or says why it was not). Files
/// written there go up as file tasks of this account, so they show in
/// `korvex transfers` and the desktop client's list like any upload.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "cli/SharingCommands.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <string>

namespace korvex::cli {

struct MountArgs {
  std::string mountpoint;
  bool readOnly = false;
  std::string cacheDir;
  std::string cacheSize = "1G";
  bool debug = false;
  bool daemon = false;
  bool remember = false;  ///< also mount it whenever `korvex daemon` starts
  bool forget = false;    ///< no longer, and do not mount now
};

void AddMountCommand(CLI::App& app, MountArgs& args, const std::function<void(CLI::App*, CommandAction)>& choose);

int RunMount(const GlobalOptions& options, const DeploymentValues& deployment, const MountArgs& args);

}  // namespace korvex::cli
