//===- cli/AccountCommands.h - login, logout, whoami, accounts --*- C++ -*-===//
#pragma once

#include "foundation/Deployment.h"
#include "session/ClientStartup.h"

#include <optional>
#include <string>

namespace korvex::cli {

// The command line is one front end of the session layer.
using namespace korvex::session;

struct LoginArgs {
  std::string name;
  std::optional<std::string> domain;
  std::optional<std::string> code;
  bool passwordStdin = false;
  bool rememberPassword = false;
  bool noRememberAccount = false;
  bool autoLogin = false;
};

/// `korvex login NAME` or `korvex login --code CODE`: checks the input as
/// the login dialog does, logs in, applies the saved-account choices and
/// keeps the session. Without --domain, a saved account's domain is used.
int RunLogin(const GlobalOptions& options, const DeploymentValues& deployment, const LoginArgs& args);

/// Removes the kept session.
int RunLogout(const GlobalOptions& options);

/// The kept session's login name, display name, account name and root ids.
int RunWhoami(const GlobalOptions& options);

/// The saved accounts with their domain and whether a password is saved.
int RunAccounts(const GlobalOptions& options);

/// Forgets the saved account of `name`.
int RunForgetAccount(const GlobalOptions& options, const std::string& name);

}  // namespace korvex::cli
