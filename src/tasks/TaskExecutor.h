//===- tasks/TaskExecutor.h - The thread that runs one family ---*- C++ -*-===//
///
/// While its family has tasks and nobody asked it to stop, the executor takes
/// the front task, runs it (or its cancel routine while the family is
/// canceling), lets it finish its bookkeeping, and then destroys it or queues
/// it again at the back. A stop takes effect between tasks, or inside a task
/// that watches the stop event.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <memory>

#include "tasks/ThreadBase.h"

namespace korvex {

class TaskFamily;
class TaskManager;

class TaskExecutor : public ThreadBase {
 public:
  /// Puts the family into the running state (its run clock starts now).
  TaskExecutor(std::shared_ptr<TaskFamily> family, TaskManager& manager);
  ~TaskExecutor() override;

  [[nodiscard]] TaskFamily& Family() const noexcept { return *family_; }

 protected:
  void Run() override;

 private:
  std::shared_ptr<TaskFamily> family_;
  TaskManager& manager_;
};

}  // namespace korvex
