//===- tasks/TaskManager.h - Owner and scheduler of all transfers -*- C++ -*-===//
///
/// The manager owns every transfer family, runs up to four of them at once
/// (lowest family id first) on executor threads, applies the error and retry
/// rules to what tasks report, keeps the task store up to date and tells its
/// listeners about every change. One manager lives per signed-in account.
///
/// Its own thread waits for three things: its stop event (stop every
/// executor, wait for each, and leave unfinished families stopped), the wake
/// event (a family may have become runnable), and the end of an executor
/// (the family becomes stopped when tasks are left, else completed).
///
/// Locks: the manager lock guards the family and executor maps and every
/// state change; a family's own locks are taken inside it. No thread is ever
/// waited for, and no listener called, while the manager lock is held, so a
/// listener may call back into the manager.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "platform/Event.h"
#include "tasks/SpeedMeter.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskFamilyEventListener.h"
#include "tasks/TaskStore.h"
#include "tasks/ThreadBase.h"

namespace korvex {

class TaskExecutor;

struct TaskManagerOptions {
  std::size_t maxRunningFamilies = 4;
  /// Transient errors are retried after a pause that starts here and doubles
  /// with every further failure up to `longestRetryPause`, so that an offline
  /// client does not spin.
  std::chrono::milliseconds firstRetryPause{200};
  std::chrono::milliseconds longestRetryPause{60000};
  /// Progress is written to the family file at most this often (every state
  /// change is written at once): each write is flushed to disk, and progress
  /// comes with every 32 KB block.
  std::chrono::milliseconds progressSaveInterval{1000};
  /// A command that waits for its transfers gives up on a transient error
  /// that has lasted this long: the family stops (resumable) and says why.
  /// Unset, as in the daemon and the desktop client, retrying goes on at
  /// the longest pause.
  std::optional<std::chrono::milliseconds> giveUpAfter;
};

/// The manager's answer to a task's report.
struct TaskEventAnswer {
  ErrorDetail detail = ErrorDetail::kNormal;
  /// How long the task waits on its stop event before it tries again.
  std::chrono::milliseconds retryPause{0};
};

class TaskManager : public ThreadBase {
 public:
  /// `store` must outlive the manager.
  explicit TaskManager(TaskStore& store, TaskManagerOptions options = {});
  /// Stops the thread (and with it every executor).
  ~TaskManager() override;

  [[nodiscard]] TaskStore& Store() noexcept { return store_; }

  /// Takes the family in. A family stored as running is queued again. Unless
  /// `fromStore`, the family and its queued tasks are saved; when `fromStore`,
  /// the id counters are raised past its ids.
  void AddFamily(std::shared_ptr<TaskFamily> family, bool fromStore);
  /// From the id source when one is set, else from the manager's counter.
  [[nodiscard]] std::uint32_t NewFamilyId();
  /// Family ids then come from `source`: where several processes add
  /// families to one task store, each id must be unique across them all.
  /// Set before the first family is made.
  void SetFamilyIdSource(std::function<std::uint32_t()> source) { familyIdSource_ = std::move(source); }
  [[nodiscard]] std::uint32_t NewTaskId() noexcept { return ++lastTaskId_; }
  /// True when a family that has not completed has the same two paths.
  [[nodiscard]] bool IsDuplicate(const TaskFamily& family) const;

  /// Refused in the completed state or for an unknown id. A running family is
  /// stopped after its current task has seen the stop event; this call waits
  /// for that and returns with the family stopped.
  bool StopFamily(std::uint32_t id);
  /// Only a stopped family; `wake` lets the manager start it at once.
  bool ResumeFamily(std::uint32_t id, bool wake = true);
  /// Only a stopped family that is not canceling already.
  bool CancelFamily(std::uint32_t id);
  /// Gives up the task a family stopped on, and resumes the family with the
  /// rest: the task leaves the queue and the task store, and the family's
  /// options keep "<source>--><target>" with " : Error by 0x<error>". Only a
  /// family that is stopped on an error (not paused, not canceling).
  bool SkipFailedTask(std::uint32_t id);
  /// Families that are not running first, then the running ones.
  bool StopFamilies(std::span<const std::uint32_t> ids);
  bool ResumeFamilies(std::span<const std::uint32_t> ids);
  bool CancelFamilies(std::span<const std::uint32_t> ids);
  /// Any family that is not running; with `deleteStored` its files go too,
  /// without they stay.
  bool RemoveFamily(std::uint32_t id, bool deleteStored);
  bool RemoveFamilies(std::span<const std::uint32_t> ids, bool deleteStored);
  bool RemoveAllFamilies(bool deleteStored);
  /// Stops every executor, saves every family as it stands and forgets them
  /// all (sign-out); a family that was running is queued again next time.
  void SaveAndClear();

