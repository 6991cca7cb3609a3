//===- tasks/DirectoryTask.h - Copies one folder into another store -*- C++ -*-===//
///
/// Creates the folder on the target side, lists the source folder and turns
/// every entry into a task of the same family: a FileTask at the front of the
/// queue for each file, a DirectoryTask at the back for each sub-folder. A
/// folder's own files thus move before the next folder is expanded, and a
/// whole tree stops, resumes and restarts exactly like single files.
///
///   marker 0 (create target) --saved--> marker 1 (list, spawn children) --> (done)
///
/// A task read back with marker 1 was cut off while queuing its children, so
/// it runs before them and skips those already stored.
///
/// A cancel removes the target folder only when this task made it: a folder
/// that was there before (reused with the user's leave) holds the user's
/// files, and stays.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <span>
#include <string>
#include <utility>

#include "store/ObjectInfo.h"
#include "tasks/Task.h"

namespace korvex {

class DirectoryTask : public Task {
 public:
  /// The source folder goes into `targetParent` under its own name.
  DirectoryTask(std::uint32_t id, TaskFamily& family, const ContainerInfo& source, const ContainerInfo& targetParent);
  DirectoryTask(TaskFamily& family, const DirectoryTaskRecord& record);

  [[nodiscard]] bool Run(TaskRunContext& context) override;
  [[nodiscard]] bool RunCancel(TaskRunContext& context) override;
  void Finish(TaskRunContext&) override {}
  [[nodiscard]] TaskRecord Record() const override;

  [[nodiscard]] std::uint32_t Marker() const noexcept { return marker_; }

 private:
  /// S_OK when the target folder exists (made now or allowed to be reused);
  /// E_ABORT when the stop event came first.
  [[nodiscard]] HRESULT CreateTarget(TaskRunContext& context);
  /// For the family's own folder, once: refuses a tree that cannot go over
  /// whole (TreeCheck.h); the family then stops before anything is sent.
  [[nodiscard]] HRESULT CheckWholeTree(TaskRunContext& context);
  /// Reports `error` with `message` and stops the family; HR_TASK_STOPPED.
  [[nodiscard]] HRESULT StopFamily(TaskRunContext& context, HRESULT error, const std::string& message);
  [[nodiscard]] HRESULT Expand(TaskRunContext& context);
  /// Children are stored a batch at a time: one synchronous write each, and
  /// a bounded number of records in memory at once.
  static constexpr std::size_t kSaveBatch = 256;
  [[nodiscard]] HRESULT SaveChildren(TaskRunContext& context, std::span<const std::unique_ptr<Task>> batch);

  /// A child by what it copies where: source address and target folder.
  using ChildKey = std::pair<std::string, std::string>;
  [[nodiscard]] std::set<ChildKey> QueuedChildren() const;
  [[nodiscard]] static ChildKey KeyOf(const TaskRecord& record);

  ContainerInfo source_;
  ContainerInfo parent_;
  ContainerInfo target_;
  std::uint32_t marker_ = 0;
  /// The target folder did not exist and this task made it.
  bool createdTarget_ = false;
  bool treeChecked_ = false;
  /// Read back from the task store in the middle of its expansion.
  bool resumed_ = false;
};

}  // namespace korvex
