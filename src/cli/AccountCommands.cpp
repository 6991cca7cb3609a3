//===- cli/AccountCommands.cpp - login, logout, whoami, accounts ----------===//

#include "cli/AccountCommands.h"

#include "cli/Console.h"
#include "cli/PasswordInput.h"
#include "cli/Texts.h"
#include "foundation/ShownText.h"
#include "net/CredentialStore.h"
#include "net/LoginInputCheck.h"
#include "net/SavedAccounts.h"
#include "session/AccountLogin.h"
#include "session/SessionFile.h"

#include <iostream>

namespace korvex::cli {

namespace {

// The credential store is opened only by the commands that need it: it may
// contact the desktop's keyring.
std::unique_ptr<CredentialStore> OpenCredentials() { return CredentialStore::Open(); }

int ReportLoginFailure(const LoginFailure& failure) {
  std::string text = failure.message;
  if (!failure.serviceMessage.empty() && failure.serviceMessage != text) text += " - " + failure.serviceMessage;
  ReportText(failure.status, text);
  if (!failure.webPage.empty()) std::cerr << failure.webPage << std::endl;
  return kExitFailure;
}

void PrintLoggedIn(const GlobalOptions& options, const Session& session) {
  if (options.json) {
    std::cout << "{\"account\":" << JsonString(session.accountName) << ",\"name\":" << JsonString(session.displayName)
              << ",\"accessCode\":" << (session.accessCode ? "true" : "false") << "}" << std::endl;
  } else if (session.accessCode) {
    std::cout << Text(kTxtLoggedInWithCode) << std::endl;
  } else {
    std::cout << Text(kTxtLoggedInAs) << " " << ShownText(session.accountName) << " (" << ShownText(session.displayName)
              << ")" << std::endl;
  }
}

}  // namespace

int RunLogin(const GlobalOptions& options, const DeploymentValues& deployment, const LoginArgs& args) {
  LoginInput input;
  std::unique_ptr<CredentialStore> credentials;
  if (args.code) {
    if (!args.name.empty()) return ReportMessage("login takes either NAME or --code, not both", kExitUsage);
    input.mode = LoginMode::AccessCode;
    input.accessCode = *args.code;
  } else {
    if (args.name.empty()) return ReportMessage("login needs NAME (or --code CODE)", kExitUsage);
    input.mode = LoginMode::Account;
    input.loginName = args.name;
    credentials = OpenCredentials();
    SavedAccount saved;
    if (args.domain) {
      input.domain = *args.domain;
    } else if (credentials && Succeeded(LoadCredentials(*credentials, args.name, saved))) {
      input.domain = saved.domain;
    }
  }
  if (const unsigned refusal = CheckLoginInput(input, deployment.serviceDomain); refusal != 0)
    return ReportMessage(LoginInputMessage(refusal, deployment.serviceDomain));
  if (input.mode == LoginMode::Account) {
    if (Failed(ReadPassword(args.passwordStdin, Text(kTxtPasswordPrompt), input.password)))
      return ReportMessage(Text(kTxtNoPassword));
  }

  Session session;
  LoginFailure failure;
  if (Failed(LogInToService(input, deployment, session, failure))) return ReportLoginFailure(failure);
  if (input.mode == LoginMode::Account && credentials) {
    LoginChoices choices;
    choices.rememberAccount = !args.noRememberAccount;
    choices.rememberPassword = args.rememberPassword;
    choices.automaticLogin = args.autoLogin;
    // The login stands even when the account cannot be remembered.
    if (Failed(SaveCredentials(*credentials, input, choices))) ReportMessage(Text(kTxtAccountNotSaved), kExitOk);
  }
  if (const HRESULT hr = SaveSession(session); Failed(hr)) return ReportFailure(hr, SessionFilePath().string());
  PrintLoggedIn(options, session);
  return kExitOk;
}

int RunLogout(const GlobalOptions&) {
  if (const HRESULT hr = DeleteSession(); Failed(hr)) return ReportFailure(hr, SessionFilePath().string());
  return kExitOk;
}

int RunWhoami(const GlobalOptions& options) {
  Session session;
  if (Failed(LoadSession(session))) return ReportMessage(Text(kTxtNotLoggedIn));
  if (options.json) {
    std::cout << "{\"login\":" << JsonString(session.loginName) << ",\"name\":" << JsonString(session.displayName)
              << ",\"account\":" << JsonString(session.accountName)
              << ",\"accessCode\":" << (session.accessCode ? "true" : "false") << ",\"rootId\":" << session.rootId
              << ",\"sharesRootId\":" << session.shareRootId << "}" << std::endl;
    return kExitOk;
  }
  Table table({"", ""});
  if (session.accessCode) {
    table.AddRow({std::string(Text(kTxtAccessCodeSession)), ""});
  } else {
    table.AddRow({std::string(Text(kTxtLoginName)), session.loginName});
    table.AddRow({std::string(Text(kTxtDisplayName)), session.displayName});
    table.AddRow({std::string(Text(kTxtAccount)), session.accountName});
  }
  table.AddRow({std::string(Text(kTxtRootId)), std::to_string(session.rootId)});
  if (!session.accessCode) table.AddRow({std::string(Text(kTxtSharesId)), std::to_string(session.shareRootId)});
  table.Print(false);
  return kExitOk;
}

int RunAccounts(const GlobalOptions& options) {
  std::unique_ptr<CredentialStore> credentials = OpenCredentials();
  if (!credentials) return ReportFailure(E_FAIL, "saved accounts");
  Table table({"NAME", "DOMAIN", "PASSWORD"});
  std::string json = "[";
  for (const std::string& name : ListSavedAccounts(*credentials)) {
    SavedAccount account;
    (void)LoadCredentials(*credentials, name, account);
    table.AddRow({name, account.domain, account.rememberPassword ? "saved" : "-"});
    if (json.size() > 1) json += ",";
    json += "{\"name\":" + JsonString(name) + ",\"domain\":" + JsonString(account.domain) +
            ",\"passwordSaved\":" + (account.rememberPassword ? "true" : "false") + "}";
  }
  if (options.json) {
    std::cout << json << "]" << std::endl;
  } else {
    table.Print();
  }
  return kExitOk;
}

int RunForgetAccount(const GlobalOptions&, const std::string& name) {
  std::unique_ptr<CredentialStore> credentials = OpenCredentials();
  if (!credentials) return ReportFailure(E_FAIL, "saved accounts");
  const HRESULT hr = DeleteCredentials(*credentials, name);
  if (hr == HR_FILE_NOT_FOUND) return ReportMessage(std::string(Text(kTxtNoSavedAccount)) + " " + name);
  if (Failed(hr)) return ReportFailure(hr, name);
  return kExitOk;
}

}  // namespace korvex::cli
