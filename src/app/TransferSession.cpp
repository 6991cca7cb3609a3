//===- app/TransferSession.cpp - The transfers of one login ---------------===//

#include "app/TransferSession.h"

#include "store/DataStore.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/DirectoryTask.h"
#include "tasks/FileTask.h"
#include "tasks/StoreWalk.h"

namespace korvex::app {

namespace {

std::shared_ptr<DataStore> Borrow(DataStore* store) {
  return store ? std::shared_ptr<DataStore>(store, [](DataStore*) {}) : nullptr;
}

}  // namespace

TransferSession::TransferSession(const cli::Session& session, const DeploymentValues& deployment,
                                 TaskManagerOptions options)
    : stores_(session, deployment),
      // The session's stores own the service store; families only borrow it.
      service_(Borrow(stores_.Store(cli::RemoteView::kMyDisk, serviceStatus_))),
      local_(std::make_shared<DataStore>(std::make_unique<ShellFolderDataStoreRemote>("Computer", "/"),
                                         kSortNameAscending, /*sortNamesOnClient=*/true)),
      context_(service_, local_),
      taskStore_(BinaryFileTaskStore::FolderNameForAccount(session.accountName), context_),
      manager_(taskStore_, options) {}

TransferSession::~TransferSession() { manager_.SaveAndClear(); }

HRESULT TransferSession::Start() {
  if (!service_) return Failed(serviceStatus_) ? serviceStatus_ : E_FAIL;
  FamilyMap stored;
  // Unreadable family files are skipped by the store; the rest still load.
  (void)taskStore_.LoadAll(stored);
  for (auto& [id, family] : stored) manager_.AddFamily(family, true);
  return manager_.Start();
}

HRESULT TransferSession::Prepare(TransferDirection direction, const std::string& from, const ContainerInfo& into,
                                 PreparedTransfer& prepared) {
  const bool upload = direction != TransferDirection::kDownload;
  const auto source = upload ? local_ : service_;
  const auto target = upload ? service_ : local_;
  // The folder may have changed since this store last listed it (a file
  // saved a moment ago, a size that grew): list it afresh.
  const std::string trimmed = from.ends_with('/') ? from.substr(0, from.size() - 1) : from;
  ContainerInfo parent;
  if (const std::size_t slash = trimmed.rfind('/');
      slash != std::string::npos && source->GetContainerInfo(trimmed.substr(0, slash + 1), parent)) {
    source->InvalidateContainer(parent);
  }
  ContainerInfo folder;
  ItemInfo file;
  bool isFolder = false;
  if (const HRESULT hr = FindByAddress(*source, from, isFolder, folder, file); Failed(hr)) return hr;
  auto family = std::make_shared<TaskFamily>(manager_.NewFamilyId(), direction, source, from, target, into.uri);
  // Folders of the same name are merged into, as the panes show them.
  family->folderAnswer = 2;
  if (isFolder) {
    family->PushBack(std::make_unique<DirectoryTask>(manager_.NewTaskId(), *family, folder, into));
  } else {
    family->PushBack(std::make_unique<FileTask>(manager_.NewTaskId(), *family, file, into));
  }
  prepared.family = std::move(family);
  prepared.isFolder = isFolder;
  prepared.sourceName = isFolder ? folder.name : file.name;
  prepared.fileBytes = isFolder ? 0 : file.size;
  return S_OK;
}

}  // namespace korvex::app
