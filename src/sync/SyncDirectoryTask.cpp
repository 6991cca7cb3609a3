#include "sync/SyncDirectoryTask.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>

#include "foundation/LogMgr.h"
#include "platform/FileTime.h"
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

constexpr char kLogSource[] = "SyncDirectoryTask";
// Children stored per write; each write keeps its files open until it syncs.
constexpr std::size_t kSaveBatch = 256;

std::uint64_t IdOf(const boost::any& value) {
  const std::uint64_t* id = boost::any_cast<std::uint64_t>(&value);
  return id ? *id : 0;
}

bool HasId(const ContainerInfo& folder) { return IdOf(folder.tag) != 0; }

}  // namespace

SyncDirectoryTask::SyncDirectoryTask(std::uint32_t id, TaskFamily& family, const ContainerInfo& localFolder,
                                     const ContainerInfo& serviceParent, const ContainerInfo& serviceFolder)
    : Task(TaskType::kSyncDirectory, id, family),
      local_(localFolder),
      parent_(serviceParent),
      service_(serviceFolder) {}

std::string SyncDirectoryTask::LocalTimeText(std::uint64_t fileTime) {
  std::time_t seconds = std::chrono::system_clock::to_time_t(SystemClockFromFileTime(fileTime));
  std::tm local{};
  if (localtime_r(&seconds, &local) == nullptr) {
    seconds = std::time(nullptr);
    (void)localtime_r(&seconds, &local);
  }
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return text;
}

bool SyncDirectoryTask::NeedsUpload(std::uint64_t localTime, std::uint64_t serviceTime, std::uint32_t partial) {
  // Whole seconds of UTC: local-time texts repeat in the hour that the end
  // of daylight saving repeats, and would hide a change made in it.
  constexpr std::uint64_t kFileTimeSecond = 10'000'000;
  return partial != 0 || localTime / kFileTimeSecond > serviceTime / kFileTimeSecond;
}

bool SyncDirectoryTask::Run(TaskRunContext& context) {
  while (!IsStopped(context.stop)) {
    HRESULT hr = S_OK;
    switch (marker_) {
      case 2: hr = LoadServiceListing(context); break;
      case 0: hr = CreateServiceFolder(context); break;
      default: hr = Compare(context); break;
    }
    if (hr == HR_TASK_STOPPED) return false;
    if (Failed(hr)) {
      if (ApplyFolderTaskError(*this, context, hr)) return true;
      continue;
    }
    if (marker_ == 2) {
      marker_ = 0;
    } else if (marker_ == 0) {
      marker_ = 1;
      (void)context.manager.Store().SaveTask(*this);
    } else {
      (void)context.manager.Store().DeleteTask(Family().Id(), Id());
      (void)context.manager.OnTaskEvent(*this, TaskEvent::kEnded, 0, 0);
      return true;
    }
  }
  return false;
}

HRESULT SyncDirectoryTask::ListServiceFolder(TaskRunContext& context) {
  const auto service = Family().TargetStore();
  bool isFolder = false;
  ItemInfo file;
  ContainerInfo found;
  const HRESULT hr = FindByAddress(*service, service_.uri, isFolder, found, file);
  serviceFound_ = Succeeded(hr) && isFolder;
  if (Failed(hr) && hr != HR_FILE_NOT_FOUND) return hr;
  if (!serviceFound_) return S_OK;
  service_ = found;
  const EntryCounts counts = service->GetCounts(service_, false);
  if (Failed(counts.status)) return counts.status;
  // Every file page is fetched now, so that the comparison answers from
  // the cache instead of one request per file.
  for (std::int32_t i = counts.containers; i < counts.containers + counts.items; ++i) {
    if (IsStopped(context.stop)) return HR_TASK_STOPPED;
    const EntryAt entry = service->GetEntryAt(service_, i, false);
    if (Failed(entry.status)) return entry.status;
  }
  return S_OK;
}

HRESULT SyncDirectoryTask::LoadServiceListing(TaskRunContext& context) {
  if (const HRESULT hr = ListServiceFolder(context); Failed(hr)) return hr;
  // Files changed since the last run must be seen with their new times.
  ContainerInfo localFolder;
  if (Family().SourceStore()->GetContainerInfo(local_.uri, localFolder))
    Family().SourceStore()->InvalidateContainer(localFolder);
  return S_OK;
}