  [[nodiscard]] std::shared_ptr<TaskFamily> GetFamily(std::uint32_t id) const;
  [[nodiscard]] std::vector<std::shared_ptr<TaskFamily>> Families() const;
  /// The lowest state among the families whose target path contains `uri`;
  /// kCompleted when none does.
  [[nodiscard]] FamilyState GetStateOf(std::string_view uri) const;

  /// Every report of a task. `value` is the byte count of kProgress and
  /// kRollback and the HRESULT of kError; `flag` 0 marks a report that follows
  /// a successful step. The answer matters for kError only.
  TaskEventAnswer OnTaskEvent(Task& task, TaskEvent event, std::uint64_t value, std::uint32_t flag,
                              std::string_view message = {});

  /// A step of `task` that had failed went through: its backoff starts
  /// again from the shortest pause. Other successes of the task (a chunk
  /// of another group) leave a growing backoff alone.
  void OnStepSucceeded(Task& task);

  void AddListener(TaskFamilyEventListener* listener);
  void RemoveListener(TaskFamilyEventListener* listener);

  /// Bytes per second of uploads (backups included) and of downloads.
  [[nodiscard]] double UploadSpeed() const { return uploadSpeed_.BytesPerSecond(); }
  [[nodiscard]] double DownloadSpeed() const { return downloadSpeed_.BytesPerSecond(); }

 protected:
  void Run() override;

 private:
  using ExecutorPtr = std::shared_ptr<TaskExecutor>;

  void StartRunnableFamilies();
  /// Waits for the executor's thread; unless another thread got there first,
  /// removes it from the map and stops or completes its family.
  void FinishFamily(const ExecutorPtr& executor);
  void StopAllExecutors();
  TaskEventAnswer OnTaskError(Task& task, HRESULT error, std::string_view message);
  TaskEventAnswer Retry(Task& task, HRESULT error, std::string_view message);
  /// True once the family's transient errors have lasted past giveUpAfter.
  [[nodiscard]] bool RetriedTooLong(const TaskFamily& family, std::chrono::milliseconds& left);
  void ClearRetryState(TaskFamily& family);
  void Notify(TaskFamily& family, FamilyEventKind kind, Task* task = nullptr,
              TaskEvent event = TaskEvent::kProgress, ErrorDetail detail = ErrorDetail::kNormal,
              HRESULT error = S_OK);
  void ReportError(Task& task, ErrorDetail detail, HRESULT error);
  void SaveAndNotifyChange(TaskFamily& family);
  /// Saves progress unless the family was saved a moment ago.
  void SaveProgress(TaskFamily& family);

  TaskStore& store_;
  const TaskManagerOptions options_;
  void Wake();

  std::unique_ptr<Event> wake_;  // null only when Start() refuses to run
  std::atomic<std::uint32_t> lastFamilyId_{1};
  std::function<std::uint32_t()> familyIdSource_;
  std::atomic<std::uint32_t> lastTaskId_{1};

  mutable std::mutex mutex_;  // the manager lock
  FamilyMap families_;
  std::map<std::uint32_t, ExecutorPtr> executors_;

  std::recursive_mutex listenerMutex_;  // a listener may trigger a nested notification
  std::vector<TaskFamilyEventListener*> listeners_;

  std::mutex saveTimesMutex_;
  std::map<std::uint32_t, std::chrono::steady_clock::time_point> lastProgressSave_;
  /// When the family's present run of transient errors began.
  std::map<std::uint32_t, std::chrono::steady_clock::time_point> retryingSince_;

  SpeedMeter uploadSpeed_{60, 5};
  SpeedMeter downloadSpeed_{60, 5};
};

}  // namespace korvex
