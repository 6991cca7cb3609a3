//===- session/SessionStores.h - The stores of one logged-in session -*- C++ -*-===//
///
/// What the main window builds after login, for one korvex run: one service
/// back end with the session's cookies, and over it one DataStore per view
/// the command line reaches (the own disk, the folders shared with the
/// user, the sync folder), or, for an access-code session, the upload disk
/// alone. Stores are made when first asked for. The views borrow the
/// service back end, so it is declared first and destroyed last.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Deployment.h"
#include "platform/HResult.h"
#include "service/KorvexDataStoreRemote.h"
#include "session/RemotePath.h"
#include "session/SessionFile.h"
#include "store/DataStore.h"

#include <map>
#include <memory>

namespace korvex::session {

class SessionStores {
 public:
  SessionStores(const Session& session, const DeploymentValues& deployment);
  ~SessionStores();
  SessionStores(const SessionStores&) = delete;
  SessionStores& operator=(const SessionStores&) = delete;

  /// The store of `view`, or null with `status` set: E_ACCESSDENIED for a
  /// view the session cannot reach (an access-code session reaches only
  /// "upload:/", an account session everything else), or the back end's
  /// failure to open its connections.
  [[nodiscard]] DataStore* Store(RemoteView view, HRESULT& status);

  [[nodiscard]] const Session& GetSession() const noexcept { return session_; }
  /// Goes on with a new login of the same account: the stores made so far
  /// keep their caches and send the new cookies.
  void UseSession(const Session& session);

 private:
  [[nodiscard]] std::unique_ptr<IDataStoreRemote> MakeView(RemoteView view) const;

  Session session_;
  DeploymentValues deployment_;
  std::unique_ptr<KorvexDataStoreRemote> service_;  // borrowed by every view
  std::map<RemoteView, std::unique_ptr<DataStore>> stores_;
};

/// The status with which the service refuses a session it no longer knows.
inline constexpr HRESULT kSessionRefused = MakeHResult(0x804F2EEFu);

}  // namespace korvex::session
