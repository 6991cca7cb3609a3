#include "cli/BackupSession.h"

#include "foundation/StringTable.h"
#include "net/HttpRequestor.h"
#include "service/KorvexDataStoreViews.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "sync/BackupRunnerLock.h"

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
                             std::function<void(const BackupRun&)> runEnded)
    : backend_(std::make_unique<KorvexDataStoreRemote>(deployment.apiUrl, deployment.dataUrl, session.authPro,
                                                       session.phpSessionId, std::string(UiString(kIdsRootMyCloud)))),
      // The session owns its store; the families only borrow it.
      context_(std::shared_ptr<DataStore>(&service, [](DataStore*) {}), MakeLocalStore()),
      taskStore_(BinaryFileTaskStore::FolderNameForAccount(session.accountName), context_),
      manager_(taskStore_) {
  backend_->SetSubAccount(session.subAccount);
  FamilyMap stored;
  (void)taskStore_.LoadAll(stored);
  for (auto& [id, family] : stored) manager_.AddFamily(family, true);
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
  (void)manager_.Stop(true);
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
