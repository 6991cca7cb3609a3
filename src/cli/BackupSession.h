//===- cli/BackupSession.h - The backup machinery of one account -*- C++ -*-===//
///
/// What `korvex backup` and `korvex daemon` work with: the account's task
/// store and task manager and its sync service. Editing the pairs needs no
/// service; running a backup does, and then every run gets fresh stores of
/// its own over one service back end, as the desktop client's sync does.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Deployment.h"
#include "service/KorvexDataStoreRemote.h"
#include "session/SessionFile.h"
#include "session/TransferOwner.h"
#include "store/DataStore.h"
#include "sync/SyncService.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/TaskManager.h"
#include "tasks/TransferStoreContext.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace korvex::cli {

// The command line is one front end of the session layer.
using namespace korvex::session;

class BackupSession {
 public:
  /// Editing only: no stores, no stored families.
  explicit BackupSession(const Session& session);
  /// Runs possible: `service` is the session's own-disk store (borrowed,
  /// it must outlive this object). The stored families are loaded once this
  /// run owns the account's transfers (AwaitOwnership); `program` names it
  /// to the others meanwhile. `runEnded` hears every backup run that ends
  /// (it must not block).
  BackupSession(const Session& session, const DeploymentValues& deployment, DataStore& service,
                const std::string& program, std::function<void(const BackupRun&)> runEnded = {});
  ~BackupSession();

  [[nodiscard]] TaskManager& Manager() noexcept { return manager_; }
  [[nodiscard]] SyncService& Sync() noexcept { return *sync_; }
  /// The account's task folder, where its runner locks live.
  [[nodiscard]] const std::filesystem::path& TaskFolder() const noexcept { return taskStore_.Folder(); }

  /// Runs only: waits until this process owns the account's transfers, saying
  /// once (prefixed with `who`) which process it waits for, and then loads
  /// the stored families. `stopWithin(ms)` waits that long for a request to
  /// stop and tells whether one came; then E_ABORT.
  [[nodiscard]] HRESULT AwaitOwnership(const std::function<bool(std::int64_t)>& stopWithin, const std::string& who);

  /// Goes on with a new login of the same account (runs only).
  void UseSession(const Session& session);

  /// Queues again the stopped backups whose failure `retry` accepts (every
  /// stopped backup without it); returns their ids.
  std::vector<std::uint32_t> ResumeStoppedBackups(bool (*retry)(HRESULT) = nullptr);

 private:
  std::unique_ptr<KorvexDataStoreRemote> backend_;  // shared by the per-run stores
  TransferStoreContext context_;
  BinaryFileTaskStore taskStore_;
  TaskManager manager_;
  std::unique_ptr<TransferOwner> owner_;  // runs only
  std::unique_ptr<SyncService> sync_;
};

/// A failure of the connection itself (time-out, name not resolved, cannot
/// connect, connection reset): worth retrying when the network returns.
[[nodiscard]] bool IsNetworkError(HRESULT status) noexcept;

}  // namespace korvex::cli
