//===- sync/SyncService.h - Daily backup of the folder pairs ----*- C++ -*-===//
///
/// Keeps the backup folder pairs (a local folder and a folder of the user's
/// own disk on the service) and, once a day at the scheduled time, starts one
/// backup family (direction 2) per pair that is not paused, each with one
/// SyncDirectoryTask for the pair's root. The families run on the task
/// manager like every transfer; the service only starts them.
///
/// The thread wakes at the start of every minute, or at once after
/// RequestSyncNow():
///
///   wait --stop--> (leave)
///     |
///     +--minute/sync-now--> schedule matches this minute, or sync-now?
///           | no                         | yes
///           v                            v
///         wait        no time chosen yet? pick a random daily time
///                     between 09:00 and 17:59 and keep it; run
///
/// With no time chosen, the first wake-up after start thus runs a backup and
/// fixes the time of the later ones. The time of day is a wall-clock time:
/// when the spring change skips it, the run starts at the first minute after
/// it that exists; in the hour the autumn change repeats it runs once. A run
/// missed while the machine was off or asleep runs once, at the first
/// wake-up after it (as anacron does).
///
/// Each run replaces a stopped backup of a pair with a new one (resuming it
/// would walk into what stopped it), and every backup gets stores of its
/// own. What each run did is kept by a BackupRunWatch ("backup-runs").
///
/// Callers (the options dialog, the command line) use the pair, schedule and
/// run operations below from any thread. Every change is written to
/// "sync.cfg" at once, after the file is read again, so that a command-line
/// edit and a running service do not undo each other's changes.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/Event.h"
#include "sync/BackupRuns.h"
#include "sync/SyncConfig.h"
#include "tasks/ThreadBase.h"

namespace korvex {

class DataStore;
class TaskFamily;
class TaskManager;

/// Bits of SyncService::PathStatus.
enum SyncPathStatus : std::uint32_t {
  kSyncPathIsFolder = 2,        ///< the path is a backup folder
  kSyncPathInsideFolder = 4,    ///< the path lies inside one
  kSyncPathContainsFolder = 8,  ///< a backup folder lies inside the path
  kSyncPathPaused = 16,         ///< added when that backup folder is paused
};

struct SyncServiceOptions {
  /// The signed-in account ("login@domain"): names the folder of "sync.cfg"
  /// and the settings subkey of "Sync_LastTime".
  std::string account;
  /// Where the pairs live; SyncConfigPath(account) when empty.
  std::filesystem::path configPath;
  /// A store of the user's own disk for one run. Each run asks for a fresh
  /// one, so that the comparison never trusts a listing cached days ago.
  std::function<std::shared_ptr<DataStore>()> makeServiceStore;
  /// A local file-system store whose addresses are file-system paths (its
  /// desktop folder is "/"); one per run as well.
  std::function<std::shared_ptr<DataStore>()> makeLocalStore;
  /// The local time of day; the system clock's when empty.
  std::function<std::tm()> localTime;
  /// Random numbers for the daily time; a seeded engine when empty.
  std::function<std::uint32_t()> random;
  /// The wake-up period; the thread wakes at multiples of it.
  std::chrono::milliseconds tick{60000};
  /// When set, another process may ask for a backup now by setting this
  /// event (see SyncNowSignalEvent); the thread treats it like
  /// RequestSyncNow(). Only the account's backup runner passes one.
  Event* syncNowEvent = nullptr;
  /// Hears every backup run that ends (see BackupRunWatch); it must not
  /// block.
  std::function<void(const BackupRun&)> runEnded;
};

/// A service folder inside another pair's, or holding one (ERROR_PATH_BUSY).
inline constexpr HRESULT HR_SYNC_FOLDERS_OVERLAP = HResultFromWin32(148);

class SyncService : public ThreadBase {
 public:
  /// Reads the pairs. `manager` must outlive the service.
  SyncService(TaskManager& manager, SyncServiceOptions options);
  /// Stops the thread and waits for it.
  ~SyncService() override;

