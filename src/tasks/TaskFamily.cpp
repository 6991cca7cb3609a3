//===- tasks/TaskFamily.cpp - One transfer the user started ---------------===//

#include "tasks/TaskFamily.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace korvex {

TaskFamily::TaskFamily(std::uint32_t id, TransferDirection direction, std::shared_ptr<DataStore> source,
                       std::string sourcePath, std::shared_ptr<DataStore> target, std::string targetPath)
    : id_(id),
      direction_(direction),
      sourcePath_(std::move(sourcePath)),
      targetPath_(std::move(targetPath)),
      source_(std::move(source)),
      target_(std::move(target)) {
  if (direction == TransferDirection::kSyncUpload) conflictAnswer = 2;
}

// Tasks refer back to their family, so they go first.
TaskFamily::~TaskFamily() {
  current_.reset();
  queue_.clear();
}

void TaskFamily::SetPassword(std::string_view password) noexcept {
  password_.fill(0);
  std::memcpy(password_.data(), password.data(), std::min(password.size(), password_.size() - 1));
}

void TaskFamily::SetPasswordField(const std::array<std::uint8_t, 256>& field) noexcept {
  password_ = field;
  password_.back() = 0;
}

void TaskFamily::PushBack(std::unique_ptr<Task> task) {
  assert(task && &task->Family() == this && "a task joins its own family's queue");
  std::lock_guard lock(taskMutex_);
  queue_.push_back(std::move(task));
  pending_ = queue_.size();
}

void TaskFamily::PushFront(std::unique_ptr<Task> task) {
  assert(task && &task->Family() == this && "a task joins its own family's queue");
  std::lock_guard lock(taskMutex_);
  queue_.push_front(std::move(task));
  pending_ = queue_.size();
}

std::size_t TaskFamily::PendingCount() const { return pending_.load(); }

Task* TaskFamily::BeginNext() {
  std::lock_guard lock(taskMutex_);
  assert(!current_ && "one task runs at a time");
  if (queue_.empty()) return nullptr;
  current_ = std::move(queue_.front());
  queue_.pop_front();
  pending_ = queue_.size();
  return current_.get();
}

void TaskFamily::EndCurrent(bool finished) {
  std::unique_ptr<Task> done;
  {
    std::lock_guard lock(taskMutex_);
    if (!finished && current_) queue_.push_back(std::move(current_));
    done = std::move(current_);
    pending_ = queue_.size();
  }
  // Destroyed outside the lock: a task's destructor may look at its family.
}

std::unique_ptr<Task> TaskFamily::TakeLast() {
  std::lock_guard lock(taskMutex_);
  if (queue_.empty()) return nullptr;
  std::unique_ptr<Task> last = std::move(queue_.back());
  queue_.pop_back();
  pending_ = queue_.size();
  return last;
}

Task* TaskFamily::NextQueued() const {
  std::lock_guard lock(taskMutex_);
  return queue_.empty() ? nullptr : queue_.front().get();
}

Task* TaskFamily::CurrentTask() const {
  std::lock_guard lock(taskMutex_);
  return current_.get();
}

std::optional<std::uint64_t> TaskFamily::QueuedFileBytes() const {
  std::lock_guard lock(taskMutex_);
  if (queue_.empty() || queue_.front()->Type() != TaskType::kFile) return std::nullopt;
  std::uint64_t total = 0;
  for (const auto& task : queue_) total += task->FileSize();
  return total;
}

std::uint32_t TaskFamily::HighestTaskId() const {
  std::uint32_t highest = 0;
  ForEachTask([&highest](const Task& task) { highest = std::max(highest, task.Id()); });
  return highest;
}

FamilyProgress TaskFamily::Progress() const {
  std::lock_guard lock(progressMutex_);
  return progress_;
}

void TaskFamily::AddProgress(std::uint64_t bytes, std::uint64_t now) {
  std::lock_guard lock(progressMutex_);
  progress_.doneBytes += bytes;
  std::uint64_t run = now > progress_.runStart ? now - progress_.runStart : 0;
  if (run > progress_.elapsedRun) progress_.elapsedTotal += run - progress_.elapsedRun;
  progress_.elapsedRun = std::max(progress_.elapsedRun, run);
}

void TaskFamily::TakeBackProgress(std::uint64_t bytes) {
  std::lock_guard lock(progressMutex_);
  progress_.doneBytes -= std::min(bytes, progress_.doneBytes);
}

void TaskFamily::SetTotalBytes(std::uint64_t total) {
  std::lock_guard lock(progressMutex_);
  progress_.totalBytes = total;
}

bool TaskFamily::GrowTotalBytes(std::uint64_t bytes) {
  std::lock_guard lock(progressMutex_);
  if (!progress_.totalBytes || bytes == 0) return false;
  *progress_.totalBytes += bytes;
  return true;
}

void TaskFamily::BeginRun(std::uint64_t now) {
  std::lock_guard lock(progressMutex_);
  progress_.runStart = now;
  progress_.elapsedRun = 0;
}

void TaskFamily::RestoreProgress(const FamilyProgress& progress) {
  std::lock_guard lock(progressMutex_);
  progress_ = progress;
}

std::shared_ptr<DataStore> TaskFamily::SourceStore() const {
  std::lock_guard lock(progressMutex_);
  return source_;
}

std::shared_ptr<DataStore> TaskFamily::TargetStore() const {
  std::lock_guard lock(progressMutex_);
  return target_;
}

std::string TaskFamily::ServiceRoot() const {
  std::lock_guard lock(progressMutex_);
  return serviceRoot_;
}

void TaskFamily::UseServiceRoot(std::string root, std::shared_ptr<DataStore> store) {
  std::lock_guard lock(progressMutex_);
  serviceRoot_ = std::move(root);
  (direction_ == TransferDirection::kDownload ? source_ : target_) = std::move(store);
}

std::map<std::string, std::string> TaskFamily::Options() const {
  std::lock_guard lock(progressMutex_);
  return options_;
}

void TaskFamily::SetOption(const std::string& key, const std::string& value) {
  std::lock_guard lock(progressMutex_);
  options_[key] = value;
}

std::string TaskFamily::LastErrorText() const {
  std::lock_guard lock(progressMutex_);
  return lastErrorText_;
}

void TaskFamily::SetLastErrorText(std::string_view text) {
  std::lock_guard lock(progressMutex_);
  lastErrorText_ = text;
}

}  // namespace korvex
