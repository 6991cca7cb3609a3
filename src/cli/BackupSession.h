//===- cli/BackupSession.h - The backup machinery of one account -*- C++ -*-===//
///
/// What `korvex backup` and `korvex daemon` work with: the account's task
/// store and task manager and its sync service. Editing the pairs needs no
/// service; running a backup does, and then every run gets fresh stores of
/// its own over one service back end, as the desktop client's sync does.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "cli/SessionFile.h"
#include "foundation/Deployment.h"
#include "service/KorvexDataStoreRemote.h"
#include "store/DataStore.h"
#include "sync/SyncService.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/TaskManager.h"
#include "tasks/TransferStoreContext.h"

#include <functional>
#include <memory>
#include <vector>

namespace korvex::cli {

class BackupSession {
 public:
  /// Editing only: no stores, no stored families.
  explicit BackupSession(const Session& session);
  /// Runs possible: `service` is the session's own-disk store (borrowed,
  /// it must outlive this object); the stored families are loaded.
  /// `runEnded` hears every backup run that ends (it must not block).
  BackupSession(const Session& session, const DeploymentValues& deployment, DataStore& service,
                std::function<void(const BackupRun&)> runEnded = {});
  ~BackupSession();

  [[nodiscard]] TaskManager& Manager() noexcept { return manager_; }
  [[nodiscard]] SyncService& Sync() noexcept { return *sync_; }
  /// The account's task folder, where its runner locks live.
  [[nodiscard]] const std::filesystem::path& TaskFolder() const noexcept { return taskStore_.Folder(); }

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
  std::unique_ptr<SyncService> sync_;
};

/// A failure of the connection itself (time-out, name not resolved, cannot
/// connect, connection reset): worth retrying when the network returns.
[[nodiscard]] bool IsNetworkError(HRESULT status) noexcept;

}  // namespace korvex::cli
