//===- cli/BackupCommands.h - korvex backup and korvex daemon ---*- C++ -*-===//
///
/// The daily backup from the command line: `backup add|list|remove|pause|
/// resume|schedule|run` edit the account's backup folder pairs and its
/// daily time, or run a backup now and follow it; `daemon` keeps the task
/// manager, the sync service and the network watcher running in the
/// foreground until SIGTERM, as a systemd user service starts it.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "cli/SharingCommands.h"
#include "foundation/Deployment.h"
#include "session/ClientStartup.h"

#include <functional>
#include <string>

namespace CLI {
class App;
}

namespace korvex::cli {

// The command line is one front end of the session layer.
using namespace korvex::session;

struct BackupArgs {
  std::string local;   ///< a local folder
  std::string remote;  ///< a folder of the own disk
  std::string time;    ///< "HH:MM"
};

/// Adds `backup` with its sub-commands and `daemon`, parsing into `args`
/// (which must outlive the run); the chosen command hands its action to
/// `choose`.
void AddBackupCommands(CLI::App& app, BackupArgs& args, const std::function<void(CLI::App*, CommandAction)>& choose);

int RunBackupAdd(const GlobalOptions& options, const DeploymentValues& deployment, const BackupArgs& args);
int RunBackupList(const GlobalOptions& options);
int RunBackupEdit(const std::string& action, const BackupArgs& args);
int RunBackupSchedule(const GlobalOptions& options, const BackupArgs& args);
int RunBackupNow(const GlobalOptions& options, const DeploymentValues& deployment);
int RunDaemon(const GlobalOptions& options, const DeploymentValues& deployment);

}  // namespace korvex::cli
