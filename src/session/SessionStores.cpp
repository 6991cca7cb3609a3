//===- session/SessionStores.cpp - The stores of one logged-in session ---------===//

#include "session/SessionStores.h"

#include "foundation/StringTable.h"
#include "service/KorvexDataStoreUploadDisk.h"
#include "service/KorvexDataStoreViews.h"

namespace korvex::session {

SessionStores::SessionStores(const Session& session, const DeploymentValues& deployment)
    : session_(session), deployment_(deployment) {}

void SessionStores::UseSession(const Session& session) {
  session_ = session;
  if (service_) service_->UseSession(session.authPro, session.phpSessionId);
}

SessionStores::~SessionStores() {
  // Views first: they forward to the service back end.
  stores_.clear();
  service_.reset();
}

std::unique_ptr<IDataStoreRemote> SessionStores::MakeView(RemoteView view) const {
  const auto name = [](unsigned id) { return std::string(UiString(id)); };
  switch (view) {
    case RemoteView::kMyDisk:
      return std::make_unique<KorvexDataStoreMyDisk>(service_.get(), session_.rootId, kPrivilegeAll, 0,
                                                     name(kIdsRootMyDisk));
    case RemoteView::kShares:
      return std::make_unique<KorvexDataStoreShare>(service_.get(), session_.shareRootId, 0,
                                                    name(kIdsRootShareForMe));
    case RemoteView::kBackup:
      // Backup folders are paired with folders of the user's own disk, so
      // the sync view presents that disk.
      return std::make_unique<KorvexDataStoreSync>(service_.get(), name(kIdsRootMyBackup), session_.rootId);
    case RemoteView::kUpload:
      break;
  }
  return nullptr;
}

DataStore* SessionStores::Store(RemoteView view, HRESULT& status) {
  status = S_OK;
  if (auto it = stores_.find(view); it != stores_.end()) return it->second.get();
  if (session_.accessCode != (view == RemoteView::kUpload)) {
    status = E_ACCESSDENIED;
    return nullptr;
  }
  std::unique_ptr<IDataStoreRemote> remote;
  if (view == RemoteView::kUpload) {
    auto upload = std::make_unique<KorvexDataStoreUploadDisk>(
        deployment_.apiUrl, deployment_.dataUrl, session_.authPro, session_.phpSessionId,
        std::string(UiString(kIdsRootMyUploading)), session_.rootId, session_.uploadCode);
    status = upload->InitStatus();
    remote = std::move(upload);
  } else {
    if (!service_) {
      service_ = std::make_unique<KorvexDataStoreRemote>(deployment_.apiUrl, deployment_.dataUrl, session_.authPro,
                                                         session_.phpSessionId, std::string(UiString(kIdsRootMyCloud)));
      service_->SetSubAccount(session_.subAccount);
    }
    status = service_->InitStatus();
    remote = MakeView(view);
  }
  if (Failed(status)) return nullptr;
  auto store = std::make_unique<DataStore>(std::move(remote), kSortNameAscending);
  if (Failed(status = store->InitStatus())) return nullptr;
  return stores_.emplace(view, std::move(store)).first->second.get();
}

}  // namespace korvex::session