  // --- folder pairs -------------------------------------------------------
  /// Adds the pair (local folder, service folder with its id). Refused with
  /// HR_FILE_NOT_FOUND when `localPath` is not an existing absolute folder,
  /// E_INVALIDARG for a service path that is not an address ("/a/b/"),
  /// HR_SYNC_PATH_TOO_LONG for a path the file cannot hold, and
  /// HR_ALREADY_EXISTS when the local folder, or the service folder, is
  /// already one of a pair, and HR_SYNC_FOLDERS_OVERLAP (the pair is put in
  /// `clash`) when the service folder lies inside another pair's or holds
  /// one; pairs whose local folder is away count too. On success
  /// "sync.cfg" is written.
  [[nodiscard]] HRESULT AddFolder(const std::string& localPath, const std::string& servicePath,
                                  std::uint64_t serviceId, std::string* clash = nullptr);
  /// Removes the pair of `localPath` (as listed). Running backups of it go
  /// on to their end. HR_FILE_NOT_FOUND for no such pair.
  [[nodiscard]] HRESULT RemoveFolder(const std::string& localPath);
  /// Pauses (skipped by every run) or resumes the pair of `localPath`.
  [[nodiscard]] HRESULT SetPaused(const std::string& localPath, bool paused);
  /// The pairs whose local folder exists, in the order they were added.
  [[nodiscard]] std::vector<SyncFolder> Folders() const;
  /// The pairs whose local folder is missing now; kept, never run.
  [[nodiscard]] std::vector<SyncFolder> AbsentFolders() const;
  /// What was wrong with "sync.cfg" when last read; empty when nothing.
  [[nodiscard]] std::string ConfigProblem() const;
  /// The run of the backup family `familyId` started by this service.
  [[nodiscard]] bool RunOf(std::uint32_t familyId, BackupRun& out) const { return watch_->RunOf(familyId, out); }
  /// The last run of every pair that has run, by local path.
  [[nodiscard]] std::map<std::string, BackupRun> LastRuns() const;
  /// SyncPathStatus bits of a local path against every pair; 0 for none.
  [[nodiscard]] std::uint32_t PathStatus(const std::string& localPath) const;

  // --- schedule -----------------------------------------------------------
  [[nodiscard]] SyncSchedule Schedule() const;
  /// Sets the daily time; E_INVALIDARG outside 00:00 to 23:59.
  [[nodiscard]] HRESULT SetSchedule(std::int32_t hour, std::int32_t minute);
  /// "Sync_LastTime" of the account: when the last run began, local time
  /// "YYYY-MM-DD hh:mm"; empty before the first.
  [[nodiscard]] std::string LastRunText() const;

  // --- runs ---------------------------------------------------------------
  /// Asks the thread to run a backup at once (at the next wake-up when it
  /// is busy).
  void RequestSyncNow();
  /// One backup run on the calling thread: starts a family for every pair
  /// that is not paused and has no unfinished backup already, and returns
  /// their ids. The families then run on the task manager.
  std::vector<std::uint32_t> Synchronize();
  /// What one wake-up does at local time `now`: a backup when the schedule
  /// matches this minute (once per minute) or sync-now was asked for. True
  /// when a run was started.
  bool OnMinute(const std::tm& now);

 protected:
  void Run() override;

 private:
  /// Reads "sync.cfg" again; the caller holds mutex_.
  void ReloadLocked();
  /// Writes "sync.cfg" from memory; the caller holds mutex_.
  [[nodiscard]] HRESULT SaveLocked();
  [[nodiscard]] std::tm Now() const;
  /// Milliseconds until the next multiple of the tick.
  [[nodiscard]] std::int64_t UntilNextTick() const;
  void WriteLastTime(const std::tm& now) const;
  /// The instant of the scheduled run last due at or before `now`; none
  /// without a schedule. The caller holds mutex_.
  [[nodiscard]] std::optional<std::time_t> DueInstant(std::time_t now) const;
  /// A stopped backup family for `folder` with its root task queued.
  [[nodiscard]] std::shared_ptr<TaskFamily> MakeFamily(const SyncFolder& folder,
                                                       const std::shared_ptr<DataStore>& local,
                                                       const std::shared_ptr<DataStore>& service, std::uint64_t now);
  /// Makes way for `next`: removes, record and files, the stopped backups of
  /// its pair and the completed ones that met no error. False when one is
  /// still queued or running.
  [[nodiscard]] bool ReplaceEarlierRuns(const TaskFamily& next);

  TaskManager& manager_;
  SyncServiceOptions options_;
  std::unique_ptr<Event> wake_;

  mutable std::mutex mutex_;  // guards config_ and absent_; never held while a run starts families
  SyncConfig config_;
  /// Pairs whose local folder is missing now (an unplugged disk): not run,
  /// not listed, but written back, so that they return with their folder.
  std::vector<SyncFolder> absent_;
  std::atomic<bool> syncNow_{false};
  /// The scheduled instant last run, so that it runs once.
  std::optional<std::time_t> lastDue_;
  std::string reportedProblem_;
  std::unique_ptr<BackupRunWatch> watch_;
};

}  // namespace korvex
