//===- session/SessionFile.h - The login kept between korvex runs ---*- C++ -*-===//
///
/// `korvex login` keeps the session (cookies, root ids, account) so that
/// later commands do not log in again. The file holds live session cookies,
/// so it is written atomically with mode 0600 in a folder of mode 0700 under
/// the per-user application-data folder, and never logged.
///
/// Format: one "key=value" line per field, UTF-8; unknown keys are ignored
/// so that a newer client's file still loads. Values never hold a line
/// break (cookies and names cannot).
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace korvex::session {

struct Session {
  /// True for an access-code visitor: only uploads into `rootId` are possible.
  bool accessCode = false;
  /// The code such a visitor entered; every upload names it.
  std::string uploadCode;
  std::string loginName;
  std::string domain;
  std::string accountName;  ///< "name@domain", or the login name alone
  std::string displayName;
  std::string authPro;
  std::string phpSessionId;
  std::uint64_t rootId = 0;       ///< "dirid": the own disk, or the upload folder
  std::uint64_t shareRootId = 0;  ///< "secdirid": the folders shared with the user
  bool subAccount = false;
  /// The web site the session was made with; a session of another
  /// deployment does not count.
  std::string webUrl;
};

/// AppDataDir()/KorvexDataSMB/korvex-session.
[[nodiscard]] std::filesystem::path SessionFilePath();

/// Reads the file. HR_FILE_NOT_FOUND when there is none; E_INVALIDARG when
/// it lacks the cookie or the root id.
[[nodiscard]] HRESULT LoadSession(Session& session);

/// Writes the file (0600), replacing the old one whole.
[[nodiscard]] HRESULT SaveSession(const Session& session);

/// Removes the file; S_OK also when there was none.
[[nodiscard]] HRESULT DeleteSession();

}  // namespace korvex::session
