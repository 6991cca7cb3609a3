//===- cli/UpdateCommands.h - korvex update and korvex diagnose -*- C++ -*-===//
#pragma once

#include <string>

#include "session/ClientStartup.h"

namespace korvex::cli {

// The command line is one front end of the session layer.
using namespace korvex::session;

struct UpdateArgs {
  bool check = false;
  /// Set when korvex runs as the installer of an update ("update PATH").
  std::string installTarget;
};

/// `korvex update --check` reports whether the web site publishes a newer
/// korvex; `korvex update` also downloads it and replaces this program,
/// waiting for the replacement and reporting its result. `korvex update
/// PATH` is the installer's half: copy this program over PATH.
int RunUpdate(const GlobalOptions& options, const DeploymentValues& deployment, const UpdateArgs& args);

/// `korvex diagnose`: the network check, its report and its verdict.
/// Ctrl-C cancels it.
int RunDiagnose(const GlobalOptions& options, const DeploymentValues& deployment);

}  // namespace korvex::cli
