//===- tasks/TaskFamilyEventListener.h - Watchers of the transfers -*- C++ -*-===//
///
/// The transfer list and the task detail view learn about every change of a
/// family through this interface. Calls arrive on whichever thread caused the
/// change (an executor or the caller of a manager operation), one at a time;
/// a listener that touches windows marshals to its own thread and never
/// blocks. A listener may call the manager's read operations, but never stops
/// or removes a family from inside the call: that waits for an executor that
/// may itself be waiting to notify.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>

#include "platform/HResult.h"

namespace korvex {

class Task;
class TaskFamily;

enum class FamilyEventKind : std::uint32_t {
  kAdded = 1,
  kRemoved = 2,
  kChanged = 3,
};

/// What a task reports to the manager, and what listeners are told.
enum class TaskEvent : std::uint32_t {
  kTargetCreated = 1,
  kEnded = 2,     ///< done, skipped or cancelled
  kProgress = 3,  ///< value: bytes moved since the last report; also state changes
  kError = 4,     ///< value: the failing HRESULT
  kRollback = 5,  ///< value: bytes to take back (a block to be sent again)
};

/// With kError: what becomes of the task. Every other event carries kNormal.
enum class ErrorDetail : std::uint32_t {
  kNormal = 1,
  kFinal = 1,        ///< the error is final for this step
  kRetry = 2,        ///< the task will try the same step again
  kFamilyStops = 3,  ///< the family stops and waits for the user
  kSkipped = 4,      ///< the task is given up
};

class TaskFamilyEventListener {
 public:
  virtual ~TaskFamilyEventListener() = default;
  /// `task` is null for a change of the family itself; `error` is 0 unless
  /// `event` is kError.
  virtual void OnTaskFamilyEvent(TaskFamily& family, FamilyEventKind kind, Task* task, TaskEvent event,
                                 ErrorDetail detail, HRESULT error) = 0;
};

}  // namespace korvex
