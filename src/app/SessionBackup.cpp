//===- app/SessionBackup.cpp - The backups of one login -------------------===//

#include "app/SessionBackup.h"

#include "foundation/LogMgr.h"
#include "foundation/StringTable.h"
#include "service/KorvexDataStoreRemote.h"
#include "service/KorvexDataStoreViews.h"
#include "store/DataStore.h"
#include "store/ShellFolderDataStoreRemote.h"

namespace korvex::app {
namespace {

constexpr char kLogSource[] = "SessionBackup";

std::shared_ptr<DataStore> MakeLocalStore() {
  // The desktop folder "/" makes store addresses plain file-system paths.
  return std::make_shared<DataStore>(std::make_unique<ShellFolderDataStoreRemote>("Computer", "/"),
                                     kSortNameAscending, /*sortNamesOnClient=*/true);
}

}  // namespace

SessionBackup::SessionBackup(TaskManager& manager, const std::filesystem::path& taskFolder,
                             const session::Session& session, const DeploymentValues& deployment,
                             std::function<void(const BackupRun&)> runEnded)
    : backend_(std::make_unique<KorvexDataStoreRemote>(deployment.apiUrl, deployment.dataUrl, session.authPro,
                                                       session.phpSessionId, std::string(UiString(kIdsRootMyCloud)))),
      lock_(taskFolder) {
  backend_->SetSubAccount(session.subAccount);
  SyncServiceOptions options;
  options.account = session.accountName;
  KorvexDataStoreRemote* backend = backend_.get();
  const std::uint64_t rootId = session.rootId;
  // A fresh store per run: a listing cached since yesterday must not decide
  // what is already backed up.
  options.makeServiceStore = [backend, rootId]() -> std::shared_ptr<DataStore> {
    auto store = std::make_shared<DataStore>(std::make_unique<KorvexDataStoreMyDisk>(
                                                 backend, rootId, kPrivilegeAll, 0, std::string(UiString(kIdsRootMyDisk))),
                                             kSortNameAscending);
    return Succeeded(store->InitStatus()) ? store : nullptr;
  };
  options.makeLocalStore = MakeLocalStore;
  options.syncNowEvent = SyncNowSignalEvent();
  options.runEnded = std::move(runEnded);
  sync_ = std::make_unique<SyncService>(manager, std::move(options));
}

SessionBackup::~SessionBackup() { Stop(); }

HRESULT SessionBackup::Start() {
  if (lock_.Held()) return S_OK;
  if (mayRun_ && !mayRun_()) return S_FALSE;
  const HRESULT locked = lock_.TryAcquire(kDesktopRunnerName);
  if (locked != S_OK) {
    if (Failed(locked)) LogMgr::Get().Error(kLogSource, "backup lock: 0x%08x", static_cast<unsigned>(locked));
    return Failed(locked) ? locked : S_FALSE;
  }
  if (const HRESULT hr = sync_->Start(); Failed(hr)) {
    lock_.Release();
    return hr;
  }
  LogMgr::Get().Info(kLogSource, "this client runs the backups of the account");
  return S_OK;
}

void SessionBackup::Stop() {
  if (!lock_.Held()) return;
  (void)sync_->Stop(true);
  lock_.Release();
}

BackupRunner SessionBackup::OtherRunner() const {
  if (lock_.Held()) return {};
  return lock_.Holder();
}

HRESULT SessionBackup::BackUpNow(BackupRunner& askedRunner) {
  askedRunner = {};
  // The other runner may have ended since the login; then this one takes over.
  HRESULT hr = Start();
  if (hr == S_OK) {
    sync_->RequestSyncNow();
    return S_OK;
  }
  if (Failed(hr)) return hr;
  askedRunner = lock_.Holder();
  return AskRunnerToBackUpNow(askedRunner);
}

}  // namespace korvex::app
