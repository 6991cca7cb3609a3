//===- app/TransferOutcome.cpp - How a finished transfer ended ------------===//

#include "app/TransferOutcome.h"

#include "tasks/TaskFailures.h"

#include <QCoreApplication>

#include <algorithm>

namespace korvex::app {
namespace {

QString Tr(const char* text) { return QCoreApplication::translate("TransferOutcome", text); }

}  // namespace

TransferOutcome OutcomeOf(const TaskFamily& family) {
  TransferOutcome outcome;
  for (const FailedTask& f : FailedTasks(family)) {
    if (f.error == HR_ALREADY_EXISTS) ++outcome.skipped;
    else ++outcome.failed;
  }
  outcome.onlySkipped = outcome.skipped != 0 && outcome.failed == 0 && family.Progress().doneBytes == 0;
  return outcome;
}

QString CompletedText(const TransferOutcome& o) {
  if (o.onlySkipped) return Tr(QT_TRANSLATE_NOOP("TransferOutcome", "Skipped"));
  if (o.failed == 0 && o.skipped == 0) return Tr(QT_TRANSLATE_NOOP("TransferOutcome", "Completed"));
  if (o.skipped == 0) return Tr(QT_TRANSLATE_NOOP("TransferOutcome", "Completed, %1 failed")).arg(o.failed);
  if (o.failed == 0) return Tr(QT_TRANSLATE_NOOP("TransferOutcome", "Completed, %1 skipped")).arg(o.skipped);
  return Tr(QT_TRANSLATE_NOOP("TransferOutcome", "Completed, %1 failed, %2 skipped")).arg(o.failed).arg(o.skipped);
}

QString CompletedTitle(const TransferOutcome& o) {
  if (o.onlySkipped) return Tr(QT_TRANSLATE_NOOP("TransferOutcome", "Transfer skipped"));
  if (o.failed == 0 && o.skipped == 0) return Tr(QT_TRANSLATE_NOOP("TransferOutcome", "Transfer completed"));
  if (o.failed == 0) return Tr(QT_TRANSLATE_NOOP("TransferOutcome", "Transfer completed, %1 skipped")).arg(o.skipped);
  return Tr(QT_TRANSLATE_NOOP("TransferOutcome", "Transfer completed, %1 failed")).arg(o.failed);
}

int CompletedPercent(const TaskFamily& family) {
  if (FailedTasks(family).empty()) return 100;
  const FamilyProgress progress = family.Progress();
  if (!progress.totalBytes || *progress.totalBytes == 0) return progress.doneBytes == 0 ? 0 : 100;
  return static_cast<int>(std::min<std::uint64_t>(100, progress.doneBytes * 100 / *progress.totalBytes));
}

}  // namespace korvex::app
