#include "sync/BackupRuns.h"

#include <cinttypes>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <variant>

#include "foundation/LogMgr.h"
#include "platform/AtomicFile.h"
#include "platform/FileTime.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/Task.h"
#include "tasks/TaskErrorRules.h"
#include "tasks/TaskFamily.h"

namespace korvex {
namespace {

constexpr char kLogSource[] = "BackupRuns";

/// Paths may hold any byte but NUL, tabs and line ends among them.
std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\t') out += "\\t";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    out += next == 't' ? '\t' : next == 'n' ? '\n' : next == 'r' ? '\r' : next;
  }
  return out;
}

std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::size_t from = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', from);
    fields.push_back(Unescape(line.substr(from, tab == std::string::npos ? std::string::npos : tab - from)));
    if (tab == std::string::npos) return fields;
    from = tab + 1;
  }
}

std::string Hex(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "%08X", static_cast<std::uint32_t>(hr));
  return text;
}

HRESULT FromHex(const std::string& text) {
  return static_cast<HRESULT>(static_cast<std::uint32_t>(std::strtoul(text.c_str(), nullptr, 16)));
}

std::string Encode(const std::map<std::string, BackupRun>& runs) {
  std::ostringstream out;
  for (const auto& [local, run] : runs) {
    out << "run\t" << Escape(local) << '\t' << run.started << '\t' << run.ended << '\t'
        << static_cast<std::uint32_t>(run.outcome) << '\t' << run.uploaded << '\t' << run.folders << '\t'
        << Hex(run.error) << '\n';
    for (const SkippedFile& file : run.skipped) out << "skip\t" << Escape(file.path) << '\t' << Hex(file.reason) << '\n';
  }
  return out.str();
}

std::string PathOf(const Task& task) {
  return std::visit([](const auto& record) { return record.source.path; }, task.Record());
}

}  // namespace

std::string BackupSkipText(HRESULT reason) {
  if (reason == HR_SERVICE_BAD_NAME || reason == HR_BAD_PATHNAME) return "the service refuses this name";
  if (reason == HR_SERVICE_REFUSED_PATH) return "the service refuses this path";
  if (reason == HR_FILE_NOT_FOUND || reason == HR_PATH_NOT_FOUND) return "gone or changed since its folder was read";
  if (reason == E_ACCESSDENIED) return "cannot be read (access denied)";
  if (reason == HR_NOT_RETRIED_B) return "its service folder went away during the run";
  if (reason == HR_INVALID_NAME) return "a name that cannot be used here";
  return {};
}

const char* BackupOutcomeWord(BackupOutcome outcome) noexcept {
  switch (outcome) {
    case BackupOutcome::kRunning: return "running";
    case BackupOutcome::kDone: return "done";
    case BackupOutcome::kSkipped: return "skipped";
    case BackupOutcome::kFailed: return "failed";
    case BackupOutcome::kStopped: return "stopped";
  }
  return "?";
}

std::filesystem::path BackupRunsPath(const std::filesystem::path& syncConfigPath) {
  return syncConfigPath.parent_path() / "backup-runs";
}

std::map<std::string, BackupRun> LoadBackupRuns(const std::filesystem::path& path) {
  std::map<std::string, BackupRun> runs;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  BackupRun* current = nullptr;
  while (std::getline(in, line)) {
    const std::vector<std::string> f = Fields(line);
    if (f[0] == "run" && f.size() >= 8) {
      BackupRun& run = runs[f[1]];
      run = {};
      run.localPath = f[1];
      run.started = std::strtoull(f[2].c_str(), nullptr, 10);
      run.ended = std::strtoull(f[3].c_str(), nullptr, 10);
      const auto outcome = std::strtoul(f[4].c_str(), nullptr, 10);
      run.outcome = outcome <= 4 ? static_cast<BackupOutcome>(outcome) : BackupOutcome::kFailed;
      run.uploaded = static_cast<std::uint32_t>(std::strtoul(f[5].c_str(), nullptr, 10));
      run.folders = static_cast<std::uint32_t>(std::strtoul(f[6].c_str(), nullptr, 10));
      run.error = FromHex(f[7]);
      current = &run;
    } else if (f[0] == "skip" && f.size() >= 3 && current != nullptr) {
      current->skipped.push_back({f[1], FromHex(f[2])});
    }
  }
  return runs;
}

