//===- tasks/TaskManager.cpp - Owner and scheduler of all transfers -------===//

#include "tasks/TaskManager.h"

#include <algorithm>
#include <cstdio>
#include <utility>
#include <variant>

#include "foundation/LogMgr.h"
#include "platform/FileTime.h"
#include "tasks/TaskErrorRules.h"
#include "tasks/TaskExecutor.h"
#include "tasks/TaskFailures.h"

namespace korvex {
namespace {

constexpr char kLogSource[] = "TaskManager";

void RaiseTo(std::atomic<std::uint32_t>& counter, std::uint32_t value) {
  std::uint32_t seen = counter.load();
  while (seen < value && !counter.compare_exchange_weak(seen, value)) {
  }
}

bool WorksOnFolder(const Task& task) {
  return std::visit([](const auto& r) { return r.source.path.ends_with('/'); }, task.Record());
}

}  // namespace

TaskManager::TaskManager(TaskStore& store, TaskManagerOptions options)
    : ThreadBase("TaskManager"), store_(store), options_(options) {
  NoteCreationStatus(Event::Create(/*manualReset=*/true, false, wake_));
}

void TaskManager::Wake() {
  if (wake_) wake_->Set();
}

TaskManager::~TaskManager() { Stop(true); }

// --- families ---------------------------------------------------------------

void TaskManager::AddFamily(std::shared_ptr<TaskFamily> family, bool fromStore) {
  {
    std::lock_guard lock(mutex_);
    if (family->state == FamilyState::kRunning) family->state = FamilyState::kQueued;
    families_[family->Id()] = family;
    if (fromStore) {
      RaiseTo(lastFamilyId_, family->Id() + 1);
      RaiseTo(lastTaskId_, family->HighestTaskId() + 1);
    } else {
      (void)store_.SaveFamily(*family);
      // Saved outside the family's task lock, so that a task's Record() may
      // take locks of its own; nothing runs the family while this lock is held.
      std::vector<const Task*> tasks;
      family->ForEachTask([&tasks](const Task& task) { tasks.push_back(&task); });
      (void)store_.SaveTasks(tasks);
    }
  }
  Notify(*family, FamilyEventKind::kAdded);
  Wake();
}

std::uint32_t TaskManager::NewFamilyId() {
  if (familyIdSource_) {
    if (const std::uint32_t id = familyIdSource_(); id != 0) return id;
  }
  return ++lastFamilyId_;
}

bool TaskManager::IsDuplicate(const TaskFamily& family) const {
  std::lock_guard lock(mutex_);
  return std::any_of(families_.begin(), families_.end(), [&family](const auto& entry) {
    const TaskFamily& other = *entry.second;
    return other.state != FamilyState::kCompleted && other.SourcePath() == family.SourcePath() &&
           other.TargetPath() == family.TargetPath();
  });
}

std::shared_ptr<TaskFamily> TaskManager::GetFamily(std::uint32_t id) const {
  std::lock_guard lock(mutex_);
  auto found = families_.find(id);
  return found == families_.end() ? nullptr : found->second;
}

std::vector<std::shared_ptr<TaskFamily>> TaskManager::Families() const {
  std::lock_guard lock(mutex_);
  std::vector<std::shared_ptr<TaskFamily>> all;
  for (const auto& entry : families_) all.push_back(entry.second);
  return all;
}

FamilyState TaskManager::GetStateOf(std::string_view uri) const {
  std::lock_guard lock(mutex_);
  auto lowest = FamilyState::kCompleted;
  for (const auto& [id, family] : families_) {
    if (family->TargetPath().find(uri) != std::string::npos) lowest = std::min(lowest, family->state.load());
  }
  return lowest;
}

// --- user operations --------------------------------------------------------

bool TaskManager::StopFamily(std::uint32_t id) {
  ExecutorPtr executor;
  std::shared_ptr<TaskFamily> family;
  {
    std::lock_guard lock(mutex_);
    auto found = families_.find(id);
    if (found == families_.end() || found->second->state == FamilyState::kCompleted) return false;
    family = found->second;
    family->lastError = E_ABORT;
    if (auto running = executors_.find(id); running != executors_.end()) {
      executor = running->second;
    } else {
      family->state = FamilyState::kStopped;
    }
  }
  if (!executor) {
    SaveAndNotifyChange(*family);
    return true;
  }
  executor->Stop(true);
  FinishFamily(executor);
  return true;
}

bool TaskManager::ResumeFamily(std::uint32_t id, bool wake) {
  std::shared_ptr<TaskFamily> family;
  {
    std::lock_guard lock(mutex_);
    auto found = families_.find(id);
    if (found == families_.end() || found->second->state != FamilyState::kStopped) return false;
    family = found->second;
    family->lastError = S_OK;
    family->state = FamilyState::kQueued;
  }
  SaveAndNotifyChange(*family);
  if (wake) Wake();
  return true;
}

bool TaskManager::SkipFailedTask(std::uint32_t id) {
  std::shared_ptr<TaskFamily> family;
  HRESULT error = S_OK;
  {
    std::lock_guard lock(mutex_);
    auto found = families_.find(id);
    if (found == families_.end()) return false;
    error = found->second->lastError;
    if (found->second->state != FamilyState::kStopped || found->second->canceling != 0 || Succeeded(error) ||
        error == E_ABORT)
      return false;
    family = found->second;
  }
  // A stopped family has no executor: nobody else touches its queue now.
  std::unique_ptr<Task> failed = family->TakeLast();
  if (!failed) return ResumeFamily(id);
  const auto [source, target] = std::visit(
      [](const auto& record) { return std::pair{record.source.path, record.target.path}; }, failed->Record());
  char code[32];
  std::snprintf(code, sizeof code, " : Error by 0x%08X", static_cast<std::uint32_t>(error));
  family->SetOption(source + "-->" + target, code);
  LogMgr::Get().Trace("AutoSkipError", "Task family id : %d, Task id : %d, %s --> %s", static_cast<int>(id),
                      static_cast<int>(failed->Id()), source.c_str(), target.c_str());
  (void)store_.DeleteTask(id, failed->Id());
  failed.reset();
  family->retryCount = 0;
  return ResumeFamily(id);
}

bool TaskManager::CancelFamily(std::uint32_t id) {
  std::shared_ptr<TaskFamily> family;
  {
    std::lock_guard lock(mutex_);
    auto found = families_.find(id);
    if (found == families_.end() || found->second->state != FamilyState::kStopped ||
        found->second->canceling != 0) {
      return false;
    }
    family = found->second;
    family->canceling = 1;
    family->state = FamilyState::kQueued;
  }
  SaveAndNotifyChange(*family);
  Wake();
  return true;
}

bool TaskManager::StopFamilies(std::span<const std::uint32_t> ids) {
  std::vector<std::uint32_t> idle, running;
  {
    std::lock_guard lock(mutex_);
    for (std::uint32_t id : ids) {
      auto executor = executors_.find(id);
      (executor == executors_.end() ? idle : running).push_back(id);
      // Every running family starts stopping now; the waits below overlap.
      if (executor != executors_.end()) executor->second->StopEvent().Set();
    }
  }
  bool all = true;
  for (std::uint32_t id : idle) all = StopFamily(id) && all;
  for (std::uint32_t id : running) all = StopFamily(id) && all;
  return all;
}

bool TaskManager::ResumeFamilies(std::span<const std::uint32_t> ids) {
  bool all = true;
  for (std::uint32_t id : ids) all = ResumeFamily(id, false) && all;
  Wake();
  return all;
}

bool TaskManager::CancelFamilies(std::span<const std::uint32_t> ids) {
  bool all = true;
  for (std::uint32_t id : ids) all = CancelFamily(id) && all;
  return all;
}

bool TaskManager::RemoveFamily(std::uint32_t id, bool deleteStored) {
  std::shared_ptr<TaskFamily> family;
  {
    std::lock_guard lock(mutex_);
    auto found = families_.find(id);
    // A running family's executor still uses it: callers stop it first.
    if (found == families_.end() || executors_.contains(id)) return false;
    FamilyState state = found->second->state;
    // A stopped family may go too: the user gave up on it.
    if (deleteStored && state == FamilyState::kRunning) return false;
    family = std::move(found->second);
    families_.erase(found);
    if (deleteStored) (void)store_.DeleteFamily(id);
  }
  {
    std::lock_guard lock(saveTimesMutex_);
    lastProgressSave_.erase(id);
    retryingSince_.erase(id);
  }
  Notify(*family, FamilyEventKind::kRemoved);
  Wake();
  return true;
}

bool TaskManager::RemoveFamilies(std::span<const std::uint32_t> ids, bool deleteStored) {
  bool all = true;
  for (std::uint32_t id : ids) all = RemoveFamily(id, deleteStored) && all;
  return all;
}

bool TaskManager::RemoveAllFamilies(bool deleteStored) {
  std::vector<std::uint32_t> ids;
  {
    std::lock_guard lock(mutex_);
    for (const auto& entry : families_) ids.push_back(entry.first);
  }
  return RemoveFamilies(ids, deleteStored);
}

void TaskManager::SaveAndClear() {
  std::vector<ExecutorPtr> running;
  FamilyMap families;
  {
    std::lock_guard lock(mutex_);
    for (auto& entry : executors_) running.push_back(std::move(entry.second));
    executors_.clear();
    families.swap(families_);
  }
  for (const ExecutorPtr& executor : running) executor->Stop(true);
  // Saved after their executors ended, with the counters complete; a family
  // that was running keeps that state on disk and is queued at the next load.
  for (const auto& entry : families) (void)store_.SaveFamily(*entry.second);
}

// --- the manager thread -----------------------------------------------------

void TaskManager::Run() {
  for (;;) {
    StartRunnableFamilies();
    std::vector<ExecutorPtr> running;
    std::vector<Event*> waits{&StopEvent(), wake_.get()};
    {
      std::lock_guard lock(mutex_);
      for (const auto& entry : executors_) {
        running.push_back(entry.second);
        waits.push_back(&entry.second->FinishedEvent());
      }
    }
    const int which = WaitAny(waits, kInfinite);
    if (which == 0) {
      StopAllExecutors();
      return;
    }
    if (which == 1) {
      wake_->Reset();
    } else if (which > 1) {
      FinishFamily(running[static_cast<std::size_t>(which) - 2]);
    }
  }
}

void TaskManager::StartRunnableFamilies() {
  std::vector<std::shared_ptr<TaskFamily>> started;
  {
    std::lock_guard lock(mutex_);
    while (executors_.size() < options_.maxRunningFamilies && executors_.size() < families_.size()) {
      auto next = std::find_if(families_.begin(), families_.end(),
                               [](const auto& entry) { return entry.second->state == FamilyState::kQueued; });
      if (next == families_.end()) break;
      auto executor = std::make_shared<TaskExecutor>(next->second, *this);
      executors_[next->first] = executor;
      // A thread that cannot start shows as finished; the loop then stops
      // the family, which waits for the user to resume it.
      if (HRESULT hr = executor->Start(); Failed(hr)) {
        LogMgr::Get().Error(kLogSource, "Cannot start the executor of family %u, error 0x%08X", next->first,
                            static_cast<std::uint32_t>(hr));
      }
      started.push_back(next->second);
    }
  }
  for (const auto& family : started) SaveAndNotifyChange(*family);
}

void TaskManager::FinishFamily(const ExecutorPtr& executor) {
  executor->Stop(true);
  TaskFamily& family = executor->Family();
  {
    std::lock_guard lock(mutex_);
    auto found = executors_.find(family.Id());
    // Whoever detaches the executor settles the family, under the same lock,
    // so a caller that lost the race still sees the settled state.
    if (found == executors_.end() || found->second != executor) return;
    executors_.erase(found);
    family.state = family.PendingCount() > 0 ? FamilyState::kStopped : FamilyState::kCompleted;
  }
  SaveAndNotifyChange(family);
  // The slot is free; when another thread detached the executor, the manager
  // thread may be waiting on a list that no longer names it.
  Wake();
}

void TaskManager::StopAllExecutors() {
  std::vector<ExecutorPtr> all;
  {
    std::lock_guard lock(mutex_);
    for (const auto& entry : executors_) {
      entry.second->StopEvent().Set();
      all.push_back(entry.second);
    }
  }
  for (const ExecutorPtr& executor : all) FinishFamily(executor);
}

// --- task events ------------------------------------------------------------

TaskEventAnswer TaskManager::OnTaskEvent(Task& task, TaskEvent event, std::uint64_t value, std::uint32_t flag,
                                         std::string_view message) {
  TaskFamily& family = task.Family();
  family.lastError = S_OK;
  // A chunk's progress or a rollback says nothing about the step that
  // failed (another group may be the one refused); a created target, an
  // ended task or a step's own success does.
  const bool stepDone = event == TaskEvent::kTargetCreated || event == TaskEvent::kEnded ||
                        (event == TaskEvent::kProgress && value == 0);
  if (flag == 0 && stepDone) OnStepSucceeded(task);
  switch (event) {
    case TaskEvent::kTargetCreated:
    case TaskEvent::kEnded:
      Notify(family, FamilyEventKind::kChanged, &task, event);
      break;
    case TaskEvent::kProgress:
      family.AddProgress(value, FileTimeNow());
      (family.Direction() == TransferDirection::kDownload ? downloadSpeed_ : uploadSpeed_).Add(value);
      SaveProgress(family);
      Notify(family, FamilyEventKind::kChanged, &task, event);
      break;
    case TaskEvent::kError:
      family.SetLastErrorText(message);
      return OnTaskError(task, static_cast<HRESULT>(value), message);
    case TaskEvent::kRollback:
      family.TakeBackProgress(value);
      (void)store_.SaveFamily(family);
      break;
  }
  return {};
}

void TaskManager::OnStepSucceeded(Task& task) {
  TaskFamily& family = task.Family();
  if (family.retryCount != 0) LogMgr::Get().Debug(kLogSource, "retry task succeeded");
  ClearRetryState(family);
}

void TaskManager::ClearRetryState(TaskFamily& family) {
  family.retryCount = 0;
  family.retryPauseMs = 0;
  std::lock_guard lock(saveTimesMutex_);
  retryingSince_.erase(family.Id());
}

bool TaskManager::RetriedTooLong(const TaskFamily& family, std::chrono::milliseconds& left) {
  if (!options_.giveUpAfter) return false;
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard lock(saveTimesMutex_);
  const auto since = retryingSince_.try_emplace(family.Id(), now).first->second;
  left = std::chrono::duration_cast<std::chrono::milliseconds>(since + *options_.giveUpAfter - now);
  return left.count() <= 0;
}

TaskEventAnswer TaskManager::OnTaskError(Task& task, HRESULT error, std::string_view message) {
  TaskFamily& family = task.Family();
  ErrorRuleOutcome outcome =
      ApplyErrorRules({error, family.Direction(), family.conflictAnswer, WorksOnFolder(task)});
  switch (outcome.action) {
    case ErrorRuleOutcome::Action::kPass:
      // Left out at the user's word: listed with the family, not reported.
      if (outcome.detail == ErrorDetail::kSkipped) RecordFailedTask(family, task, error, {});
      break;
    case ErrorRuleOutcome::Action::kReport:
      if (outcome.detail == ErrorDetail::kSkipped) {
        LogMgr::Get().Warn(kLogSource, "task error [%08X], the file is given up", static_cast<std::uint32_t>(error));
        RecordFailedTask(family, task, error, message);
        ClearRetryState(family);
      } else if (outcome.detail == ErrorDetail::kFamilyStops) {
        RecordStopReason(family, task, message);
      }
      ReportError(task, outcome.detail, error);
      break;
    case ErrorRuleOutcome::Action::kRetry:
      return Retry(task, error, message);
  }
  if (outcome.conflictAnswer) family.conflictAnswer = *outcome.conflictAnswer;
  return {outcome.detail, options_.firstRetryPause};
}

TaskEventAnswer TaskManager::Retry(Task& task, HRESULT error, std::string_view message) {
  TaskFamily& family = task.Family();
  const bool canceling = family.canceling != 0;
  const std::uint32_t limit = canceling ? 5 : 10;
  std::chrono::milliseconds left{0};
  if (!canceling && RetriedTooLong(family, left)) {
    LogMgr::Get().Warn(kLogSource, "task error [%08X], retried too long, stopped", static_cast<std::uint32_t>(error));
    ClearRetryState(family);
    RecordStopReason(family, task, message);
    ReportError(task, ErrorDetail::kFamilyStops, error);
    return {ErrorDetail::kFamilyStops, std::chrono::milliseconds(0)};
  }
  if (family.retryCount < limit) {
    LogMgr::Get().Warn(kLogSource, "task error [%08X], retrying...", static_cast<std::uint32_t>(error));
    // Only a canceling family gives up; any other keeps retrying a transient
    // error for as long as it lasts, its count resting below the limit.
    if (canceling || family.retryCount < limit - 1) ++family.retryCount;
    const std::int64_t previous = family.retryPauseMs;
    const std::int64_t pause = previous == 0 ? options_.firstRetryPause.count()
                                             : std::min(2 * previous, options_.longestRetryPause.count());
    family.retryPauseMs = pause;
    // The last attempt falls due when the time runs out, not a minute later.
    const std::int64_t wait =
        options_.giveUpAfter && !canceling ? std::clamp<std::int64_t>(left.count(), 1, pause) : pause;
    ReportError(task, ErrorDetail::kRetry, error);
    return {ErrorDetail::kRetry, std::chrono::milliseconds(wait)};
  }
  ClearRetryState(family);
  LogMgr::Get().Debug(kLogSource, "[canceling] retry task failed, skipped");
  ReportError(task, ErrorDetail::kSkipped, error);
  return {ErrorDetail::kSkipped, std::chrono::milliseconds(0)};
}

// --- saving and listeners ---------------------------------------------------

void TaskManager::SaveProgress(TaskFamily& family) {
  const auto now = std::chrono::steady_clock::now();
  {
    std::lock_guard lock(saveTimesMutex_);
    auto [it, first] = lastProgressSave_.try_emplace(family.Id(), now);
    if (!first && now - it->second < options_.progressSaveInterval) return;
    it->second = now;
  }
  (void)store_.SaveFamily(family);
}

void TaskManager::SaveAndNotifyChange(TaskFamily& family) {
  (void)store_.SaveFamily(family);
  Notify(family, FamilyEventKind::kChanged);
}

void TaskManager::ReportError(Task& task, ErrorDetail detail, HRESULT error) {
  task.Family().lastError = error;
  Notify(task.Family(), FamilyEventKind::kChanged, &task, TaskEvent::kError, detail, error);
}

void TaskManager::Notify(TaskFamily& family, FamilyEventKind kind, Task* task, TaskEvent event,
                         ErrorDetail detail, HRESULT error) {
  std::lock_guard lock(listenerMutex_);
  // A copy, so that a listener may unregister itself from inside the call.
  const std::vector<TaskFamilyEventListener*> listeners = listeners_;
  for (TaskFamilyEventListener* listener : listeners) {
    listener->OnTaskFamilyEvent(family, kind, task, event, detail, error);
  }
}

void TaskManager::AddListener(TaskFamilyEventListener* listener) {
  std::lock_guard lock(listenerMutex_);
  if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end()) {
    listeners_.push_back(listener);
  }
}

void TaskManager::RemoveListener(TaskFamilyEventListener* listener) {
  std::lock_guard lock(listenerMutex_);
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

}  // namespace korvex
