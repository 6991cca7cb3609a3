//===- service/Login.h - Logging in to and out of the service ---*- C++ -*-===//
///
/// One login: the request of the chosen mode to the web site, the answer's
/// session cookies and account fields, and the user's text for a failure.
/// It lives above net/ because the answer is the service's JSON envelope.
///
/// The session is a plain value owned by whoever logged in (the main window,
/// the command-line client); every store and requestor made for the login
/// takes its cookie values from it.
///
///   [input] --CheckLoginInput ok--> [sending] --Login ok--> [logged in]
///      ^                               |                        |
///      +------- failure + message -----+                        |
///      +---------------------------- Logout --------------------+
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "net/HttpRequestor.h"
#include "net/LoginForm.h"
#include "platform/HResult.h"

namespace korvex {

/// Statuses the login names on its own.
inline constexpr HRESULT HR_LOGIN_USER_MISSING = MakeHResult(0x804F000Cu);
inline constexpr HRESULT HR_LOGIN_NO_SERVICE = MakeHResult(0x804F000Du);
inline constexpr HRESULT HR_LOGIN_SERVICE_EXPIRED = MakeHResult(0x804F000Eu);
inline constexpr HRESULT HR_LOGIN_NOT_ACTIVATED = MakeHResult(0x804F000Fu);
inline constexpr HRESULT HR_LOGIN_PROFILE_MISSING = MakeHResult(0x8007D58Fu);
/// The service said yes but set no session cookie: nothing can be done with
/// such a login, so it counts as failed.
inline constexpr HRESULT HR_LOGIN_NO_SESSION = MakeHResult(0x804F2EEFu);

struct LoginSession {
  bool loggedIn = false;
  LoginMode mode = LoginMode::Account;
  std::string authPro;       ///< cookie "AUTH_PRO"
  std::string phpSessionId;  ///< cookie "PHPSESSID"
  std::int64_t rootDirId = 0;    ///< "dirid"; the upload folder of an access code
  std::int64_t secondDirId = 0;  ///< "secdirid", 0 when empty
  std::uint64_t fileSize = 0;    ///< "filesize", bytes in use
  bool isSubAccount = false;     ///< "issubaccount"
  std::int32_t status = 0;       ///< "status"
  std::int32_t accountClass = 0; ///< "class"
  std::string loginName;     ///< as typed (account mode)
  std::string domain;        ///< after CheckLoginInput
  std::string displayName;   ///< "name"
  std::string accountName;   ///< AccountName(loginName, domain)
};

struct LoginOptions {
  /// The body format of the account login (see FormatAccountLoginBody).
  std::string accountBodyFormat{kDefaultAccountLoginFormat};
  /// The adapter list sent as "macaddr"; MacAddressList() when not set.
  std::optional<std::string> macList;
};

struct LoginFailure {
  HRESULT status = S_OK;
  std::string message;         ///< the user text chosen for `status`
  std::string serviceMessage;  ///< the service's own "errmsg", when it sent one
  /// For HR_LOGIN_PROFILE_MISSING: the page where the account's profile is
  /// completed ("<web>/account/gotoweb/<AUTH_PRO>?src=/account/fillprofile").
  std::string webPage;
};

/// Logs in over `requestor`, which the caller has initialised for the
/// web-site base URL (it may be asynchronous; Login waits either way). Two
/// attempts: the second, without proxy and without cookies, only when the
/// first failed without an answer from the service. On success fills
/// `session` (loggedIn set), stores the cookies in `requestor` and returns
/// S_OK; on failure leaves `session` as it was, fills `failure` and returns
/// its status. Does not check the input (CheckLoginInput) and does not save
/// credentials (SaveCredentials): the caller does both.
/// Blocks the calling thread; never call it on the requestor's I/O thread.
[[nodiscard]] HRESULT Login(HttpRequestor& requestor, const LoginInput& input,
                            const LoginOptions& options, LoginSession& session,
                            LoginFailure& failure);

/// The user text for a failed login with `status`, by the login's table:
/// its own texts for 0x804F000C..F and 0x8007D58F, else the status-message
/// table, else "User name or password is error".
[[nodiscard]] std::string LoginFailureMessage(HRESULT status);

/// The account's own folder, "KorvexDataSMB/<account name>" under the
/// roaming application-data folder, where the sync service keeps its
/// state; created when missing (call it after a login with synchronisation
/// on). An account name that is not a plain folder name ("..", one with
/// "/") is refused with E_INVALIDARG rather than used as a path.
[[nodiscard]] HRESULT PrepareAccountFolder(const LoginSession& session,
                                           std::filesystem::path& folder);

/// Ends the login: first asks the owner to stop what runs on the session
/// (`stopServices`: the task manager and the sync service; may be empty),
/// then clears every session value.
void Logout(LoginSession& session, const std::function<void()>& stopServices);

}  // namespace korvex
