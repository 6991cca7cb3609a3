#include "cli/BackupSession.h"

#include "foundation/StringTable.h"
#include "net/HttpRequestor.h"
#include "service/KorvexDataStoreViews.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "sync/BackupRunnerLock.h"

#include <iostream>

namespace korvex::cli {
namespace {

std::shared_ptr<DataStore> MakeLocalStore() {
  // The desktop folder "/" makes store addresses plain file-system paths.
  return std::make_shared<DataStore>(std::make_unique<ShellFolderDataStoreRemote>("Computer", "/"), 1, true);
}

SyncServiceOptions EditOptions(const Session& session) {
  SyncServiceOptions options;
  options.account = session.accountName;
  return options;
}

}  // namespace

BackupSession::BackupSession(const Session& session)
    : context_(nullptr, nullptr),
      taskStore_(BinaryFileTaskStore::FolderNameForAccount(session.accountName), context_),
      manager_(taskStore_),
      sync_(std::make_unique<SyncService>(manager_, EditOptions(session))) {}

BackupSession::BackupSession(const Session& session, const DeploymentValues& deployment, DataStore& service,
                             const std::string& program, std::function<void(const BackupRun&)> runEnded)
    : backend_(std::make_unique<KorvexDataStoreRemote>(deployment.apiUrl, deployment.dataUrl, session.authPro,
                                                       session.phpSessionId, std::string(UiString(kIdsRootMyCloud)))),
      // The session owns its store; the families only borrow it.
      context_(std::shared_ptr<DataStore>(&service, [](DataStore*) {}), MakeLocalStore()),
      taskStore_(BinaryFileTaskStore::FolderNameForAccount(session.accountName), context_),
      manager_(taskStore_),
      owner_(std::make_unique<TransferOwner>(taskStore_.Folder(), program)) {
  backend_->SetSubAccount(session.subAccount);
  SyncServiceOptions options = EditOptions(session);
  KorvexDataStoreRemote* backend = backend_.get();
  const std::uint64_t rootId = session.rootId;
  options.makeServiceStore = [backend, rootId]() -> std::shared_ptr<DataStore> {
    auto store = std::make_shared<DataStore>(
        std::make_unique<KorvexDataStoreMyDisk>(backend, rootId, kPrivilegeAll, 0, std::string(UiString(kIdsRootMyDisk))),
        kSortNameAscending);
    return Succeeded(store->InitStatus()) ? store : nullptr;
  };
  options.makeLocalStore = MakeLocalStore;
  // Another client asks the account's backup runner to run now this way.
  options.syncNowEvent = SyncNowSignalEvent();
  options.runEnded = std::move(runEnded);
  sync_ = std::make_unique<SyncService>(manager_, std::move(options));
}

BackupSession::~BackupSession() {
  // The service first: it starts families on the manager.
  sync_.reset();
  if (owner_ && owner_->Owns()) owner_->HandBack(manager_);
  (void)manager_.Stop(true);
}

HRESULT BackupSession::AwaitOwnership(const std::function<bool(std::int64_t)>& stopWithin, const std::string& who) {
  bool told = false;
  for (;;) {
    const HRESULT hr = owner_->TryAcquire();
    if (hr != S_FALSE) return Failed(hr) ? hr : owner_->Run(taskStore_, manager_);
    if (const TransferHolder holder = owner_->Holder(); !told && holder.pid != 0) {
      std::cerr << who << WaitingText(holder) << std::endl;
      told = true;
    }
    if (stopWithin(1000)) return E_ABORT;
  }
}

void BackupSession::UseSession(const Session& session) {
  if (backend_) backend_->UseSession(session.authPro, session.phpSessionId);
}

std::vector<std::uint32_t> BackupSession::ResumeStoppedBackups(bool (*retry)(HRESULT)) {
  std::vector<std::uint32_t> ids;
  for (const auto& family : manager_.Families()) {
    if (family->Direction() != TransferDirection::kSyncUpload || family->state != FamilyState::kStopped) continue;
    if (retry != nullptr && !retry(family->lastError.load())) continue;
    ids.push_back(family->Id());
  }
  if (!ids.empty()) (void)manager_.ResumeFamilies(ids);
  return ids;
}

bool IsNetworkError(HRESULT status) noexcept {
  const auto code = static_cast<std::uint32_t>(status);
  if ((code & 0xFFFF0000u) != 0x804F0000u) return false;
  const std::uint32_t number = code & 0xFFFFu;
  return number == kHttpErrorTimeout || number == kHttpErrorNameNotResolved || number == kHttpErrorCannotConnect ||
         number == kHttpErrorConnectionReset;
}

}  // namespace korvex::cli
