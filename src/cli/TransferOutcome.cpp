//===- cli/TransferOutcome.cpp - How a transfer ended, in words ----------===//

#include "cli/TransferOutcome.h"

#include "cli/Console.h"
#include "foundation/ShownText.h"
#include "foundation/StatusMessages.h"
#include "tasks/TaskErrorRules.h"
#include "tasks/TaskFailures.h"
#include "tasks/TaskManager.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace korvex::cli {
namespace {

// The codes the transfers give a file up on that the status-message table
// has no text for.
std::string_view TransferErrorText(HRESULT error) {
  switch (static_cast<std::uint32_t>(error)) {
    case 0x80070002u: return "the file is gone";
    case 0x80070003u: return "the folder is gone";
    case 0x80070005u: return "access denied";
    case 0x80070026u: return "the file is gone or shrank while it was being uploaded";
    case 0x8007007Bu: return "the name would leave the chosen folder";
    case 0x800700A1u: return "the service refuses this name";
    case 0x800700CEu: return "the name or path is too long";
    case 0x804F0007u: return "the cloud disk is full";
    case 0x804F0009u: return "the service refuses this path";
    case 0x804F0013u: return "the service refused the transfer's token";
    case 0x804F0014u: return "the file is gone on the service";
    case 0x80071F44u: return "its data failed the MD5 check 10 times";
    case 0x80071F45u: return "the file changed while it was being uploaded";
    case 0x80071F46u: return "its name differs only in case from another one there";
    case 0x80071F47u: return "the downloaded file does not match the service's MD5; it was removed";
    default: return {};
  }
}

std::string Code(HRESULT error) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<std::uint32_t>(error));
  return code;
}

std::string ErrorWords(HRESULT error, std::string_view serviceText) {
  std::string text;
  if (StatusMessages::Get().Lookup(error, text)) return text;
  if (const std::string_view own = TransferErrorText(error); !own.empty()) return std::string(own);
  if (!serviceText.empty()) return ShownText(serviceText);
  return StatusText(error);
}

std::string ResumeHint(const std::vector<std::uint32_t>& ids) {
  std::string hint = "continue with: korvex transfers resume";
  for (std::uint32_t id : ids) hint += " " + std::to_string(id);
  return hint;
}

struct EndReport {
  std::vector<FailedTask> failures;
  std::vector<std::shared_ptr<TaskFamily>> stopped;
};

void PrintJson(const EndReport& report, std::size_t files, HRESULT status, const std::string& summary) {
  std::string json = "{\"error\":" + JsonString(summary) + ",\"code\":\"" + Code(status) + "\",\"path\":";
  if (!report.stopped.empty()) json += JsonString(StopReason(*report.stopped.front()).first);
  else json += report.failures.empty() ? "null" : JsonString(report.failures.front().source);
  json += ",\"files\":" + std::to_string(files) + ",\"failed\":[";
  for (std::size_t i = 0; i < report.failures.size(); ++i) {
    const FailedTask& f = report.failures[i];
    json += (i ? "," : "") + std::string("{\"path\":") + JsonString(f.source) +
            ",\"error\":" + JsonString(ErrorWords(f.error, f.text)) + ",\"code\":\"" + Code(f.error) + "\"}";
  }
  json += "],\"stopped\":[";
  for (std::size_t i = 0; i < report.stopped.size(); ++i)
    json += (i ? "," : "") + std::to_string(report.stopped[i]->Id());
  std::cout << json << "]}" << std::endl;
}

}  // namespace

std::string_view DirectionName(TransferDirection direction) noexcept {
  switch (direction) {
    case TransferDirection::kUpload: return "put";
    case TransferDirection::kDownload: return "get";
    case TransferDirection::kSyncUpload: return "backup";
  }
  return "?";
}

std::string FamilyStateText(const TaskFamily& family) {
  switch (family.state.load()) {
    case FamilyState::kQueued: return family.canceling != 0 ? "cancelling" : "queued";
    case FamilyState::kRunning: return family.canceling != 0 ? "cancelling" : "running";
    case FamilyState::kStopped: return "stopped";
    case FamilyState::kCompleted:
      if (family.canceling != 0) return "cancelled";
      return FailedTasks(family).empty() ? "completed" : "completed with errors";
  }
  return "?";
}

std::string ErrorLine(HRESULT error, std::string_view serviceText) {
  return ErrorWords(error, serviceText) + " (" + Code(error) + ")";
}

std::string LastErrorLine(const TaskFamily& family) {
  const HRESULT error = family.lastError;
  if (family.state == FamilyState::kStopped && error == E_ABORT) return "stopped by the user";
  if (Failed(error)) {
    const auto [file, text] = StopReason(family);
    return (file.empty() ? std::string() : ShownText(file) + ": ") + ErrorLine(error, text);
  }
  const std::vector<FailedTask> failures = FailedTasks(family);
  if (failures.empty()) return {};
  const FailedTask& last = failures.back();
  return std::to_string(failures.size()) + " failed, " + ShownText(last.source) + ": " + ErrorLine(last.error, last.text);
}

