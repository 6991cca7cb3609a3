//===- session/SessionRenewal.cpp - Logging in again with the saved account -===//

#include "session/SessionRenewal.h"

#include "foundation/LogMgr.h"
#include "net/CredentialStore.h"
#include "net/SavedAccounts.h"
#include "session/AccountLogin.h"

namespace korvex::session {

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

}  // namespace korvex::session
