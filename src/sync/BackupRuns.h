//===- sync/BackupRuns.h - What the last backup of each pair did -*- C++ -*-===//
///
/// A backup run passes over a file it cannot read, that went away or
/// changed under it, or whose name the service refuses, and goes on; the
/// user learns about it afterwards. The outcome of each pair's last run
/// (when, how many files went up, which were skipped and why, or why it
/// failed) is kept in "backup-runs" beside "sync.cfg", so that `korvex
/// backup list` and the desktop client show it whichever process ran it.
///
/// BackupRunWatch follows the backup families a sync service starts and
/// writes that record when a family ends:
///
///   started --file ended--> uploaded+1      --folder ended--> compared+1
///      |    --file skipped--> skipped += (path, reason)
///      v
///   family completed: "done", or "skipped" with files passed over,
///                     or "failed" when not one folder was compared
///   family stopped:   "failed" with its last error ("stopped" when the
///                     user stopped it)
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/HResult.h"
#include "tasks/TaskFamilyEventListener.h"

namespace korvex {

enum class BackupOutcome : std::uint32_t {
  kRunning = 0,
  kDone = 1,     ///< every file compared, every needed upload made
  kSkipped = 2,  ///< done, but some files were passed over
  kFailed = 3,   ///< the run ended before its comparison was whole
  kStopped = 4,  ///< the user stopped it
};

/// The word `backup list` shows for an outcome ("done", "skipped", ...).
[[nodiscard]] const char* BackupOutcomeWord(BackupOutcome outcome) noexcept;

/// Why a backup passed a file over, in words ("the service refuses this
/// name"); empty for a code that has no backup-specific text.
[[nodiscard]] std::string BackupSkipText(HRESULT reason);

struct SkippedFile {
  std::string path;
  HRESULT reason = S_OK;
  bool operator==(const SkippedFile&) const = default;
};

/// The last run of one pair.
struct BackupRun {
  std::string localPath;
  std::uint64_t started = 0;  ///< FILETIME
  std::uint64_t ended = 0;    ///< FILETIME; 0 while it runs
  BackupOutcome outcome = BackupOutcome::kRunning;
  std::uint32_t uploaded = 0;
  std::uint32_t folders = 0;  ///< folders compared
  std::vector<SkippedFile> skipped;
  HRESULT error = S_OK;  ///< why it failed
  bool operator==(const BackupRun&) const = default;
};

/// "backup-runs" beside the given "sync.cfg".
[[nodiscard]] std::filesystem::path BackupRunsPath(const std::filesystem::path& syncConfigPath);
/// The runs in the file, by local path; empty when there is none.
[[nodiscard]] std::map<std::string, BackupRun> LoadBackupRuns(const std::filesystem::path& path);
/// Replaces `run`'s record in the file (read again first, so that other
/// pairs' records written by another process stay).
[[nodiscard]] HRESULT SaveBackupRun(const std::filesystem::path& path, const BackupRun& run);

class TaskManager;

class BackupRunWatch final : public TaskFamilyEventListener {
 public:
  /// `ended` hears every run that ends, on the thread that ended it and
  /// without the watch's lock held; it must not block.
  BackupRunWatch(std::filesystem::path file, std::function<void(const BackupRun&)> ended);

  /// Starts following the family `familyId` of the pair `localPath`.
  void Follow(std::uint32_t familyId, const std::string& localPath, std::uint64_t started);
  /// The record of a family followed, as it stands.
  [[nodiscard]] bool RunOf(std::uint32_t familyId, BackupRun& out) const;

  void OnTaskFamilyEvent(TaskFamily& family, FamilyEventKind kind, Task* task, TaskEvent event, ErrorDetail detail,
                         HRESULT error) override;

 private:
  struct Followed {
    BackupRun run;
    std::set<std::uint32_t> skippedTasks;
  };
  /// The family's end, when it has one now; false otherwise.
  bool Settle(TaskFamily& family, Followed& followed);

  std::filesystem::path file_;
  std::function<void(const BackupRun&)> ended_;
  mutable std::mutex mutex_;  // guards families_ and the writes of file_
  std::map<std::uint32_t, Followed> families_;
};

}  // namespace korvex
