//===- app/SessionBackup.h - The backups of one login -----------*- C++ -*-===//
///
/// Hosts the account's sync service on the session's task manager, so that
/// backup runs appear in the transfer list like every transfer. Only one
/// process runs an account's backups (see BackupRunnerLock): when
/// `korvex daemon` already does, this one leaves its service's thread
/// stopped, still edits the folder pairs and the daily time (the daemon
/// reads "sync.cfg" again at every wake-up), asks the daemon to run a
/// backup now, and takes over when the daemon ends.
///
///   constructed --Start--> runner (lock held, thread running) --Stop--> stopped
///        |                    ^
///        +--lock busy--> watching --Start after the other runner ended
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Deployment.h"
#include "platform/HResult.h"
#include "session/SessionFile.h"
#include "sync/BackupRunnerLock.h"
#include "sync/SyncService.h"

#include <filesystem>
#include <functional>
#include <memory>

namespace korvex {
class KorvexDataStoreRemote;
class TaskManager;
}  // namespace korvex

namespace korvex::app {

/// How the runner names itself in the lock file.
inline constexpr char kDesktopRunnerName[] = "korvexdata";

class SessionBackup {
 public:
  /// `manager` runs the backups and must outlive this object; `taskFolder`
  /// is its task store's folder, where the runner lock lives.
  /// `runEnded` hears every backup run that ends, on the thread that ended
  /// it (see SyncServiceOptions::runEnded).
  SessionBackup(TaskManager& manager, const std::filesystem::path& taskFolder, const session::Session& session,
                const DeploymentValues& deployment, std::function<void(const BackupRun&)> runEnded = {});
  /// Stops the service.
  ~SessionBackup();
  SessionBackup(const SessionBackup&) = delete;
  SessionBackup& operator=(const SessionBackup&) = delete;

  /// Becomes the account's backup runner and starts the service's thread:
  /// S_OK when this process runs the backups (also when it did already),
  /// S_FALSE when another process does (see OtherRunner()).
  /// Backups start families, which only the process that runs the account's
  /// transfers may run: Start() waits (S_FALSE) while `mayRun` says no.
  void SetMayRun(std::function<bool()> mayRun) { mayRun_ = std::move(mayRun); }
  [[nodiscard]] HRESULT Start();
  /// Stops the thread and gives the runner's role up; backups already
  /// started stay with the task manager.
  void Stop();
  [[nodiscard]] bool IsRunner() const noexcept { return lock_.Held(); }
  /// The process that runs the backups when this one does not.
  [[nodiscard]] BackupRunner OtherRunner() const;

  /// Asks for a backup of every active pair now: on this process's thread
  /// when it is (or can become) the runner, otherwise of the other runner,
  /// who is put into `askedRunner`.
  [[nodiscard]] HRESULT BackUpNow(BackupRunner& askedRunner);

  [[nodiscard]] SyncService& Sync() noexcept { return *sync_; }

 private:
  std::function<bool()> mayRun_;
  std::unique_ptr<KorvexDataStoreRemote> backend_;  // shared by the per-run stores
  BackupRunnerLock lock_;
  std::unique_ptr<SyncService> sync_;
};

}  // namespace korvex::app
