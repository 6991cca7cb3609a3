//===- session/SessionRenewal.h - Logging in again with the saved account -*- C++ -*-===//
///
/// The service may end a session at any time (it expired, or the service
/// forgot it). Whoever meets that refusal first logs in again with the saved
/// password, so that a command, the daemon or the desktop client carries on
/// without asking; without a saved password only the user can log in again.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Deployment.h"
#include "session/SessionFile.h"

namespace korvex::session {

/// Logs in with the saved account of `session`'s login name and, on
/// success, replaces `session` and the session file. False when no password
/// is saved or the login fails.
[[nodiscard]] bool RenewSession(Session& session, const DeploymentValues& deployment);

}  // namespace korvex::session
