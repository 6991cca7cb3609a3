//===- session/AccountLogin.h - One login request for korvex --------*- C++ -*-===//
#pragma once

#include "foundation/Deployment.h"
#include "net/LoginForm.h"
#include "platform/HResult.h"
#include "service/Login.h"
#include "session/SessionFile.h"

namespace korvex::session {

/// Sends the login of `input` (already checked) to the deployment's web
/// site and fills `session` from the answer. On failure `failure` holds the
/// user text and the status is returned; `session` is left alone.
[[nodiscard]] HRESULT LogInToService(const LoginInput& input, const DeploymentValues& deployment,
                                     Session& session, LoginFailure& failure);

}  // namespace korvex::session
