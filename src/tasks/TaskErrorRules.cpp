//===- tasks/TaskErrorRules.cpp - What a task's error leads to ------------===//

#include "tasks/TaskErrorRules.h"

#include <algorithm>

#include "store/DataStore.h"
#include "tasks/ConflictAnswers.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/FileTask.h"
#include "tasks/Task.h"
#include "tasks/TaskManager.h"

namespace korvex {
namespace {

using Action = ErrorRuleOutcome::Action;

ErrorRuleOutcome Report(ErrorDetail detail, std::optional<std::uint32_t> answer = std::nullopt) {
  return {Action::kReport, detail, answer};
}

ErrorRuleOutcome Pass(std::optional<std::uint32_t> answer = std::nullopt) {
  return {Action::kPass, ErrorDetail::kNormal, answer};
}

}  // namespace

bool IsFinalForFile(HRESULT e) noexcept {
  switch (static_cast<std::uint32_t>(e)) {
    case static_cast<std::uint32_t>(HR_FILE_NOT_FOUND):
    case static_cast<std::uint32_t>(HR_PATH_NOT_FOUND):
    case static_cast<std::uint32_t>(E_ACCESSDENIED):
    case static_cast<std::uint32_t>(HR_INVALID_NAME):
    case static_cast<std::uint32_t>(HR_BAD_PATHNAME):
    case static_cast<std::uint32_t>(HR_SERVICE_BAD_NAME):
    case static_cast<std::uint32_t>(HR_NAME_TOO_LONG):
    case static_cast<std::uint32_t>(HR_SERVICE_REFUSED_PATH):
    case static_cast<std::uint32_t>(HR_NOT_RETRIED_A):
    case static_cast<std::uint32_t>(HR_NOT_RETRIED_B):
    case static_cast<std::uint32_t>(HR_STREAM_FILE_GONE):
    case static_cast<std::uint32_t>(HR_STREAM_TOKEN_REFUSED):
    case static_cast<std::uint32_t>(HR_ILLEGAL_UPLOAD):
    case static_cast<std::uint32_t>(HR_GROUP_VERIFY_FAILED):
    case static_cast<std::uint32_t>(HR_FILE_SHRUNK):
      return true;
    default:
      return false;
  }
}

ErrorRuleOutcome ApplyErrorRules(const ErrorRuleInput& in) noexcept {
  const HRESULT e = in.error;
  if (e == HR_ALREADY_EXISTS) {
    // Skipping is the user's own answer: the file is left out without an
    // error report, and the family keeps it listed as skipped.
    if (in.conflictAnswer == kConflictSkipOnce) return {Action::kPass, ErrorDetail::kSkipped, kConflictAsk};
    if (in.conflictAnswer == kConflictSkipAll) return {Action::kPass, ErrorDetail::kSkipped, std::nullopt};
    if (in.conflictAnswer == kConflictReplaceAll) return Pass();
    return Report(ErrorDetail::kFamilyStops);
  }
  if (in.conflictAnswer == kConflictPassNextError) return Pass(0u);
  // Every later file would meet the same full disk: the user makes room.
  if (e == HR_SERVICE_NO_SPACE || e == HR_DISK_QUOTA || e == HR_LOCAL_DISK_FULL)
    return Report(ErrorDetail::kFamilyStops);
  if (e == HR_PASS_NEXT_ERROR) return Report(ErrorDetail::kFinal, 5u);
  // Retrying these would loop for ever on one file and, in a tree, hold up
  // every file after it. A backup names them at the run's end and its next
  // run compares them afresh.
  if (IsFinalForFile(e)) return Report(ErrorDetail::kSkipped);
  return {Action::kRetry, ErrorDetail::kRetry, std::nullopt};
}

bool ApplyFolderTaskError(Task& task, TaskRunContext& context, HRESULT error) {
  const TaskEventAnswer answer = context.manager.OnTaskEvent(task, TaskEvent::kError, static_cast<std::uint32_t>(error),
                                                             1, DataStore::LastErrorMessage());
  if (answer.detail == ErrorDetail::kFamilyStops) {
    context.stop.Set();
    return false;
  }
  if (answer.detail == ErrorDetail::kSkipped) {
    (void)context.manager.Store().DeleteTask(task.Family().Id(), task.Id());
    (void)context.manager.OnTaskEvent(task, TaskEvent::kEnded, 0, 0);
    return true;
  }
  (void)context.stop.Wait(std::max<std::int64_t>(200, answer.retryPause.count()));
  return false;
}

}  // namespace korvex
