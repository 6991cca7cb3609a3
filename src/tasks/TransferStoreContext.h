//===- tasks/TransferStoreContext.h - Rebuilds stored transfers -*- C++ -*-===//
///
/// The task store's view of a signed-in session: its service store, its
/// local store, and the file and directory tasks rebuilt from their records.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>

#include "tasks/TaskStoreContext.h"

namespace korvex {

class TransferStoreContext : public TaskStoreContext {
 public:
  TransferStoreContext(std::shared_ptr<DataStore> service, std::shared_ptr<DataStore> local)
      : service_(std::move(service)), local_(std::move(local)) {}

  [[nodiscard]] std::shared_ptr<DataStore> ServiceStore() override { return service_; }
  [[nodiscard]] std::shared_ptr<DataStore> LocalStore() override { return local_; }
  /// Downloads served from another service root are not offered by this
  /// client, so no family names one; a file that does is left on disk.
  [[nodiscard]] std::shared_ptr<DataStore> ServiceStoreForRoot(const std::string&) override { return nullptr; }
  [[nodiscard]] std::unique_ptr<Task> RebuildDirectoryTask(TaskFamily& family,
                                                           const DirectoryTaskRecord& record) override;
  [[nodiscard]] std::unique_ptr<Task> RebuildFileTask(TaskFamily& family, const FileTaskRecord& record) override;

 private:
  std::shared_ptr<DataStore> service_;
  std::shared_ptr<DataStore> local_;
};

}  // namespace korvex
