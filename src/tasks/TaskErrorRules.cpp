//===- tasks/TaskErrorRules.cpp - What a task's error leads to ------------===//

#include "tasks/TaskErrorRules.h"

#include <algorithm>

#include "store/DataStore.h"
#include "store/ShellFolderDataStoreRemote.h"
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

/// What stops one file or folder of a backup run, not the run: unreadable,
/// gone or changed since the walk, or a name the service will not take.
bool IsOneEntryBackupError(HRESULT e) noexcept {
  return e == E_ACCESSDENIED || e == HR_FILE_NOT_FOUND || e == HR_PATH_NOT_FOUND || e == HR_INVALID_NAME ||
         e == HR_SERVICE_REFUSED_PATH || e == HR_SERVICE_BAD_NAME || e == HR_SERVICE_BAD_FILE_NAME ||
         e == HR_NOT_RETRIED_B;  // the service folder went away meanwhile
}

}  // namespace

ErrorRuleOutcome ApplyErrorRules(const ErrorRuleInput& in) noexcept {
  const HRESULT e = in.error;
  if (e == HR_ALREADY_EXISTS) {
    if (in.conflictAnswer == 3) return Pass(0u);  // "skip this one": used up
    if (in.conflictAnswer == 2 || in.conflictAnswer == 4) return Pass();
    return Report(ErrorDetail::kFamilyStops);
  }
  // A backup passes such an entry over and names it at the run's end; the
  // next run compares it afresh. Retrying would stall the run for good.
  if (in.direction == TransferDirection::kSyncUpload && IsOneEntryBackupError(e))
    return Report(ErrorDetail::kSkipped);
  if (in.conflictAnswer == 5) return Pass(0u);
  if (e == HR_SERVICE_REFUSED_PATH) return Report(in.folderTask ? ErrorDetail::kFinal : ErrorDetail::kFamilyStops);
  if (e == E_ACCESSDENIED) {
    // A download cannot change the service's rights.
    if (in.direction != TransferDirection::kUpload) return Pass();
    return Report(ErrorDetail::kFamilyStops);
  }
  // A name the local store refuses (it would leave its folder) stays refused.
  if (e == HR_SERVICE_NO_SPACE || e == HR_DISK_QUOTA || e == HR_FILE_NOT_FOUND || e == HR_INVALID_NAME) {
    return Report(ErrorDetail::kFamilyStops);
  }
  if (e == HR_PASS_NEXT_ERROR) return Report(ErrorDetail::kFinal, 5u);
  if (e == HR_NOT_RETRIED_A || e == HR_NOT_RETRIED_B) return Report(ErrorDetail::kFinal);
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
