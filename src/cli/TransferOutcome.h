//===- cli/TransferOutcome.h - How a transfer ended, in words ---*- C++ -*-===//
///
/// `put`, `get` and `transfers resume` end by saying what did not happen:
/// each file given up with its reason, or the file a stopped transfer was
/// on and why it stopped; `transfers` lists the same reasons later. Every
/// text that came from the service or a file name is shown escaped.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "cli/SessionRunner.h"
#include "platform/HResult.h"
#include "tasks/TaskFamily.h"

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {
class TaskManager;
}

namespace korvex::cli {

/// "put", "get" or "backup".
[[nodiscard]] std::string_view DirectionName(TransferDirection direction) noexcept;
/// queued, running, stopped, completed, "completed with errors" (some files
/// were given up) or cancelled.
[[nodiscard]] std::string FamilyStateText(const TaskFamily& family);
/// "TEXT (0xCODE)": the status message of `error`, else a text of the
/// transfers for the codes they give files up on, else `serviceText`.
[[nodiscard]] std::string ErrorLine(HRESULT error, std::string_view serviceText);
/// Why `family` stopped or what it last failed on, empty when nothing did.
[[nodiscard]] std::string LastErrorLine(const TaskFamily& family);

/// `korvex transfers`: a line per family (id, state, kind, progress, paths
/// and the last error), or with `json` one JSON array.
void ListFamilies(TaskManager& manager, const std::vector<std::uint32_t>& ids, bool json);

/// "90", "90s", "5m", "2h", "1h30m"; nothing for anything else.
[[nodiscard]] std::optional<std::chrono::seconds> ParseDuration(std::string_view text);

/// Prints how the followed families ended, when some file failed or a
/// family stopped: "N of M files failed:" and a line per file, or the file
/// a stopped family was on with its error and how to resume it (with
/// `json`, one JSON object on standard output instead). `filesEnded`
/// counts the file tasks that ended in this run; `followed` is what
/// following them returned. The outcome is then already reported.
[[nodiscard]] CommandOutcome ReportTransferEnd(const std::vector<std::shared_ptr<TaskFamily>>& families,
                                               std::size_t filesEnded, HRESULT followed, bool json);

}  // namespace korvex::cli
