//===- cli/AccountTransfers.h - A korvex run's view of the account's transfers -*- C++ -*-===//
///
/// `put`, `get` and `transfers` all see families through to their end the
/// same way. When no other process owns the account's transfers, this one
/// becomes the owner (see session/TransferOwner.h): it loads the stored
/// families, runs them, takes in families other processes hand over, and on
/// its way out hands every unfinished one back queued. When another process
/// owns them, the families this run makes are written to the store for that
/// owner to run, and the run follows their records, ready to take over
/// should the owner end first.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "cli/SessionRunner.h"
#include "foundation/Deployment.h"
#include "session/SessionStores.h"
#include "session/TransferOwner.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/TaskManager.h"
#include "tasks/TransferStoreContext.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace korvex::cli {

// The command line is one front end of the session layer.
using namespace korvex::session;

/// Ctrl-C and SIGTERM end the wait of the run instead of the process, so
/// that families stop with their progress kept.
class InterruptGuard {
 public:
  InterruptGuard();
  ~InterruptGuard();
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;
  [[nodiscard]] static bool Interrupted() noexcept;

 private:
  void (*old_)(int);
  void (*oldTerm_)(int);
};

/// "queued", "stopped", "running" or "completed".
[[nodiscard]] const char* StateName(FamilyState state);

/// Ctrl-C while another process runs the families: this run stops
/// following them, and they go on there (ERROR_CANCELLED).
inline constexpr HRESULT kStoppedFollowing = HResultFromWin32(1223);

/// "the service ended the session; run `korvex login`", as an outcome status.
inline constexpr HRESULT kSessionEnded = kSessionRefused;

class Transfers {
 public:
  /// `service` is the store families borrow (it must outlive this object).
  /// `managerOptions` say, among others, how long a command that waits
  /// for its transfers retries before it gives up.
  Transfers(SessionStores& stores, DataStore& service, const DeploymentValues& deployment,
            TaskManagerOptions managerOptions = {});
  /// Hands the families back when this run owns them.
  ~Transfers();
  Transfers(const Transfers&) = delete;
  Transfers& operator=(const Transfers&) = delete;

  /// Becomes the owner when nobody is and starts running: S_OK when this
  /// run owns the transfers, S_FALSE when another process does.
  [[nodiscard]] HRESULT TryOwn();
  /// Waits until this run owns the transfers (saying once who it waits
  /// for), calling `busy` with the owner at every step. E_ABORT on Ctrl-C.
  [[nodiscard]] HRESULT Own(void (*busy)(const TransferHolder&) = nullptr);
  /// Loads the stored families for reading only.
  void LoadForReading();

  [[nodiscard]] TaskManager& Manager() noexcept { return manager_; }
  [[nodiscard]] TransferOwner& Owner() noexcept { return owner_; }
  [[nodiscard]] std::shared_ptr<DataStore> Local() const { return local_; }

  /// Sees `ids` to their end: runs them while this run owns the transfers,
  /// else follows their records until they end or the owner goes, and then
  /// takes over. The status of the first family that did not complete,
  /// E_ABORT on Ctrl-C (kStoppedFollowing when another process runs them), kSessionEnded when the service ended the session
  /// and no saved password could renew it.
  [[nodiscard]] HRESULT SeeThrough(const std::vector<std::uint32_t>& ids);
  /// SeeThrough, then says how the families ended: each file given up with
  /// its reason, or where a stopped family stopped (see ReportTransferEnd).
  [[nodiscard]] CommandOutcome FollowAndReport(const std::vector<std::uint32_t>& ids, bool json);

 private:
  [[nodiscard]] HRESULT FollowOwned(const std::vector<std::uint32_t>& ids);
  /// S_FALSE when the owner went and this run owns the transfers now.
  [[nodiscard]] HRESULT FollowStored(const std::vector<std::uint32_t>& ids);

  SessionStores& stores_;
  DeploymentValues deployment_;
  std::shared_ptr<DataStore> service_;
  std::shared_ptr<DataStore> local_;
  TransferStoreContext context_;
  BinaryFileTaskStore taskStore_;
  TaskManager manager_;
  TransferOwner owner_;
  /// File tasks that ended (done or given up) in the last FollowOwned.
  std::size_t filesEnded_ = 0;
};

}  // namespace korvex::cli
