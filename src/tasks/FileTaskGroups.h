//===- tasks/FileTaskGroups.h - The groups under way in a file task -*- C++ -*-===//
///
/// What the transfer phase of a file task keeps of each group it moves, and
/// the helpers its two source files share: the pipeline that starts and
/// moves groups (FileTaskTransfer.cpp) and the checks that settle or give
/// them up (FileTaskGroupChecks.cpp). Private to those two files.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ThreadPool.h"
#include "store/AsyncResult.h"
#include "store/AwaitedResult.h"
#include "tasks/FileTask.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskStore.h"
#include "tasks/WholeFileMd5.h"

namespace korvex {
namespace file_task_groups {

inline constexpr char kCategory[] = "FileTask::ExcuteStream";
inline constexpr std::uint64_t kGroupBytes = std::uint64_t{FileTask::kBlockSize} * FileTask::kBlocksPerGroup;
// How long the task waits for its calls before it looks around again.
inline constexpr std::int64_t kCallWaitMs = 10000;
// How often the progress of a group moved by one call is passed on.
inline constexpr std::int64_t kProgressWaitMs = 250;
// The group being checked and saved, the one on the wire and the one read
// ahead.
inline constexpr std::size_t kGroupsUnderWay = 3;

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Gives a call up. One that completed before the cancel holds a payload
// nobody took; waiting for it lets its completer finish first.
inline void DropCall(AsyncResult*& call) {
  if (call == nullptr) return;
  if (call->CancelCall()) call->Release();
  else AwaitedResult abandoned(call, false);
  call = nullptr;
}

// Saves the family on a pool thread. Its file only carries the byte count a
// resumed transfer starts from; waiting for the disk here would hold up the
// next group's stream. Requests made while one is queued share its save,
// which reads the family when it runs; destruction waits for the last one.
class FamilySaveBehind {
 public:
  FamilySaveBehind(TaskStore& store, const TaskFamily& family) : store_(store), family_(family) {}
  ~FamilySaveBehind() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return !queued_ && !running_; });
  }
  FamilySaveBehind(const FamilySaveBehind&) = delete;
  FamilySaveBehind& operator=(const FamilySaveBehind&) = delete;

  void Request() {
    {
      std::lock_guard lock(mutex_);
      if (queued_) return;
      queued_ = true;
    }
    if (!ThreadPool::Default().Submit([this] { Save(); })) Save();
  }

 private:
  void Save() {
    {
      std::unique_lock lock(mutex_);
      idle_.wait(lock, [this] { return !running_; });
      queued_ = false;
      running_ = true;
    }
    (void)store_.SaveFamily(family_);
    std::lock_guard lock(mutex_);
    running_ = false;
    idle_.notify_all();
  }

  TaskStore& store_;
  const TaskFamily& family_;
  std::mutex mutex_;
  std::condition_variable idle_;
  bool queued_ = false;
  bool running_ = false;
};

}  // namespace file_task_groups

struct FileTask::GroupRun {
  /// Reading and opening overlap: a group is kOpening until both are done.
  enum class Stage { kOpening, kMoving, kClosing, kStoring, kSettled };
  struct BlockCall {
    std::uint32_t block = 0;
    AsyncResult* call = nullptr;
  };

  std::uint32_t group = 0;
  std::uint64_t start = 0;  ///< the group's first byte on the wire
  std::size_t size = 0;
  std::uint32_t firstBlock = 0;
  std::uint32_t endBlock = 0;
  Stage stage = Stage::kOpening;
  std::string streamId;
  /// The group's bytes as the service holds them, for the blocks and the MD5.
  std::unique_ptr<std::uint8_t[]> bytes;
  /// An upload's bytes once a group call sends them: it holds them too.
  std::shared_ptr<const std::uint8_t[]> sent;
  [[nodiscard]] const std::uint8_t* Data() const { return bytes ? bytes.get() : sent.get(); }
  bool loaded = false;  ///< the bytes are there to be sent (or received into)
  bool paced = false;   ///< the service store keeps the stream's in-flight bound
  AsyncResult* open = nullptr;
  AsyncResult* local = nullptr;  ///< the read of an upload, the write of a download
  AsyncResult* close = nullptr;
  std::uint32_t next = 0;  ///< the next block to start
  std::vector<BlockCall> blocks;
  /// The call that moves every block of the group at once, and the blocks
  /// it has done so far.
  AsyncResult* chunks = nullptr;
  std::shared_ptr<std::atomic<std::uint32_t>> moved;
  std::uint32_t reported = 0;  ///< blocks of `moved` counted as progress
  std::string localMd5;  ///< empty until made
  /// A download's whole-file digest carried over the group with localMd5.
  WholeFileMd5::Ahead fileMd5Ahead;
  std::uint64_t counted = 0;  ///< bytes reported as progress
};

struct FileTask::GroupPipeline {
  explicit GroupPipeline(TaskStore& store, const TaskFamily& family) : familySave(store, family) {}

  std::deque<std::unique_ptr<GroupRun>> runs;
  file_task_groups::FamilySaveBehind familySave;
  std::uint32_t nextGroup = 0;
  bool finished = false;  ///< every group has settled
  bool unsaved = false;   ///< settled groups that the task file does not hold yet
  /// Counted from the start, so that a file moved within a second (most
  /// small files) is saved once, when it is done.
  std::chrono::steady_clock::time_point lastSave = std::chrono::steady_clock::now();

  /// The bitmap, and behind it the family's byte count: at most about once
  /// a second while groups settle (a big file would otherwise rewrite its
  /// record after every group), and at once with `now`. A crash loses only
  /// groups that are then sent again.
  void SaveSettled(TaskStore& store, const Task& task, bool now) {
    const auto time = std::chrono::steady_clock::now();
    if (!unsaved || (!now && time - lastSave < std::chrono::seconds(1))) return;
    (void)store.SaveTask(task);
    familySave.Request();
    lastSave = time;
    unsaved = false;
  }
};

}  // namespace korvex