HRESULT SyncDirectoryTask::MakeServiceFolder(TaskRunContext& context, ContainerInfo& parent, ContainerInfo& folder) {
  const auto service = Family().TargetStore();
  AsyncResult* call = nullptr;
  HRESULT hr = service->Remote()->CreateContainer(parent, folder, &call);
  if (Succeeded(hr) && call != nullptr) {
    if (!AwaitCall(call, context.stop)) return HR_TASK_STOPPED;
    hr = service->FinishCreateContainer(parent, folder, call);
  }
  // Made meanwhile (by another client or an earlier, cut-off run): a backup
  // simply goes on into it.
  if (hr == HR_ALREADY_EXISTS) {
    bool isFolder = false;
    ItemInfo file;
    ContainerInfo existing;
    if (Succeeded(FindByAddress(*service, folder.uri, isFolder, existing, file)) && isFolder) {
      folder = existing;
      hr = S_OK;
    }
  }
  return hr;
}

HRESULT SyncDirectoryTask::MakeServicePath(TaskRunContext& context) {
  const auto service = Family().TargetStore();
  ContainerInfo above = service->RootInfo();
  if (!parent_.uri.starts_with(above.uri)) return HR_FILE_NOT_FOUND;
  while (above.uri != parent_.uri) {
    const std::size_t end = parent_.uri.find('/', above.uri.size());
    if (end == std::string::npos) return HR_FILE_NOT_FOUND;
    ContainerInfo next;
    next.uri = parent_.uri.substr(0, end + 1);
    next.name = next.uri.substr(above.uri.size(), end - above.uri.size());
    bool isFolder = false;
    ItemInfo file;
    ContainerInfo found;
    HRESULT hr = FindByAddress(*service, next.uri, isFolder, found, file);
    if (Succeeded(hr) && !isFolder) return HR_ALREADY_EXISTS;
    if (Succeeded(hr)) {
      next = found;
    } else if (hr != HR_FILE_NOT_FOUND) {
      return hr;
    } else {
      LogMgr::Get().Info(kLogSource, "service folder %s is missing; made again", next.uri.c_str());
      if (hr = MakeServiceFolder(context, above, next); Failed(hr)) return hr;
    }
    above = next;
  }
  parent_ = above;
  return S_OK;
}

HRESULT SyncDirectoryTask::CreateServiceFolder(TaskRunContext& context) {
  if (serviceFound_) return S_OK;
  // The folders above a pair's service folder may have been deleted since
  // the pair was made: they are made again along the whole path.
  HRESULT hr = HasId(parent_) ? S_OK : MakeServicePath(context);
  if (Succeeded(hr)) hr = MakeServiceFolder(context, parent_, service_);
  if (hr == HR_TASK_STOPPED) return hr;
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kProgress, 0, Failed(hr) ? 1 : 0);
  return hr;
}

HRESULT SyncDirectoryTask::Compare(TaskRunContext& context) {
  const HRESULT hr = CompareEntries(context);
  // Whatever ends the comparison, what was compared is queued, since a
  // retry goes on after it.
  QueueChildren(context);
  return hr;
}

void SyncDirectoryTask::QueueChildren(TaskRunContext& context) {
  if (children_.empty()) return;
  std::vector<const Task*> tasks;
  tasks.reserve(children_.size());
  for (const std::unique_ptr<Task>& child : children_) tasks.push_back(child.get());
  // A failed save is logged by the store; the uploads still run in this
  // process, as they always did, and the next backup run compares again.
  (void)context.manager.Store().SaveTasks(tasks);
  for (std::unique_ptr<Task>& child : children_) {
    if (child->Type() == TaskType::kFile) Family().PushFront(std::move(child));
    else Family().PushBack(std::move(child));
  }
  children_.clear();
}

HRESULT SyncDirectoryTask::CompareEntries(TaskRunContext& context) {
  const auto local = Family().SourceStore();
  bool isFolder = false;
  ItemInfo file;
  if (const HRESULT hr = FindByAddress(*local, local_.uri, isFolder, local_, file); Failed(hr)) return hr;
  if (!isFolder) return HR_FILE_NOT_FOUND;
  const EntryCounts counts = local->GetCounts(local_, false);
  if (Failed(counts.status)) return counts.status;
  const std::int32_t total = counts.containers + counts.items;
  for (; compared_ < total; ++compared_) {
    if (IsStopped(context.stop)) return HR_TASK_STOPPED;
    const EntryAt entry = local->GetEntryAt(local_, compared_, false);
    if (Failed(entry.status) || !entry.record) return Failed(entry.status) ? entry.status : E_UNEXPECTED;
    if (const HRESULT hr = CompareEntry(context, *entry.record); Failed(hr)) return hr;
    if (children_.size() >= kSaveBatch) QueueChildren(context);
  }
  return S_OK;
}

