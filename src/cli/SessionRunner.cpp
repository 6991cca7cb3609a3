//===- cli/SessionRunner.cpp - Running a command on the saved session -----===//

#include "cli/SessionRunner.h"

#include "cli/AccountLogin.h"
#include "cli/Console.h"
#include "cli/Texts.h"
#include "foundation/LogMgr.h"
#include "net/CredentialStore.h"
#include "net/SavedAccounts.h"

namespace korvex::cli {

bool RenewSession(Session& session, const DeploymentValues& deployment) {
  if (session.accessCode || session.loginName.empty()) return false;
  std::unique_ptr<CredentialStore> credentials = CredentialStore::Open();
  SavedAccount account;
  if (!credentials || Failed(LoadCredentials(*credentials, session.loginName, account)) || account.password.empty())
    return false;
  LoginInput input;
  input.mode = LoginMode::Account;
  input.loginName = session.loginName;
  input.password = account.password;
  input.domain = account.domain;
  Session renewed;
  LoginFailure failure;
  if (Failed(LogInToService(input, deployment, renewed, failure))) {
    LogMgr::Get().Warn("korvex", "Renewing the session failed, ret = %08X", static_cast<unsigned>(failure.status));
    return false;
  }
  if (Failed(SaveSession(renewed))) LogMgr::Get().Warn("korvex", "Cannot keep the renewed session");
  session = std::move(renewed);
  return true;
}

int RunWithSession(const GlobalOptions&, const DeploymentValues& deployment, const SessionCommand& command) {
  Session session;
  // A session made with another web site belongs to another service.
  if (Failed(LoadSession(session)) || session.webUrl != deployment.webUrl) return ReportMessage(Text(kTxtNotLoggedIn));
  for (int attempt = 0;; ++attempt) {
    CommandOutcome outcome;
    {
      SessionStores stores(session, deployment);
      outcome = command(stores);
    }
    if (outcome.status == kSessionRefused && attempt == 0) {
      if (RenewSession(session, deployment)) continue;
      return ReportMessage(Text(kTxtSessionExpired));
    }
    if (Failed(outcome.status)) return ReportFailure(outcome.status, outcome.subject, outcome.fallback);
    return kExitOk;
  }
}

}  // namespace korvex::cli
