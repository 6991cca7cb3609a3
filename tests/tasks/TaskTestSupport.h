// Small tasks, a listener and a store context that let the tests drive the
// task manager and the task store without the file and directory tasks.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskFamilyEventListener.h"
#include "tasks/TaskManager.h"
#include "tasks/TaskStoreContext.h"

namespace korvex::testing {

/// A task that fails `failures` times with `error` (waiting the pause the
/// manager answers), optionally blocks until `release` or the stop event,
/// then reports `bytes` of progress and ends.
class ScriptedTask : public Task {
 public:
  ScriptedTask(TaskType type, std::uint32_t id, TaskFamily& family, std::uint64_t bytes = 0)
      : Task(type, id, family), bytes_(bytes) {}

  int failures = 0;
  HRESULT error = E_FAIL;
  Event* release = nullptr;  ///< when set, Run waits for it (or the stop event) first
  std::atomic<int>* cancels = nullptr;

  bool Run(TaskRunContext& context) override {
    if (release) {
      Event* events[] = {&context.stop, release};
      if (WaitAny(events, 10000) != 1) return false;
    }
    return Attempt(context);
  }
  bool RunCancel(TaskRunContext& context) override {
    if (cancels) ++*cancels;
    return Attempt(context);
  }
  void Finish(TaskRunContext&) override {}
  TaskRecord Record() const override {
    if (Type() != TaskType::kFile) {
      DirectoryTaskRecord r;
      r.familyId = Family().Id();
      r.taskId = Id();
      r.type = static_cast<std::uint32_t>(Type());
      r.source.path = "/from/dir/";
      return r;
    }
    FileTaskRecord r;
    r.familyId = Family().Id();
    r.taskId = Id();
    r.fileSize = bytes_;
    r.source.path = "/from/file";
    r.blockCount = static_cast<std::uint32_t>((bytes_ + 32767) / 32768);
    r.doneBlocks.assign((r.blockCount + 31) / 32, 0);
    return r;
  }
  std::uint64_t FileSize() const override { return Type() == TaskType::kFile ? bytes_ : 0; }

 private:
  bool Attempt(TaskRunContext& context) {
    while (failures > 0) {
      --failures;
      TaskEventAnswer answer = context.manager.OnTaskEvent(*this, TaskEvent::kError, static_cast<std::uint32_t>(error), 1);
      if (answer.detail == ErrorDetail::kFamilyStops) {
        context.stop.Set();
        return false;
      }
      if (answer.detail == ErrorDetail::kSkipped) return true;
      if (context.stop.Wait(answer.retryPause.count())) return false;
    }
    (void)context.manager.OnTaskEvent(*this, TaskEvent::kProgress, bytes_, 0);
    (void)context.manager.OnTaskEvent(*this, TaskEvent::kEnded, 0, 0);
    return true;
  }

  std::uint64_t bytes_;
};

/// Every call it gets, in order.
class RecordingListener : public TaskFamilyEventListener {
 public:
  struct Call {
    std::uint32_t family;
    FamilyEventKind kind;
    std::uint32_t task;
    TaskEvent event;
    ErrorDetail detail;
    HRESULT error;
  };
  void OnTaskFamilyEvent(TaskFamily& family, FamilyEventKind kind, Task* task, TaskEvent event,
                         ErrorDetail detail, HRESULT error) override {
    std::lock_guard lock(mutex_);
    calls_.push_back({family.Id(), kind, task ? task->Id() : 0, event, detail, error});
  }
  std::vector<Call> Calls() const {
    std::lock_guard lock(mutex_);
    return calls_;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<Call> calls_;
};

/// Stores are opaque to the task layer: tagged pointers that are never used.
inline std::shared_ptr<DataStore> OpaqueStore(int& tag) {
  return std::shared_ptr<DataStore>(std::shared_ptr<void>(), reinterpret_cast<DataStore*>(&tag));
}

/// Rebuilds scripted tasks and remembers the records it was given.
class ScriptedContext : public TaskStoreContext {
 public:
  int service = 0, local = 0, rooted = 0;
  std::vector<std::string> roots;
  std::vector<TaskRecord> rebuilt;

  std::shared_ptr<DataStore> ServiceStore() override { return OpaqueStore(service); }
  std::shared_ptr<DataStore> LocalStore() override { return OpaqueStore(local); }
  std::shared_ptr<DataStore> ServiceStoreForRoot(const std::string& root) override {
    roots.push_back(root);
    return root == "unreachable" ? nullptr : OpaqueStore(rooted);
  }
  std::unique_ptr<Task> RebuildDirectoryTask(TaskFamily& family, const DirectoryTaskRecord& r) override {
    rebuilt.emplace_back(r);
    return std::make_unique<ScriptedTask>(TaskType::kDirectory, r.taskId, family);
  }
  std::unique_ptr<Task> RebuildFileTask(TaskFamily& family, const FileTaskRecord& r) override {
    rebuilt.emplace_back(r);
    return std::make_unique<ScriptedTask>(TaskType::kFile, r.taskId, family, r.fileSize);
  }
};

/// Polls `done` every few milliseconds for at most ten seconds.
inline bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 2000; ++i) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return done();
}

}  // namespace korvex::testing