HRESULT SyncDirectoryTask::FindServiceFile(TaskRunContext& context, const std::string& name, ItemInfo& file) {
  const auto service = Family().TargetStore();
  const std::string uri = service_.uri + name;
  // The listing may have been dropped since it was loaded (a listing of a
  // folder above replaces what was cached below it): a file is missing only
  // when the folder's whole listing is at hand and lacks it.
  for (int attempt = 0; attempt < 3; ++attempt) {
    if (service->GetItemInfo(uri, file)) return S_OK;
    if (service->IsListed(service_.uri) && service->AreAllItemsFetched(service_.uri))
      return service->GetItemInfo(uri, file) ? S_OK : HR_FILE_NOT_FOUND;
    if (const HRESULT hr = ListServiceFolder(context); Failed(hr)) return hr;
    // The service folder went away in the middle of its comparison.
    if (!serviceFound_) return HR_PATH_NOT_FOUND;
  }
  return E_UNEXPECTED;
}

HRESULT SyncDirectoryTask::CompareEntry(TaskRunContext& context, const ObjectInfo& entry) {
  if (!TakeName(context, entry)) return S_OK;
  if (entry.kind == kObjectContainer) {
    const auto& folder = static_cast<const ContainerInfo&>(entry);
    ContainerInfo serviceChild;
    serviceChild.name = folder.name;
    serviceChild.uri = service_.uri + folder.name + "/";
    children_.push_back(
        std::make_unique<SyncDirectoryTask>(context.manager.NewTaskId(), Family(), folder, service_, serviceChild));
    return S_OK;
  }
  const auto& localFile = static_cast<const ItemInfo&>(entry);
  // A file still being written into the folder (a download in progress) is
  // backed up once it is whole, by a later run.
  if (localFile.partial != 0) return S_OK;
  ItemInfo serviceFile;
  const HRESULT found = FindServiceFile(context, localFile.name, serviceFile);
  if (Failed(found) && found != HR_FILE_NOT_FOUND) return found;
  if (found == HR_FILE_NOT_FOUND) {
    LogMgr::Get().Info(kLogSource, "can't find in server, create file task %s", localFile.uri.c_str());
  } else if (NeedsUpload(localFile.modifyTime, serviceFile.modifyTime, serviceFile.partial)) {
    LogMgr::Get().Info(kLogSource, "local file has been updated, create file task: %s, local: %s, remote: %s, complete: %d",
                       localFile.uri.c_str(), LocalTimeText(localFile.modifyTime).c_str(),
                       LocalTimeText(serviceFile.modifyTime).c_str(), static_cast<int>(serviceFile.partial));
  } else {
    return S_OK;
  }
  children_.push_back(std::make_unique<FileTask>(context.manager.NewTaskId(), Family(), localFile, service_));
  return S_OK;
}

bool SyncDirectoryTask::TakeName(TaskRunContext& context, const ObjectInfo& entry) {
  const bool isFolder = entry.kind == kObjectContainer;
  const std::string& name =
      isFolder ? static_cast<const ContainerInfo&>(entry).name : static_cast<const ItemInfo&>(entry).name;
  std::string folded = name;
  for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (comparedNames_.emplace(std::move(folded), name).second) return true;
  // The service would take one for the other: the second is left out and
  // named with the reason, the rest of the backup goes on.
  const std::string& uri = isFolder ? static_cast<const ContainerInfo&>(entry).uri : static_cast<const ItemInfo&>(entry).uri;
  char code[32];
  std::snprintf(code, sizeof code, " : Error by 0x%08X", static_cast<std::uint32_t>(HR_NAMES_DIFFER_IN_CASE));
  Family().SetOption(uri + "-->" + service_.uri + name, code);
  (void)context.manager.Store().SaveFamily(Family());
  LogMgr::Get().Warn(kLogSource, "%s left out: its name differs only in case from another one", uri.c_str());
  return false;
}

bool SyncDirectoryTask::RunCancel(TaskRunContext& context) {
  if (IsStopped(context.stop)) return false;
  (void)context.manager.Store().DeleteTask(Family().Id(), Id());
  (void)context.manager.OnTaskEvent(*this, TaskEvent::kEnded, 0, 0);
  return true;
}

TaskRecord SyncDirectoryTask::Record() const {
  DirectoryTaskRecord record;
  record.familyId = Family().Id();
  record.taskId = Id();
  record.type = static_cast<std::uint32_t>(TaskType::kSyncDirectory);
  record.source = {local_.uri, IdOf(local_.tag)};
  record.targetParent = {parent_.uri, IdOf(parent_.tag)};
  record.target = {service_.uri, IdOf(service_.tag)};
  record.marker = marker_;
  return record;
}

}  // namespace korvex
