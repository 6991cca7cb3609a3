//===- tasks/Task.h - One unit of work of a transfer family -----*- C++ -*-===//
///
/// A task moves one file, expands one directory or synchronises one folder
/// pair. It lives in its family's queue; the family's executor takes it from
/// the front, runs it, and either destroys it (finished) or queues it again at
/// the back. Tasks report every step to the manager (TaskManager::OnTaskEvent)
/// and give up the processor as soon as the stop event is set.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>

#include "tasks/TaskRecords.h"

namespace korvex {

class Event;
class TaskFamily;
class TaskManager;

enum class TaskType : std::uint32_t {
  kDirectory = 1,
  kFile = 2,
  kSyncDirectory = 3,
};

/// What a running task may reach: the stop event of the executor running it
/// (set by the user's stop, the manager's shutdown, or the task itself when
/// the error rules stop the family) and the manager it reports to.
struct TaskRunContext {
  Event& stop;
  TaskManager& manager;
};

class Task {
 public:
  Task(TaskType type, std::uint32_t id, TaskFamily& family) noexcept
      : type_(type), id_(id), family_(family) {}
  virtual ~Task() = default;
  Task(const Task&) = delete;
  Task& operator=(const Task&) = delete;

  /// Performs the task. True when it is finished (done, skipped or given up)
  /// and may be destroyed; false to be queued again at the back, which is
  /// also the answer when the stop event interrupted it.
  [[nodiscard]] virtual bool Run(TaskRunContext& context) = 0;
  /// Used instead of Run() while the family is canceling: undoes what the task
  /// began on the target, deletes its task file and reports kEnded. False at
  /// once when the stop event is already set.
  [[nodiscard]] virtual bool RunCancel(TaskRunContext& context) = 0;
  /// Called after every Run()/RunCancel(), whatever they returned, to bring
  /// the task's own bookkeeping up to date.
  virtual void Finish(TaskRunContext& context) = 0;
  /// What the task store writes for this task, as it stands now.
  [[nodiscard]] virtual TaskRecord Record() const = 0;
  /// Bytes the task will move; only file tasks count towards a family total.
  [[nodiscard]] virtual std::uint64_t FileSize() const { return 0; }

  [[nodiscard]] TaskType Type() const noexcept { return type_; }
  [[nodiscard]] std::uint32_t Id() const noexcept { return id_; }
  [[nodiscard]] TaskFamily& Family() const noexcept { return family_; }

  /// Failed stream groups of a file task; the others leave it 0.
  std::uint32_t streamFailures = 0;

 private:
  TaskType type_;
  std::uint32_t id_;
  TaskFamily& family_;
};

}  // namespace korvex
