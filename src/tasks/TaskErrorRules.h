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
/// The service refuses a folder name (its state 3004).
inline constexpr HRESULT HR_SERVICE_BAD_NAME = MakeHResult(0x80070BBCu);
/// The service refused a name (a backslash, a control character, bad UTF-8).
inline constexpr HRESULT HR_BAD_PATHNAME = MakeHResult(0x800700A1u);
inline constexpr HRESULT HR_PATH_NOT_FOUND = MakeHResult(0x80070003u);
inline constexpr HRESULT HR_NAME_TOO_LONG = MakeHResult(0x800700CEu);
inline constexpr HRESULT HR_LOCAL_DISK_FULL = MakeHResult(0x80070070u);
/// The stream service no longer knows the file, or refuses its token.
inline constexpr HRESULT HR_STREAM_FILE_GONE = MakeHResult(0x804F0014u);
inline constexpr HRESULT HR_STREAM_TOKEN_REFUSED = MakeHResult(0x804F0013u);
/// The block service's answer to a token it no longer honours.
inline constexpr HRESULT HR_ILLEGAL_UPLOAD = MakeHResult(0x80070BC3u);

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
  /// With kReport and kSkipped: the file (or folder) is given up because of
  /// a refusal that waiting cannot heal; the family goes on with the others
  /// and keeps the failure in its list.
  Action action = Action::kRetry;
  ErrorDetail detail = ErrorDetail::kNormal;
  /// The family's new conflictAnswer when the rule changes it.
  std::optional<std::uint32_t> conflictAnswer;
  bool operator==(const ErrorRuleOutcome&) const = default;
};

/// True for errors that no retry can heal for this one file: the name is
/// refused, the source or the target folder is gone, something is in the
/// way, the local file cannot be read or written, its groups never verify.
[[nodiscard]] bool IsFinalForFile(HRESULT error) noexcept;

[[nodiscard]] ErrorRuleOutcome ApplyErrorRules(const ErrorRuleInput& input) noexcept;

class Task;
struct TaskRunContext;

/// How a folder task meets a failing step: the manager is told and its
/// answer applied. True when the task is finished (passed over: its file is
/// deleted and kEnded reported); false when the family stops or the task is
/// to try again after the answer's pause (at least 200 ms), unless stopped.
[[nodiscard]] bool ApplyFolderTaskError(Task& task, TaskRunContext& context, HRESULT error);

}  // namespace korvex
