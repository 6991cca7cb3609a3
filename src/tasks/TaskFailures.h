//===- tasks/TaskFailures.h - Files a family gave up, and why ---*- C++ -*-===//
///
/// A family that meets a refusal no retry can heal gives that file up and
/// goes on with the others; what it gave up, and why, must outlive the run
/// (a `korvex transfers` in another process, the next start of the desktop
/// client). The family's options are its persisted free-form entries, and
/// the skip-after-error command already keeps each skipped file there as
/// "<source>--><target>" with " : Error by 0x<code>"; failures are kept the
/// same way, the error text after the code. The reason a family stopped
/// (the file it was on and the error text) is kept there too.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/HResult.h"

namespace korvex {

class Task;
class TaskFamily;

struct FailedTask {
  std::string source;
  std::string target;
  HRESULT error = S_OK;
  std::string text;  ///< the store's error text, possibly empty
};

/// The source and target paths of `task`.
[[nodiscard]] std::pair<std::string, std::string> TaskPaths(const Task& task);

/// Keeps `task` in the family's list of failures.
void RecordFailedTask(TaskFamily& family, const Task& task, HRESULT error, std::string_view text);
/// Every failure (and skipped file) the family's options hold, in key order.
[[nodiscard]] std::vector<FailedTask> FailedTasks(const TaskFamily& family);

/// Keeps the file the family stopped on and the error text, so that a
/// later listing can say why it stopped.
void RecordStopReason(TaskFamily& family, const Task& task, std::string_view text);
/// The file the family last stopped on, and the error text (either empty).
[[nodiscard]] std::pair<std::string, std::string> StopReason(const TaskFamily& family);

}  // namespace korvex
