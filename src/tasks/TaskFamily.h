//===- tasks/TaskFamily.h - One transfer the user started -------*- C++ -*-===//
///
/// A family is one upload, download or backup run: its two end points, its
/// counters and the queue of tasks still to do. The TaskManager owns every
/// family and is the only one to change its state:
///
///              start executor               executor ends, tasks left
///   (new) --> 0 queued ----------> 3 running --------------------------> 1 stopped
///               ^  |                   |  executor ends, queue empty        |
///               |  | user stops        +--------------------> 5 completed   |
///               |  +----------------------------------------------------->  |
///               +------------------ user resumes / cancels -----------------+
///
/// Locks: the manager's lock guards state changes; the task lock guards the
/// queue and the current task; the progress lock guards the byte and time
/// counters, the stores, the options and the error text. Both family locks
/// are innermost. Small answer fields are atomics so that listeners may read
/// them from any thread.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "platform/HResult.h"
#include "tasks/Task.h"

namespace korvex {

class DataStore;

enum class FamilyState : std::uint32_t {
  kQueued = 0,
  kStopped = 1,
  kRunning = 3,
  kCompleted = 5,
};

enum class TransferDirection : std::uint32_t {
  kUpload = 0,
  kDownload = 1,
  /// A backup run: local to service, starts with conflictAnswer 2, is never
  /// asked for a password and ignores access-denied errors.
  kSyncUpload = 2,
};

/// Counters of a family, copied out under its progress lock.
struct FamilyProgress {
  std::optional<std::uint64_t> totalBytes;
  std::uint64_t doneBytes = 0;
  std::uint64_t createdAt = 0;     ///< FILETIME
  std::uint64_t runStart = 0;      ///< FILETIME at which the current run began
  std::uint64_t elapsedTotal = 0;  ///< 100 ns units over all runs
  std::uint64_t elapsedRun = 0;    ///< 100 ns units of the current run
};

class TaskFamily {
 public:
  /// Stores are shared: the application's own stores are handed in by the
  /// application (which may keep them alive with an empty deleter), a private
  /// store for another service root is owned through the pointer alone.
  TaskFamily(std::uint32_t id, TransferDirection direction, std::shared_ptr<DataStore> source,
             std::string sourcePath, std::shared_ptr<DataStore> target, std::string targetPath);
  ~TaskFamily();
  TaskFamily(const TaskFamily&) = delete;
  TaskFamily& operator=(const TaskFamily&) = delete;

  [[nodiscard]] std::uint32_t Id() const noexcept { return id_; }
  [[nodiscard]] TransferDirection Direction() const noexcept { return direction_; }
  [[nodiscard]] const std::string& SourcePath() const noexcept { return sourcePath_; }
  [[nodiscard]] const std::string& TargetPath() const noexcept { return targetPath_; }

  // --- state and answers -------------------------------------------------
  /// Written by the manager only (under its lock).
  std::atomic<FamilyState> state{FamilyState::kQueued};
  /// 1 after the user cancelled a stopped family: its tasks then run their
  /// cancel routine.
  std::atomic<std::uint32_t> canceling{0};
  std::atomic<HRESULT> lastError{S_OK};
  /// The user's answer to a file conflict (1 and 2 overwrite; 2, 3 and 4 let
  /// a file-exists error pass; 5 lets the next other error pass once).
  std::atomic<std::uint32_t> conflictAnswer{0};
  /// The user's answer to a folder conflict (1 and 2 overwrite).
  std::atomic<std::uint32_t> folderAnswer{0};
  /// Consecutive failed attempts of the current task.
  std::atomic<std::uint32_t> retryCount{0};
  /// Pause before the next retry, in milliseconds; 0 before the first.
  std::atomic<std::int64_t> retryPauseMs{0};

  // --- password ------------------------------------------------------------
  /// The transfer's encryption password, zero-padded; a zero first byte
  /// means no encryption. Never logged.
  [[nodiscard]] const std::array<std::uint8_t, 256>& Password() const noexcept { return password_; }
  [[nodiscard]] bool HasPassword() const noexcept { return password_[0] != 0; }
  /// Keeps at most 255 bytes, so that the field always ends in a zero.
  void SetPassword(std::string_view password) noexcept;
  void SetPasswordField(const std::array<std::uint8_t, 256>& field) noexcept;

