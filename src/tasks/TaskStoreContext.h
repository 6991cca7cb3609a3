//===- tasks/TaskStoreContext.h - What rebuilding a family needs -*- C++ -*-===//
///
/// A stored family names its stores only by direction and service root, and
/// a stored task only by its record; the application knows the live stores
/// and the task classes. Loading asks it through this interface, so that the
/// store files stay independent of how stores and tasks are made.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>
#include <string>

#include "tasks/TaskRecords.h"

namespace korvex {

class DataStore;
class Task;
class TaskFamily;

class TaskStoreContext {
 public:
  virtual ~TaskStoreContext() = default;

  /// The application's service store.
  [[nodiscard]] virtual std::shared_ptr<DataStore> ServiceStore() = 0;
  /// The application's local file-system store.
  [[nodiscard]] virtual std::shared_ptr<DataStore> LocalStore() = 0;
  /// A private service store working under `root`; null when none can be
  /// made (the family is then not rebuilt).
  [[nodiscard]] virtual std::shared_ptr<DataStore> ServiceStoreForRoot(const std::string& root) = 0;

  /// A task of `family` rebuilt from its record, or null to leave it out.
  [[nodiscard]] virtual std::unique_ptr<Task> RebuildDirectoryTask(TaskFamily& family,
                                                                   const DirectoryTaskRecord& record) = 0;
  [[nodiscard]] virtual std::unique_ptr<Task> RebuildFileTask(TaskFamily& family,
                                                              const FileTaskRecord& record) = 0;
};

}  // namespace korvex
