//===- app/TransferSession.h - The transfers of one login -------*- C++ -*-===//
///
/// Everything the window needs to run transfers for the logged-in account:
/// a service store of its own (over its own back end with the session's
/// cookies, so that executor threads never touch the caches the panes
/// browse), a local store over the whole file system (so that a family's
/// local end is a plain path, as the command-line client writes it too), the
/// account's task store with every stored family loaded, and the manager.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "cli/SessionStores.h"
#include "platform/HResult.h"
#include "store/ObjectInfo.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/TaskManager.h"
#include "tasks/TransferStoreContext.h"

#include <cstdint>
#include <memory>
#include <string>

namespace korvex::app {

/// A family made but not yet handed to the manager, with what the window
/// checks before it does so.
struct PreparedTransfer {
  std::shared_ptr<TaskFamily> family;
  std::string sourceName;  ///< the file or folder name being moved
  bool isFolder = false;
  std::uint64_t fileBytes = 0;  ///< size of a single file; 0 for a folder
};

class TransferSession {
 public:
  TransferSession(const cli::Session& session, const DeploymentValues& deployment, TaskManagerOptions options = {});
  /// Stops every executor; unfinished families stay stored for next time.
  ~TransferSession();
  TransferSession(const TransferSession&) = delete;
  TransferSession& operator=(const TransferSession&) = delete;

  /// Loads the stored families and starts the manager's thread; fails when
  /// the service store cannot be opened or the thread cannot start.
  [[nodiscard]] HRESULT Start();

  [[nodiscard]] TaskManager& Manager() noexcept { return manager_; }
  [[nodiscard]] std::shared_ptr<DataStore> LocalStore() const noexcept { return local_; }
  [[nodiscard]] std::shared_ptr<DataStore> ServiceStore() const noexcept { return service_; }

  /// Makes the family that moves `from` (a local path for an upload, a
  /// service address for a download; folders end in "/") into the folder
  /// `into` of the other side. HR_FILE_NOT_FOUND when `from` is gone.
  [[nodiscard]] HRESULT Prepare(TransferDirection direction, const std::string& from, const ContainerInfo& into,
                                PreparedTransfer& prepared);

 private:
  cli::SessionStores stores_;
  HRESULT serviceStatus_ = S_OK;
  std::shared_ptr<DataStore> service_;  // borrowed from stores_; null when it could not open
  std::shared_ptr<DataStore> local_;
  TransferStoreContext context_;
  BinaryFileTaskStore taskStore_;
  TaskManager manager_;  // last: its executors use everything above
};

}  // namespace korvex::app
