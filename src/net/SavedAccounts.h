//===- net/SavedAccounts.h - Accounts remembered between runs ---*- C++ -*-===//
///
/// Each saved account is one credential: target "KorvexDataSMB" + login
/// name, user name the login name, comment "CredStringMap", and the secret
/// text "PSW:<password>;DOM:<domain>" (the password empty unless the user
/// asked to remember it). Reading splits at the LAST ";", so a password may
/// contain ";" and a domain may not. The choices around them (last user,
/// automatic login) are registry values under HKCU "SOFTWARE\KorvexDataSMB":
/// "LastLoginUser", "AutomaticLogin" (DWORD) and "AutomaticLoginUser".
///
/// The login dialog and the command-line client both drive these.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "net/CredentialStore.h"
#include "net/LoginForm.h"
#include "platform/HResult.h"

namespace korvex {

inline constexpr std::string_view kCredentialTargetPrefix = "KorvexDataSMB";
inline constexpr std::string_view kCredentialComment = "CredStringMap";

/// The dialog's three check boxes, with their initial states.
struct LoginChoices {
  bool rememberAccount = true;
  bool rememberPassword = false;
  bool automaticLogin = false;
};

/// What one saved account fills in.
struct SavedAccount {
  std::string password;  ///< empty when it was saved without the password
  std::string domain;
  bool rememberPassword = false;  ///< true exactly when a password was saved
};

/// The login names with a saved account, sorted.
[[nodiscard]] std::vector<std::string> ListSavedAccounts(CredentialStore& store);

/// Reads the account of `loginName` into `account`. On any failure (none
/// saved, a blob that does not open, a text without "PSW:...;DOM:...")
/// `account` is left as it was and the status says why.
[[nodiscard]] HRESULT LoadCredentials(CredentialStore& store, std::string_view loginName,
                                      SavedAccount& account);

/// After a successful account login. With a login name: deletes its saved
/// account when remember account is off, else saves it (with the password
/// only when remember password is on), and records it as "LastLoginUser".
/// Always: writes "AutomaticLogin" = 1 and "AutomaticLoginUser" = name when
/// automatic login is on, deletes both otherwise. A failure to store the
/// credential is logged and returned, but the login stands.
[[nodiscard]] HRESULT SaveCredentials(CredentialStore& store, const LoginInput& input,
                                      const LoginChoices& choices);

/// Forgets the saved account of `loginName` (the dialog then clears its
/// boxes). HR_FILE_NOT_FOUND when there was none.
[[nodiscard]] HRESULT DeleteCredentials(CredentialStore& store, std::string_view loginName);

/// The login dialog's state when it opens.
struct LoginDialogStart {
  std::vector<std::string> savedNames;  ///< for the name list
  std::string selectedName;             ///< "LastLoginUser" if saved, else the first; may be ""
  SavedAccount selected;                ///< the selected name's account, when it loaded
  bool automaticLoginChecked = false;   ///< "AutomaticLogin" set for a saved name
  /// Log in at once as selectedName (its password was saved). Never when
  /// `relogin` is set: after a logout the user chooses again.
  bool loginNow = false;
};

/// Steps of the dialog's start: the saved names, the preselected one with
/// its password and domain, and whether automatic login fires. `relogin` is
/// set for every login window after the first in one process.
[[nodiscard]] LoginDialogStart StartLoginDialog(CredentialStore& store, bool relogin);

}  // namespace korvex
