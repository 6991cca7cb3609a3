//===- cli/TransferCommands.h - put, get and transfers ----------*- C++ -*-===//
///
/// File and folder transfers from the command line. `put` and `get` start
/// one transfer family per source and follow them to the end with a progress
/// line; `transfers` lists and steers the families the task store keeps, so
/// that a transfer cut off by Ctrl-C or a crash resumes where it stopped.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Deployment.h"
#include "session/ClientStartup.h"

#include <cstdint>
#include <string>
#include <vector>

namespace korvex::cli {

// The command line is one front end of the session layer.
using namespace korvex::session;

struct TransferArgs {
  /// put: local sources, then optionally the remote folder; get: remote
  /// sources, then optionally the local folder.
  std::vector<std::string> paths;
  bool overwrite = false;
  /// put: encrypt every file with a password asked for (or read from
  /// standard input); without it the default password, when one is set.
  bool encrypt = false;
  bool passwordStdin = false;
  /// put/get: queue the transfers and return; they run in a detached
  /// `korvex transfers resume`.
  bool background = false;
  /// transfers: list, stop, resume, cancel, remove or clear.
  std::string action = "list";
  std::vector<std::uint32_t> ids;
  /// put, get, transfers resume: how long a transient error may last before
  /// the command gives up (the transfer is kept, resumable).
  std::string retryFor = "3m";
};

int RunPut(const GlobalOptions& options, const DeploymentValues& deployment, const TransferArgs& args);
int RunGet(const GlobalOptions& options, const DeploymentValues& deployment, const TransferArgs& args);
int RunTransfers(const GlobalOptions& options, const DeploymentValues& deployment, const TransferArgs& args);

}  // namespace korvex::cli
