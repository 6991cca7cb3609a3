//===- cli/RetryNotice.h - Why a transfer without a terminal retries -*- C++ -*-===//
///
/// The daemon retries a transient failure for as long as it lasts, at a
/// pace that grows to a minute; without a word, a transfer that never ends
/// looks hung. This listener says which transfer retries, on which file and
/// why, on standard error and in the log: when the reason changes, and
/// otherwise at most once per `pace` for each transfer, so that a failure
/// lasting a day does not flood the journal.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "tasks/TaskFamilyEventListener.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <ostream>
#include <string>

namespace korvex::cli {

class RetryNotice final : public TaskFamilyEventListener {
 public:
  /// `prefix` starts each line ("korvex daemon: ").
  RetryNotice(std::ostream& out, std::string prefix, std::chrono::milliseconds pace);

  void OnTaskFamilyEvent(TaskFamily& family, FamilyEventKind kind, Task* task, TaskEvent event, ErrorDetail detail,
                         HRESULT error) override;

 private:
  struct Told {
    HRESULT error = S_OK;
    std::chrono::steady_clock::time_point at;
  };

  std::ostream& out_;
  const std::string prefix_;
  const std::chrono::milliseconds pace_;
  std::mutex mutex_;
  std::map<std::uint32_t, Told> told_;  ///< by family id
};

}  // namespace korvex::cli
