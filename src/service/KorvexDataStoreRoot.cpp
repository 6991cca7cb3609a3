//===- service/KorvexDataStoreRoot.cpp - Root of the service store --------===//

#include "service/KorvexDataStoreRemote.h"

namespace korvex {

KorvexDataStoreRemote::KorvexDataStoreRemote(const KorvexDataStoreRemote* other) {
  if (other == nullptr) {
    initStatus_ = E_POINTER;
    return;
  }
  apiBaseUrl_ = other->apiBaseUrl_;
  dataBaseUrl_ = other->dataBaseUrl_;
  rootName_ = other->rootName_;
  subAccount_ = other->subAccount_;
  if (Failed(other->initStatus_)) {
    initStatus_ = other->initStatus_;
    return;
  }
  OpenConnections(other->api_->AuthPro(), other->api_->PhpSessionId());
}

HRESULT KorvexDataStoreRemote::InitializeRoot(Container* root) {
  if (root == nullptr) return E_POINTER;
  ContainerInfo& info = root->info;
  info.name = rootName_;
  info.privilege = 0;
  // The root's listing is the whole disk; the pane refreshes below it.
  info.refreshable = false;
  // No system image list here: the panes pick their own icons.
  info.smallIcon = -1;
  info.openIcon = -1;
  return S_OK;
}

}  // namespace korvex
