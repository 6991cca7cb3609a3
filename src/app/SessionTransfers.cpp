//===- app/SessionTransfers.cpp - The transfers of one login --------------===//

#include "app/SessionTransfers.h"

#include "foundation/LogMgr.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/DirectoryTask.h"
#include "tasks/FileTask.h"
#include "tasks/StoreWalk.h"

#include <algorithm>
#include <set>

namespace korvex::app {
namespace {

std::string UriOf(const ObjectInfo& entry) {
  return entry.kind == kObjectContainer ? static_cast<const ContainerInfo&>(entry).uri
                                        : static_cast<const ItemInfo&>(entry).uri;
}

std::unique_ptr<Task> TaskFor(TaskManager& manager, TaskFamily& family, const ObjectInfo& from,
                              const ContainerInfo& into) {
  if (from.kind == kObjectContainer)
    return std::make_unique<DirectoryTask>(manager.NewTaskId(), family, static_cast<const ContainerInfo&>(from), into);
  return std::make_unique<FileTask>(manager.NewTaskId(), family, static_cast<const ItemInfo&>(from), into);
}

// This store lists a folder once and answers from its cache afterwards; a
// file saved there since (or one that grew) must be seen as it is now.
void ListParentAfresh(DataStore& store, const std::string& path) {
  const std::string trimmed = path.ends_with('/') ? path.substr(0, path.size() - 1) : path;
  const std::size_t slash = trimmed.rfind('/');
  ContainerInfo parent;
  if (slash != std::string::npos && store.GetContainerInfo(trimmed.substr(0, slash + 1), parent)) {
    store.InvalidateContainer(parent);
  }
}

}  // namespace

SessionTransfers::SessionTransfers(DataStore& service, const std::string& accountName, bool loadStopped)
    // The window owns the service store; the families only borrow it.
    : service_(&service, [](DataStore*) {}),
      local_(std::make_shared<DataStore>(std::make_unique<ShellFolderDataStoreRemote>("Computer", "/"),
                                         kSortNameAscending, /*sortNamesOnClient=*/true)),
      context_(service_, local_),
      taskStore_(BinaryFileTaskStore::FolderNameForAccount(accountName), context_),
      owner_(taskStore_.Folder(), "korvexdata"),
      ownedStore_(taskStore_, owner_),
      manager_(ownedStore_),
      loadStopped_(loadStopped) {
  // Also while another process runs the transfers, the families made here
  // take ids that no other process issues.
  manager_.SetFamilyIdSource([this] { return owner_.NewFamilyId(); });
}

SessionTransfers::~SessionTransfers() { Shutdown(); }

HRESULT SessionTransfers::RunOwned() {
  // What was shown while waiting is what the last owner left; the store
  // holds what it did since.
  (void)manager_.RemoveAllFamilies(false);
  if (const HRESULT hr = owner_.Run(ownedStore_, manager_); Failed(hr)) return hr;
  if (loadStopped_) {
    // The thread has not started, so nothing runs yet that would need stopping.
    for (const auto& family : manager_.Families()) (void)manager_.StopFamily(family->Id());
  }
  return manager_.Start();
}

HRESULT SessionTransfers::Start(std::function<void()> owned) {
  HRESULT hr = owner_.TryAcquire();
  if (hr == S_OK) return RunOwned();
  if (Failed(hr)) return hr;
  LogMgr::Get().Info("SessionTransfers", "%s", session::WaitingText(owner_.Holder()).c_str());
  FamilyMap stored;
  (void)taskStore_.LoadAll(stored);
  for (auto& [id, family] : stored) manager_.AddFamily(family, true);
  if (Failed(hr = Event::Create(true, false, stopWaiting_))) return hr;
  waiter_ = std::thread([this, owned = std::move(owned)] {
    while (!stopWaiting_->Wait(1000)) {
      if (owner_.TryAcquire() != S_OK) {
        MirrorStore();
        continue;
      }
      if (const HRESULT run = RunOwned(); Failed(run))
        LogMgr::Get().Error("SessionTransfers", "cannot run the transfers: 0x%08x", static_cast<unsigned>(run));
      if (owned) owned();
      return;
    }
  });
  return S_OK;
}

void SessionTransfers::MirrorStore() {
  std::set<std::uint32_t> shown;
  for (const auto& family : manager_.Families()) shown.insert(family->Id());
  const std::set<std::uint32_t> stored = owner_.StoredIds();
  if (!std::includes(shown.begin(), shown.end(), stored.begin(), stored.end())) {
    FamilyMap loaded;
    {
      session::TransferOwner::StoreHold hold(owner_);
      (void)taskStore_.LoadAll(loaded);
    }
    // Added as loaded: the manager's thread is not running, so nothing runs them here.
    for (auto& [id, family] : loaded)
      if (!shown.contains(id)) manager_.AddFamily(family, true);
  }
  for (const auto& family : manager_.Families()) {
    FamilyRecord record;
    if (Failed(session::ReadStoredFamily(owner_.Folder(), family->Id(), record))) continue;
    family->state = static_cast<FamilyState>(record.state);
    family->lastError = record.lastError;
    FamilyProgress progress;
    progress.totalBytes = record.totalBytes;
    progress.doneBytes = record.doneBytes;
    progress.createdAt = record.createdAt;
    progress.elapsedTotal = record.elapsedTotal;
    family->RestoreProgress(progress);
  }
}

void SessionTransfers::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  if (stopWaiting_) stopWaiting_->Set();
  if (waiter_.joinable()) waiter_.join();
  // Only the owner writes families back; another process's records are
  // left as that process keeps them.
  if (owner_.Owns()) owner_.HandBack(manager_);
  (void)manager_.RemoveAllFamilies(false);
  (void)manager_.Stop(true);
}

