//===- app/TransferOutcome.h - How a finished transfer ended -*- C++ -*-===//
///
/// A completed family is not always a transferred one: files may have been
/// given up on an error, or skipped because their name was taken and the
/// user chose Skip. The list, the detail dialog and the notification say
/// which, and never "100%" or "Transfer completed" for bytes that did not move.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "tasks/TaskFamily.h"

#include <QString>

#include <cstddef>

namespace korvex::app {

struct TransferOutcome {
  std::size_t failed = 0;   ///< files given up on an error
  std::size_t skipped = 0;  ///< files left out because their name was taken
  /// Nothing but skipped files: not a byte was transferred.
  bool onlySkipped = false;
};

[[nodiscard]] TransferOutcome OutcomeOf(const TaskFamily& family);

/// "Completed", "Skipped", "Completed, 2 failed", "Completed, 1 skipped"...
[[nodiscard]] QString CompletedText(const TransferOutcome& outcome);

/// The notification's title for a completed family.
[[nodiscard]] QString CompletedTitle(const TransferOutcome& outcome);

/// The percentage shown for a completed family: 100 only when everything
/// it was to move moved.
[[nodiscard]] int CompletedPercent(const TaskFamily& family);

}  // namespace korvex::app
