//===- app/TransferSession.cpp - The transfers of one login ---------------===//

#include "app/TransferSession.h"

#include "store/DataStore.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/DirectoryTask.h"
#include "tasks/FileTask.h"
#include "tasks/StoreWalk.h"

namespace korvex::app {

TransferSession::TransferSession(DataStore& service, std::string_view accountName, TaskManagerOptions options)
    // The window owns the service store; families only borrow it.
    : service_(&service, [](DataStore*) {}),
      local_(std::make_shared<DataStore>(std::make_unique<ShellFolderDataStoreRemote>("Computer", "/"),
                                         kSortNameAscending, /*sortNamesOnClient=*/true)),
      context_(service_, local_),
      taskStore_(BinaryFileTaskStore::FolderNameForAccount(accountName), context_),
      manager_(taskStore_, options) {}

TransferSession::~TransferSession() { manager_.SaveAndClear(); }

HRESULT TransferSession::Start() {
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