  // --- queue (task lock) --------------------------------------------------
  void PushBack(std::unique_ptr<Task> task);
  void PushFront(std::unique_ptr<Task> task);
  /// Tasks in the queue, the running one not counted.
  [[nodiscard]] std::size_t PendingCount() const;
  /// Moves the front task to the current slot and returns it; null when the
  /// queue is empty. The caller runs it without holding any family lock.
  Task* BeginNext();
  /// Ends the current task: destroys it when `finished`, else queues it again
  /// at the back.
  void EndCurrent(bool finished);
  /// Takes the last task out of the queue (after the family stopped on a
  /// failing task, that task); null when the queue is empty.
  std::unique_ptr<Task> TakeLast();
  /// The task that runs after the current one, or null. Only the family's
  /// executor may use it, and only while it runs the current task: nothing
  /// else takes a task from a running family's queue.
  [[nodiscard]] Task* NextQueued() const;
  /// The task running now, or null. Valid only while the caller holds the
  /// task lock or is the family's executor.
  [[nodiscard]] Task* CurrentTask() const;
  /// Sum of the file sizes of the queued tasks when the front task is a file
  /// task, else nothing.
  [[nodiscard]] std::optional<std::uint64_t> QueuedFileBytes() const;
  /// Highest task id in the queue (current task included), 0 when empty.
  [[nodiscard]] std::uint32_t HighestTaskId() const;
  /// Calls `visit` with each queued task under the task lock.
  template <class Visit>
  void ForEachTask(Visit&& visit) const {
    std::lock_guard lock(taskMutex_);
    if (current_) visit(*current_);
    for (const auto& task : queue_) visit(*task);
  }
  /// Calls `visit` with each task waiting in the queue, under the task lock.
  /// Unlike the running task, these are touched by no other thread, so the
  /// visit may read their records.
  template <class Visit>
  void ForEachQueuedTask(Visit&& visit) const {
    std::lock_guard lock(taskMutex_);
    for (const auto& task : queue_) visit(*task);
  }

  // --- progress (progress lock) --------------------------------------------
  [[nodiscard]] FamilyProgress Progress() const;
  /// Adds `bytes` and advances the elapsed times to `now` (FILETIME).
  void AddProgress(std::uint64_t bytes, std::uint64_t now);
  /// Takes back at most what progress has added.
  void TakeBackProgress(std::uint64_t bytes);
  void SetTotalBytes(std::uint64_t total);
  /// Adds a file found after the total was set (a tree reveals its files
  /// folder by folder, after the first ones were counted); returns whether
  /// the total changed: nothing is added while it is still unset.
  bool GrowTotalBytes(std::uint64_t bytes);
  void BeginRun(std::uint64_t now);
  /// Restores counters read from the task store.
  void RestoreProgress(const FamilyProgress& progress);

  // --- stores, options and error text (progress lock) ----------------------
  [[nodiscard]] std::shared_ptr<DataStore> SourceStore() const;
  [[nodiscard]] std::shared_ptr<DataStore> TargetStore() const;
  /// Root of the family's private service store, empty for the application's.
  [[nodiscard]] std::string ServiceRoot() const;
  /// Replaces the service-side store (the source of a download, else the
  /// target) by a private one for `root`.
  void UseServiceRoot(std::string root, std::shared_ptr<DataStore> store);
  [[nodiscard]] std::map<std::string, std::string> Options() const;
  void SetOption(const std::string& key, const std::string& value);
  [[nodiscard]] std::string LastErrorText() const;
  void SetLastErrorText(std::string_view text);

 private:
  const std::uint32_t id_;
  const TransferDirection direction_;
  const std::string sourcePath_;
  const std::string targetPath_;
  std::array<std::uint8_t, 256> password_{};

  mutable std::mutex taskMutex_;
  std::deque<std::unique_ptr<Task>> queue_;
  std::unique_ptr<Task> current_;
  std::atomic<std::size_t> pending_{0};

  mutable std::mutex progressMutex_;
  FamilyProgress progress_;
  std::shared_ptr<DataStore> source_;
  std::shared_ptr<DataStore> target_;
  std::string serviceRoot_;
  std::map<std::string, std::string> options_;
  std::string lastErrorText_;
};

}  // namespace korvex