HRESULT SaveBackupRun(const std::filesystem::path& path, const BackupRun& run) {
  std::map<std::string, BackupRun> runs = LoadBackupRuns(path);
  runs[run.localPath] = run;
  const HRESULT hr = WriteFileAtomically(path, Encode(runs));
  if (Failed(hr))
    LogMgr::Get().Error(kLogSource, "cannot write %s: 0x%08X", path.c_str(), static_cast<std::uint32_t>(hr));
  return hr;
}

BackupRunWatch::BackupRunWatch(std::filesystem::path file, std::function<void(const BackupRun&)> ended)
    : file_(std::move(file)), ended_(std::move(ended)) {}

void BackupRunWatch::Follow(std::uint32_t familyId, const std::string& localPath, std::uint64_t started) {
  Followed followed;
  followed.run.localPath = localPath;
  followed.run.started = started;
  std::lock_guard lock(mutex_);
  families_[familyId] = followed;
  (void)SaveBackupRun(file_, followed.run);
}

bool BackupRunWatch::RunOf(std::uint32_t familyId, BackupRun& out) const {
  std::lock_guard lock(mutex_);
  const auto found = families_.find(familyId);
  if (found == families_.end()) return false;
  out = found->second.run;
  return true;
}

bool BackupRunWatch::Settle(TaskFamily& family, Followed& followed) {
  BackupRun& run = followed.run;
  const FamilyState state = family.state;
  BackupOutcome outcome = BackupOutcome::kRunning;
  if (state == FamilyState::kCompleted) {
    // A run that compared nothing (its root folder could not be read) has
    // backed nothing up, whatever the family's state says.
    outcome = run.folders == 0       ? BackupOutcome::kFailed
              : run.skipped.empty() ? BackupOutcome::kDone
                                    : BackupOutcome::kSkipped;
    if (run.folders == 0 && Succeeded(run.error)) run.error = run.skipped.empty() ? E_FAIL : run.skipped.front().reason;
  } else if (state == FamilyState::kStopped) {
    const HRESULT last = family.lastError.load();
    outcome = last == E_ABORT ? BackupOutcome::kStopped : BackupOutcome::kFailed;
    if (Failed(last)) run.error = last;
  }
  if (outcome == BackupOutcome::kRunning || outcome == run.outcome) return false;
  run.outcome = outcome;
  run.ended = FileTimeNow();
  return true;
}

void BackupRunWatch::OnTaskFamilyEvent(TaskFamily& family, FamilyEventKind kind, Task* task, TaskEvent event,
                                       ErrorDetail detail, HRESULT error) {
  // A run's family is added stopped, before the run resumes it.
  if (kind == FamilyEventKind::kAdded) return;
  BackupRun ended;
  {
    std::lock_guard lock(mutex_);
    const auto found = families_.find(family.Id());
    if (found == families_.end()) return;
    if (kind == FamilyEventKind::kRemoved) {
      families_.erase(found);
      return;
    }
    Followed& followed = found->second;
    if (task != nullptr) {
      if (event == TaskEvent::kError && detail == ErrorDetail::kSkipped) {
        followed.skippedTasks.insert(task->Id());
        followed.run.skipped.push_back({PathOf(*task), error});
        LogMgr::Get().Warn(kLogSource, "backup skipped %s: 0x%08X", PathOf(*task).c_str(),
                           static_cast<std::uint32_t>(error));
      } else if (event == TaskEvent::kEnded && !followed.skippedTasks.contains(task->Id())) {
        if (task->Type() == TaskType::kFile) ++followed.run.uploaded;
        else ++followed.run.folders;
      }
      return;
    }
    if (!Settle(family, followed)) return;
    ended = followed.run;
    // Under the lock: two runs ending at once would each write the file
    // read before the other's record was in it.
    (void)SaveBackupRun(file_, ended);
  }
  if (ended_) ended_(ended);
}

}  // namespace korvex
