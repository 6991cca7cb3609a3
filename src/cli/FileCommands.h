//===- cli/FileCommands.h - ls, mkdir, rm, mv, cp, rename, space -*- C++ -*-===//
///
/// The commands on remote files. Each works through the DataStore of the
/// view its paths name, on the session kept by `korvex login`. Paths are
/// checked before anything is sent, so a mistyped one is a usage error.
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

struct FileArgs {
  std::vector<std::string> paths;  ///< ls: at most one; mv and cp: sources then the target folder
  std::string path;                ///< rename: the entry to rename
  std::string newName;             ///< rename
  std::uint32_t sortOrder = 1;     ///< ls: a DataStore sort order
  bool overwrite = false;          ///< mv, cp: replace a file of the same name
};

int RunLs(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args);
int RunMkdir(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args);
int RunRm(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args);
int RunMv(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args);
int RunCp(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args);
int RunRename(const GlobalOptions& options, const DeploymentValues& deployment, const FileArgs& args);

/// Used and total space of the account.
int RunSpace(const GlobalOptions& options, const DeploymentValues& deployment);

}  // namespace korvex::cli