std::optional<std::chrono::seconds> ParseDuration(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::int64_t total = 0, number = 0;
  bool digits = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      if (number > 100000000) return std::nullopt;
      number = number * 10 + (c - '0');
      digits = true;
      continue;
    }
    const std::int64_t unit = c == 's' ? 1 : c == 'm' ? 60 : c == 'h' ? 3600 : 0;
    if (unit == 0 || !digits) return std::nullopt;
    total += number * unit;
    number = 0;
    digits = false;
  }
  // A bare number counts seconds; "1m30" is not a duration.
  if (digits && text.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  return std::chrono::seconds(total + number);
}

CommandOutcome ReportTransferEnd(const std::vector<std::shared_ptr<TaskFamily>>& families, std::size_t filesEnded,
                                 HRESULT followed, bool json) {
  EndReport report;
  std::vector<std::uint32_t> stoppedIds;
  for (const auto& family : families) {
    for (FailedTask& failure : FailedTasks(*family)) report.failures.push_back(std::move(failure));
    if (family->state == FamilyState::kStopped && family->lastError != E_ABORT) {
      report.stopped.push_back(family);
      stoppedIds.push_back(family->Id());
    }
  }
  if (followed == E_ABORT) return {E_ABORT, {}, "stopped"};
  if (report.failures.empty() && report.stopped.empty()) {
    if (Succeeded(followed)) return {};
    return {followed, {}, "the transfer did not complete; see korvex transfers"};
  }
  const std::size_t files = std::max(filesEnded, report.failures.size());
  HRESULT status = report.failures.empty() ? E_FAIL : report.failures.front().error;
  std::string summary;
  if (!report.failures.empty())
    summary = std::to_string(report.failures.size()) + " of " + std::to_string(files) + " files failed";
  if (!report.stopped.empty()) {
    status = report.stopped.front()->lastError;
    if (!summary.empty()) summary += "; ";
    summary += "stopped at " + LastErrorLine(*report.stopped.front()) + "; the transfer is kept, " +
               ResumeHint(stoppedIds);
  }
  if (json) {
    PrintJson(report, files, status, summary);
    return {kFailureReported, {}, {}};
  }
  if (!report.failures.empty()) {
    std::cerr << "korvex: " << report.failures.size() << " of " << files << " files failed:" << std::endl;
    for (const FailedTask& f : report.failures)
      std::cerr << "  " << ShownText(f.source) << ": " << ErrorLine(f.error, f.text) << std::endl;
  }
  for (const auto& family : report.stopped) {
    // A transient error only stops a family when the command gave up on it.
    const bool gaveUp = ApplyErrorRules({family->lastError, family->Direction(), 0, false}).action ==
                        ErrorRuleOutcome::Action::kRetry;
    std::cerr << "korvex: " << (gaveUp ? "gave up retrying at " : "stopped at ") << LastErrorLine(*family)
              << std::endl;
  }
  if (!report.stopped.empty()) std::cerr << "korvex: the transfer is kept; " << ResumeHint(stoppedIds) << std::endl;
  return {kFailureReported, {}, {}};
}

void ListFamilies(TaskManager& manager, const std::vector<std::uint32_t>& ids, bool json) {
  std::string out = json ? "[" : "";
  for (std::uint32_t id : ids) {
    const auto family = manager.GetFamily(id);
    if (!family) continue;
    const FamilyProgress p = family->Progress();
    const std::uint64_t done = p.totalBytes ? std::min(p.doneBytes, *p.totalBytes) : p.doneBytes;
    const std::string error = LastErrorLine(*family);
    if (json) {
      out += (out.size() > 1 ? "," : "") + std::string("{\"id\":") + std::to_string(id) +
             ",\"state\":" + JsonString(FamilyStateText(*family)) +
             ",\"kind\":" + JsonString(DirectionName(family->Direction())) + ",\"done\":" + std::to_string(done) +
             ",\"total\":" + (p.totalBytes ? std::to_string(*p.totalBytes) : "null") +
             ",\"source\":" + JsonString(family->SourcePath()) + ",\"target\":" + JsonString(family->TargetPath()) +
             ",\"error\":" + (error.empty() ? "null" : JsonString(error)) + "}";
      continue;
    }
    std::cout << id << '\t' << FamilyStateText(*family) << '\t' << DirectionName(family->Direction()) << '\t'
              << HumanSize(done)
              << (p.totalBytes ? " / " + HumanSize(*p.totalBytes) : std::string()) << '\t'
              << ShownText(family->SourcePath()) << " -> " << ShownText(family->TargetPath())
              << (error.empty() ? std::string() : "\t" + error) << std::endl;
  }
  if (json) std::cout << out << "]" << std::endl;
}

}  // namespace korvex::cli
