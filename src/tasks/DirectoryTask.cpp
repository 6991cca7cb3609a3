#include "tasks/DirectoryTask.h"

#include <algorithm>
#include <memory>
#include <span>
#include <variant>
#include <vector>

#include "store/DataStore.h"
#include "store/IDataStoreRemote.h"
#include "tasks/FileTask.h"
#include "tasks/StoreCall.h"
#include "tasks/StoreWalk.h"
#include "tasks/TaskErrorRules.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskManager.h"
#include "tasks/TreeCheck.h"

namespace korvex {
namespace {

std::string NameOf(std::string_view uri) {
  if (!uri.empty() && uri.back() == '/') uri.remove_suffix(1);
  const std::size_t slash = uri.rfind('/');
  return std::string(slash == std::string_view::npos ? uri : uri.substr(slash + 1));
}

std::uint64_t IdOf(const boost::any& value) {
  const std::uint64_t* id = boost::any_cast<std::uint64_t>(&value);
  return id ? *id : 0;
}

ContainerInfo Rebuilt(const StoredObject& stored) {
  ContainerInfo info;
  info.uri = stored.path;
  info.name = NameOf(stored.path);
  if (stored.id != 0) info.tag = stored.id;
  return info;
}

}  // namespace

DirectoryTask::DirectoryTask(std::uint32_t id, TaskFamily& family, const ContainerInfo& source,
                             const ContainerInfo& targetParent)
    : Task(TaskType::kDirectory, id, family), source_(source), parent_(targetParent) {
  target_.name = NameOf(source.uri);
  target_.uri = targetParent.uri + target_.name + "/";
}

DirectoryTask::DirectoryTask(TaskFamily& family, const DirectoryTaskRecord& record)
    : Task(TaskType::kDirectory, record.taskId, family),
      source_(Rebuilt(record.source)),
      parent_(Rebuilt(record.targetParent)),
      target_(Rebuilt(record.target)),
      marker_(record.marker == 1 ? 1 : 0),
      createdTarget_(record.createdTarget),
      resumed_(marker_ == 1) {}

bool DirectoryTask::Run(TaskRunContext& context) {
  while (!IsStopped(context.stop)) {
    if (const HRESULT checked = CheckWholeTree(context); checked != S_OK) {
      if (checked == HR_TASK_STOPPED) return false;
      if (ApplyFolderTaskError(*this, context, checked)) return true;
      continue;
    }
    const HRESULT hr = marker_ == 0 ? CreateTarget(context) : Expand(context);
    if (hr == HR_TASK_STOPPED) return false;
    if (Failed(hr)) {
      if (ApplyFolderTaskError(*this, context, hr)) return true;
      continue;
    }
    if (marker_ == 0) {
      marker_ = 1;
      (void)context.manager.Store().SaveTask(*this);
      continue;
    }
    (void)context.manager.Store().DeleteTask(Family().Id(), Id());
    (void)context.manager.OnTaskEvent(*this, TaskEvent::kEnded, 0, 0);
    return true;
  }
  return false;
}

HRESULT DirectoryTask::CheckWholeTree(TaskRunContext& context) {
  // The family's own folder, before its target is made: nothing is sent yet.
  if (treeChecked_ || marker_ != 0 || source_.uri != Family().SourcePath()) return S_OK;
  std::string message;
  const bool toService = Family().Direction() != TransferDirection::kDownload;
  const HRESULT hr = CheckTree(*Family().SourceStore(), source_, parent_.uri, toService, context.stop, message);
  if (hr == E_ABORT) return HR_TASK_STOPPED;
  if (hr != HR_NAMES_DIFFER_IN_CASE && hr != HR_PATH_TOO_LONG) {
    treeChecked_ = Succeeded(hr);
    return hr;
  }
  // Nothing of the tree may go.
  return StopFamily(context, hr, message);
}

HRESULT DirectoryTask::StopFamily(TaskRunContext& context, HRESULT error, const std::string& message) {
  // Trying again cannot help: the family stops with the reason.
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kError, static_cast<std::uint32_t>(error), 1, message);
  context.stop.Set();
  return HR_TASK_STOPPED;
}

HRESULT DirectoryTask::CreateTarget(TaskRunContext& context) {
  const auto target = Family().TargetStore();
  std::uint32_t answer = Family().folderAnswer.load();
  if (answer == 1) Family().folderAnswer.compare_exchange_strong(answer, 0);
  const bool overwrite = answer == 1 || answer == 2;
  AsyncResult* call = nullptr;
  HRESULT hr = target->Remote()->CreateContainer(parent_, target_, &call);
  if (Succeeded(hr) && call != nullptr) {
    if (!AwaitCall(call, context.stop)) return HR_TASK_STOPPED;
    hr = target->FinishCreateContainer(parent_, target_, call);
  }
  createdTarget_ = Succeeded(hr);
  // An existing folder is reused only when the user allowed it; its id then
  // comes from the target's listing.
  if (hr == HR_ALREADY_EXISTS && overwrite) {
    bool isFolder = false;
    ItemInfo file;
    const HRESULT found = FindByAddress(*target, target_.uri, isFolder, target_, file);
    if (Failed(found) || !isFolder) return hr;
    hr = S_OK;
  }
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kProgress, 0, Failed(hr) ? 1 : 0);
  return hr;
}

