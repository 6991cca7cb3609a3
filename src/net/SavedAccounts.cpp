//===- net/SavedAccounts.cpp - Accounts remembered between runs ----------===//

#include "net/SavedAccounts.h"

#include <algorithm>

#include "foundation/LogMgr.h"
#include "foundation/Registry.h"

namespace korvex {
namespace {

constexpr const char* kCategory = "SavedAccounts";
constexpr const char* kLastLoginUser = "LastLoginUser";
constexpr const char* kAutomaticLogin = "AutomaticLogin";
constexpr const char* kAutomaticLoginUser = "AutomaticLoginUser";

std::string TargetOf(std::string_view loginName) {
  return std::string(kCredentialTargetPrefix) + std::string(loginName);
}

/// "PSW:<password>;DOM:<domain>" back into its parts. The last ";" splits,
/// because a password may hold ";" and a domain cannot.
bool ParseSecret(std::string_view text, SavedAccount& account) {
  const auto split = text.rfind(';');
  if (split == std::string_view::npos || split < 4) return false;
  const std::string_view password = text.substr(0, split);
  const std::string_view domain = text.substr(split + 1);
  if (!password.starts_with("PSW:") || !domain.starts_with("DOM:")) return false;
  account.password = std::string(password.substr(4));
  account.domain = std::string(domain.substr(4));
  account.rememberPassword = !account.password.empty();
  return true;
}

}  // namespace

std::vector<std::string> ListSavedAccounts(CredentialStore& store) {
  std::vector<Credential> credentials;
  if (Failed(store.Enumerate(kCredentialTargetPrefix, credentials))) return {};
  std::vector<std::string> names;
  for (const Credential& credential : credentials) {
    if (!credential.userName.empty()) names.push_back(credential.userName);
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

HRESULT LoadCredentials(CredentialStore& store, std::string_view loginName,
                        SavedAccount& account) {
  Credential credential;
  if (const HRESULT status = store.Read(TargetOf(loginName), credential); Failed(status)) {
    return status;
  }
  SavedAccount parsed;
  if (!ParseSecret(credential.secret, parsed)) {
    LogMgr::Get().Warn(kCategory, "The saved account of %.*s has an unreadable form",
                       static_cast<int>(loginName.size()), loginName.data());
    return HR_DECRYPT_FAILED;
  }
  account = std::move(parsed);
  return S_OK;
}

HRESULT SaveCredentials(CredentialStore& store, const LoginInput& input,
                        const LoginChoices& choices) {
  HRESULT status = S_OK;
  const std::string& name = input.loginName;
  if (!name.empty()) {
    if (!choices.rememberAccount) {
      status = store.Delete(TargetOf(name));
      if (status == HR_FILE_NOT_FOUND) status = S_OK;
    } else {
      const std::string password = choices.rememberPassword ? input.password : std::string();
      status = store.Write(Credential{TargetOf(name), name, std::string(kCredentialComment),
                                      "PSW:" + password + ";DOM:" + input.domain});
    }
    if (Failed(status)) {
      LogMgr::Get().Warn(kCategory, "Cannot update the saved account of %s: 0x%08X", name.c_str(),
                         static_cast<unsigned>(status));
    }
    if (!WriteString(Hive::CurrentUser, kProductKey, kLastLoginUser, name)) {
      LogMgr::Get().Warn(kCategory, "Cannot record the last login user");
    }
  }
  if (choices.automaticLogin && !name.empty()) {
    if (!WriteDword(Hive::CurrentUser, kProductKey, kAutomaticLogin, 1) ||
        !WriteString(Hive::CurrentUser, kProductKey, kAutomaticLoginUser, name)) {
      LogMgr::Get().Warn(kCategory, "Cannot record the automatic login");
    }
  } else {
    (void)DeleteValue(Hive::CurrentUser, kProductKey, kAutomaticLogin);
    (void)DeleteValue(Hive::CurrentUser, kProductKey, kAutomaticLoginUser);
  }
  return status;
}

HRESULT DeleteCredentials(CredentialStore& store, std::string_view loginName) {
  return store.Delete(TargetOf(loginName));
}

LoginDialogStart StartLoginDialog(CredentialStore& store, bool relogin) {
  LoginDialogStart start;
  start.savedNames = ListSavedAccounts(store);
  if (start.savedNames.empty()) return start;
  const auto isSaved = [&start](const std::string& name) {
    return std::find(start.savedNames.begin(), start.savedNames.end(), name) !=
           start.savedNames.end();
  };
  const std::string last = ReadString(Hive::CurrentUser, kProductKey, kLastLoginUser, "");
  start.selectedName = isSaved(last) ? last : start.savedNames.front();

  const std::string automaticUser =
      ReadString(Hive::CurrentUser, kProductKey, kAutomaticLoginUser, "");
  const bool automatic = isSaved(automaticUser) &&
                         ReadDword(Hive::CurrentUser, kProductKey, kAutomaticLogin, 0) != 0;
  start.automaticLoginChecked = automatic;
  if (automatic && !relogin) start.selectedName = automaticUser;
  const bool loaded = Succeeded(LoadCredentials(store, start.selectedName, start.selected));
  // Without a saved password the attempt could only fail; the user is
  // asked for it instead.
  start.loginNow = automatic && !relogin && loaded && !start.selected.password.empty();
  return start;
}

}  // namespace korvex