HRESULT SessionTransfers::Add(std::shared_ptr<TaskFamily> family, const ObjectInfo& from, const ContainerInfo& into) {
  if (manager_.IsDuplicate(*family)) return kDuplicateTransfer;
  if (from.kind == kObjectItem && static_cast<const ItemInfo&>(from).size > kTransferSizeLimit) return kTransferTooLarge;
  family->PushBack(TaskFor(manager_, *family, from, into));
  // Written whole under the store's lock: another owner takes it in complete.
  session::TransferOwner::StoreHold hold(owner_);
  manager_.AddFamily(std::move(family), false);
  return S_OK;
}

void SessionTransfers::Upload(const std::vector<std::string>& localPaths, const ContainerInfo& into,
                              const std::string& password, std::vector<std::uint32_t>& queued,
                              std::vector<RefusedTransfer>& refused) {
  for (const std::string& path : localPaths) {
    ListParentAfresh(*local_, path);
    bool isFolder = false;
    ContainerInfo folder;
    ItemInfo file;
    HRESULT hr = FindByAddress(*local_, path, isFolder, folder, file);
    if (Succeeded(hr)) {
      const ObjectInfo& from = isFolder ? static_cast<const ObjectInfo&>(folder) : file;
      auto family =
          std::make_shared<TaskFamily>(manager_.NewFamilyId(), TransferDirection::kUpload, local_, UriOf(from), service_, into.uri);
      // Folders merge into a folder of the same name; a file of the same name
      // is asked about through the conflict rules.
      family->folderAnswer = 2;
      if (!password.empty()) family->SetPassword(password);
      const std::uint32_t id = family->Id();
      if (Succeeded(hr = Add(std::move(family), from, into))) queued.push_back(id);
    }
    if (Failed(hr)) refused.push_back({path, into.uri, hr, isFolder ? 0 : file.size});
  }
}

void SessionTransfers::Download(const std::vector<std::shared_ptr<ObjectInfo>>& entries,
                                const std::string& localFolder, bool overwrite, std::vector<std::uint32_t>& queued,
                                std::vector<RefusedTransfer>& refused) {
  bool isFolder = false;
  ContainerInfo into;
  ItemInfo unused;
  HRESULT found = FindByAddress(*local_, localFolder, isFolder, into, unused);
  if (Succeeded(found) && !isFolder) found = HR_FILE_NOT_FOUND;
  for (const auto& entry : entries) {
    HRESULT hr = found;
    if (Succeeded(hr)) {
      auto family = std::make_shared<TaskFamily>(manager_.NewFamilyId(), TransferDirection::kDownload, service_,
                                                 UriOf(*entry), local_, into.uri);
      family->conflictAnswer = overwrite ? 2 : 0;
      family->folderAnswer = 2;
      const std::uint32_t id = family->Id();
      if (Succeeded(hr = Add(std::move(family), *entry, into))) queued.push_back(id);
    }
    const std::uint64_t size = entry->kind == kObjectItem ? static_cast<const ItemInfo&>(*entry).size : 0;
    if (Failed(hr)) refused.push_back({UriOf(*entry), localFolder, hr, size});
  }
}

}  // namespace korvex::app
