//===- cli/RetryNotice.cpp - Why a transfer without a terminal retries ---===//

#include "cli/RetryNotice.h"

#include "cli/TransferOutcome.h"
#include "foundation/LogMgr.h"
#include "foundation/ShownText.h"
#include "tasks/TaskFailures.h"
#include "tasks/TaskFamily.h"

#include <cstdio>
#include <utility>

namespace korvex::cli {

RetryNotice::RetryNotice(std::ostream& out, std::string prefix, std::chrono::milliseconds pace)
    : out_(out), prefix_(std::move(prefix)), pace_(pace) {}

void RetryNotice::OnTaskFamilyEvent(TaskFamily& family, FamilyEventKind, Task* task, TaskEvent event,
                                    ErrorDetail detail, HRESULT error) {
  if (event != TaskEvent::kError || detail != ErrorDetail::kRetry || task == nullptr) return;
  const auto now = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(mutex_);
    auto [told, first] = told_.try_emplace(family.Id(), Told{error, now});
    if (!first && told->second.error == error && now - told->second.at < pace_) return;
    told->second = {error, now};
  }
  char pause[32];
  std::snprintf(pause, sizeof pause, "%.1f s", static_cast<double>(family.retryPauseMs.load()) / 1000.0);
  const std::string line = "transfer " + std::to_string(family.Id()) + " (" +
                           std::string(DirectionName(family.Direction())) + ") retrying " +
                           ShownText(TaskPaths(*task).first) + ": " + ErrorLine(error, family.LastErrorText()) +
                           "; next try in " + pause;
  LogMgr::Get().Warn("korvex daemon", "%s", line.c_str());
  std::lock_guard lock(mutex_);
  out_ << prefix_ << line << std::endl;
}

}  // namespace korvex::cli
