//===- tasks/BinaryFileTaskStore.h - Families and tasks as files -*- C++ -*-===//
///
/// One small binary file per family ("<family>.tsf") and per unfinished task
/// ("<family>.<task>.tsk") in a per-account folder under the application-data
/// folder: <app data>/KorvexDataSMB/TaskStore/<account>/. Layouts are in
/// TaskRecords.h. Tasks saved together (a folder's children) share a batch
/// file instead, until one of them is saved alone (TaskBatchFiles.h).
///
/// Every save replaces its file atomically (temporary file, flush, rename):
/// a crash or a full disk during a save leaves the previous file, so neither
/// a transfer's progress nor the transfer itself is lost.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>
#include <string>
#include <string_view>

#include "tasks/TaskBatchFiles.h"
#include "tasks/TaskStore.h"

namespace korvex {

class TaskStoreContext;

class BinaryFileTaskStore : public TaskStore {
 public:
  /// Creates the folder for `accountFolder` (see FolderNameForAccount); a
  /// failure is logged and later file operations fail. `context` must
  /// outlive the store.
  BinaryFileTaskStore(std::string_view accountFolder, TaskStoreContext& context);

  /// `account` made safe as one path component: bytes other than letters,
  /// digits, '-', '_', '.', '@' and non-ASCII ones are written "%XX"; "." and
  /// ".." are escaped; an over-long name is cut and given a hash of the whole.
  [[nodiscard]] static std::string FolderNameForAccount(std::string_view account);

  [[nodiscard]] const std::filesystem::path& Folder() const noexcept { return folder_; }

  /// Families are loaded before their tasks; a task joins only a family that
  /// loaded. Directory tasks join at the back of the queue, file tasks at the
  /// front, and a directory task cut off while queuing its children (marker
  /// 1) at the very front, ahead of them. Bad files are skipped without a
  /// message and left on disk.
  [[nodiscard]] HRESULT LoadAll(FamilyMap& families) override;
  [[nodiscard]] HRESULT SaveFamily(const TaskFamily& family) override;
  [[nodiscard]] HRESULT SaveTask(const Task& task) override;
  /// One synchronous write and one file for every kTasksPerWrite tasks.
  [[nodiscard]] HRESULT SaveTasks(std::span<const Task* const> tasks) override;
  [[nodiscard]] HRESULT DeleteFamily(std::uint32_t familyId) override;
  [[nodiscard]] HRESULT DeleteTask(std::uint32_t familyId, std::uint32_t taskId) override;

 private:
  struct TaskSource;
  using TaskSources = std::map<std::pair<std::uint32_t, std::uint32_t>, TaskSource>;

  void LoadFamilyFile(const std::filesystem::path& file, std::uint32_t id, FamilyMap& families);
  /// Adds the unfinished entries of one batch file to `sources`, and tells
  /// the index what is unfinished; false for a bad batch.
  bool ReadBatch(std::uint32_t familyId, std::uint32_t firstTask, std::string& bytes, TaskSources& sources);
  /// Holds back a cut-off expansion in `expanding`, to be queued last.
  void LoadTask(const TaskSource& source, std::uint32_t familyId, std::uint32_t taskId, FamilyMap& families,
                std::vector<std::unique_ptr<Task>>& expanding);
  static constexpr std::size_t kTasksPerWrite = 256;
  [[nodiscard]] HRESULT SaveTasksTogether(std::span<const Task* const> tasks);
  /// The old way, one file each: for tasks that may have a file already.
  [[nodiscard]] HRESULT SaveTaskFiles(std::span<const Task* const> tasks, std::span<const std::string> bytes);
  [[nodiscard]] bool MayBatch(std::span<const Task* const> tasks) const;
  [[nodiscard]] std::filesystem::path TaskFile(std::uint32_t familyId, std::uint32_t taskId) const;
  [[nodiscard]] std::filesystem::path BatchFile(std::uint32_t familyId, std::uint32_t firstTask,
                                                const char* extension) const;
  [[nodiscard]] HRESULT Write(const std::filesystem::path& file, const std::string& bytes);

  std::filesystem::path folder_;
  TaskStoreContext& context_;
  /// Saves of one family may come from an executor and the UI thread at once;
  /// one at a time, each with a fresh snapshot, keeps the newest on disk.
  std::mutex writeMutex_;
  TaskBatchIndex batches_;     // under writeMutex_
  DoneListWriter doneLists_;   // under writeMutex_
};

}  // namespace korvex