HRESULT DirectoryTask::Expand(TaskRunContext& context) {
  const auto source = Family().SourceStore();
  bool isFolder = false;
  ItemInfo file;
  if (const HRESULT hr = FindByAddress(*source, source_.uri, isFolder, source_, file); Failed(hr)) return hr;
  if (!isFolder) return HR_FILE_NOT_FOUND;
  const EntryCounts counts = source->GetCounts(source_, false);
  if (Failed(counts.status)) return counts.status;
  // The whole listing is read before anything is queued: a stop or a failing
  // page then leaves nothing half-queued for the next attempt to queue again.
  std::vector<std::unique_ptr<Task>> children;
  const std::int32_t total = counts.containers + counts.items;
  for (std::int32_t position = 0; position < total; ++position) {
    if (IsStopped(context.stop)) return HR_TASK_STOPPED;
    EntryAt entry = source->GetEntryAt(source_, position, false);
    if (entry.status == E_INVALIDARG && ListingEndsBefore(*source, source_, position)) break;
    if (Failed(entry.status) || !entry.record) return Failed(entry.status) ? entry.status : E_UNEXPECTED;
    // A download's own partial file in the tree is not the user's to send.
    if (entry.record->kind != kObjectContainer && static_cast<const ItemInfo&>(*entry.record).partial != 0 &&
        Family().Direction() != TransferDirection::kDownload)
      continue;
    const std::uint32_t id = context.manager.NewTaskId();
    if (entry.record->kind == kObjectContainer) {
      children.push_back(
          std::make_unique<DirectoryTask>(id, Family(), static_cast<const ContainerInfo&>(*entry.record), target_));
    } else {
      children.push_back(
          std::make_unique<FileTask>(id, Family(), static_cast<const ItemInfo&>(*entry.record), target_));
    }
  }
  // Only a process ended in the middle of the saves below leaves some
  // children stored; they come back with this task and must not be queued twice.
  const std::set<ChildKey> queued = resumed_ ? QueuedChildren() : std::set<ChildKey>{};
  std::erase_if(children, [&queued](const std::unique_ptr<Task>& child) {
    return queued.contains(KeyOf(child->Record()));
  });
  // A tree that grew since it was checked may hold a path too long now.
  for (const std::unique_ptr<Task>& child : children) {
    for (const std::string& path : std::visit(
             [](const auto& r) { return std::vector{r.source.path, r.target.path}; }, child->Record())) {
      if (FitsTaskRecord(path)) continue;
      resumed_ = true;
      return StopFamily(context, HR_PATH_TOO_LONG, PathTooLongMessage(path));
    }
  }
  bool totalGrew = false;
  for (std::size_t first = 0; first < children.size(); first += kSaveBatch) {
    const std::span batch(children.data() + first, std::min(kSaveBatch, children.size() - first));
    if (const HRESULT saved = SaveChildren(context, batch); Failed(saved)) {
      // The batches queued so far are not queued again by the next try.
      resumed_ = true;
      return saved;
    }
    for (std::unique_ptr<Task>& child : batch) {
      if (child->Type() == TaskType::kFile) {
        totalGrew |= Family().GrowTotalBytes(child->FileSize());
        Family().PushFront(std::move(child));
      } else {
        Family().PushBack(std::move(child));
      }
    }
  }
  resumed_ = false;
  if (totalGrew) (void)context.manager.Store().SaveFamily(Family());
  return S_OK;
}

HRESULT DirectoryTask::SaveChildren(TaskRunContext& context, std::span<const std::unique_ptr<Task>> batch) {
  // A child that is not on disk would be lost at a restart, and the family
  // would then end "completed" without it: each batch is stored before it is
  // queued, and this task's own file goes only after the last.
  std::vector<const Task*> tasks;
  tasks.reserve(batch.size());
  for (const std::unique_ptr<Task>& child : batch) tasks.push_back(child.get());
  const HRESULT hr = context.manager.Store().SaveTasks(tasks);
  // The batch is not queued, so none of it may come back at a restart
  // beside the children the next try makes.
  if (Failed(hr)) {
    for (const Task* task : tasks) (void)context.manager.Store().DeleteTask(Family().Id(), task->Id());
  }
  return hr;
}

std::set<DirectoryTask::ChildKey> DirectoryTask::QueuedChildren() const {
  std::set<ChildKey> keys;
  Family().ForEachQueuedTask([&keys](const Task& task) { keys.insert(KeyOf(task.Record())); });
  return keys;
}

DirectoryTask::ChildKey DirectoryTask::KeyOf(const TaskRecord& record) {
  return std::visit([](const auto& r) { return ChildKey{r.source.path, r.targetParent.path}; }, record);
}

bool DirectoryTask::RunCancel(TaskRunContext& context) {
  if (IsStopped(context.stop)) return false;
  if (marker_ == 1 && createdTarget_) {
    const auto target = Family().TargetStore();
    AsyncResult* call = nullptr;
    if (Succeeded(target->Remote()->DeleteContainer(target_, &call)) && call != nullptr) {
      if (!AwaitCall(call, context.stop)) return false;
      (void)target->FinishDeleteContainer(target_, call);
    }
  }
  (void)context.manager.Store().DeleteTask(Family().Id(), Id());
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kEnded, 0, 0);
  return true;
}

TaskRecord DirectoryTask::Record() const {
  DirectoryTaskRecord record;
  record.familyId = Family().Id();
  record.taskId = Id();
  record.type = static_cast<std::uint32_t>(TaskType::kDirectory);
  record.source = {source_.uri, IdOf(source_.tag)};
  record.targetParent = {parent_.uri, IdOf(parent_.tag)};
  record.target = {target_.uri, IdOf(target_.tag)};
  record.marker = marker_;
  record.createdTarget = createdTarget_;
  return record;
}

}  // namespace korvex
