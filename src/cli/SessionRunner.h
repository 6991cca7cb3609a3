//===- cli/SessionRunner.h - Running a command on the saved session -*- C++ -*-===//
///
/// Commands that talk to the service run on the session `korvex login` kept.
/// When the service refuses that session (it expired or the service
/// forgot it), the command logs in once more with the saved account if its
/// password was saved, keeps the new session and runs again; otherwise the
/// user is told to run `korvex login`.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Deployment.h"
#include "platform/HResult.h"
#include "session/ClientStartup.h"
#include "session/SessionRenewal.h"
#include "session/SessionStores.h"

#include <functional>
#include <string>

namespace korvex::cli {

// The command line is one front end of the session layer.
using namespace korvex::session;

/// What a command body reports: its status and, on failure, what it was
/// working on (a path) for the message.
struct CommandOutcome {
  HRESULT status = S_OK;
  std::string subject;
  /// Text for a status the status-message table does not name.
  std::string fallback;
};

using SessionCommand = std::function<CommandOutcome(SessionStores&)>;

/// Loads the session, runs `command` (again after a renewed login when the
/// service refused the session) and turns the outcome into an exit code,
/// reporting a failure on standard error.
int RunWithSession(const GlobalOptions& options, const DeploymentValues& deployment,
                   const SessionCommand& command);

}  // namespace korvex::cli
