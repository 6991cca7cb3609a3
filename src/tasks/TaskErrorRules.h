//===- tasks/TaskErrorRules.h - What a task's error leads to ----*- C++ -*-===//
///
/// A failing step of a task is either passed over because of an answer the
/// user gave earlier, reported to the user (with what becomes of the task),
/// or treated as transient and retried. The rules are tried in a fixed order;
/// the retry rule itself lives with the manager, which counts the attempts.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <optional>

#include "platform/HResult.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskFamilyEventListener.h"

namespace korvex {

/// Service codes the rules single out (the others are in platform/HResult.h).
inline constexpr HRESULT HR_SERVICE_REFUSED_PATH = MakeHResult(0x804F0009u);
inline constexpr HRESULT HR_SERVICE_NO_SPACE = MakeHResult(0x804F0007u);
inline constexpr HRESULT HR_DISK_QUOTA = MakeHResult(0x80071B59u);
inline constexpr HRESULT HR_PASS_NEXT_ERROR = MakeHResult(0x80070BCCu);
inline constexpr HRESULT HR_NOT_RETRIED_A = MakeHResult(0x80074240u);
inline constexpr HRESULT HR_NOT_RETRIED_B = MakeHResult(0x800707D3u);
/// The service refuses a folder name (its state 3004) or, preparing an
/// upload, a file name (ERROR_BAD_PATHNAME).
inline constexpr HRESULT HR_SERVICE_BAD_NAME = MakeHResult(0x80070BBCu);
inline constexpr HRESULT HR_SERVICE_BAD_FILE_NAME = MakeHResult(0x800700A1u);
/// A folder on the way is missing (ERROR_PATH_NOT_FOUND).
inline constexpr HRESULT HR_PATH_NOT_FOUND = MakeHResult(0x80070003u);

struct ErrorRuleInput {
  HRESULT error = S_OK;
  TransferDirection direction = TransferDirection::kUpload;
  std::uint32_t conflictAnswer = 0;
  /// The task works on a folder (its address ends in "/").
  bool folderTask = false;
};

struct ErrorRuleOutcome {
  enum class Action {
    kPass,    ///< nothing is reported; the task goes on
    kReport,  ///< reported with `detail`
    kRetry,   ///< transient: the retry rule decides
  };
  Action action = Action::kRetry;
  ErrorDetail detail = ErrorDetail::kNormal;
  /// The family's new conflictAnswer when the rule changes it.
  std::optional<std::uint32_t> conflictAnswer;
  bool operator==(const ErrorRuleOutcome&) const = default;
};

[[nodiscard]] ErrorRuleOutcome ApplyErrorRules(const ErrorRuleInput& input) noexcept;

class Task;
struct TaskRunContext;

/// How a folder task meets a failing step: the manager is told and its
/// answer applied. True when the task is finished (passed over: its file is
/// deleted and kEnded reported); false when the family stops or the task is
/// to try again after the answer's pause (at least 200 ms), unless stopped.
[[nodiscard]] bool ApplyFolderTaskError(Task& task, TaskRunContext& context, HRESULT error);

}  // namespace korvex
