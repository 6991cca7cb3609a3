//===- service/KorvexDataStoreViews.cpp - The disks of one account --------===//

#include "service/KorvexDataStoreViews.h"

#include <utility>

namespace korvex {

KorvexDataStoreView::KorvexDataStoreView(KorvexDataStoreRemote* inner, std::string rootName,
                                         std::int32_t kind, std::uint32_t privilege,
                                         boost::any tag)
    : KorvexDataStoreProxy(inner),
      viewRootName_(std::move(rootName)),
      kind_(kind),
      privilege_(privilege),
      tag_(std::move(tag)) {}

HRESULT KorvexDataStoreView::InitializeRoot(Container* root) {
  if (root == nullptr) return E_POINTER;
  ContainerInfo& info = root->info;
  info.name = viewRootName_;
  info.uri = "/" + viewRootName_ + "/";
  info.kind = kind_;
  info.privilege = privilege_;
  info.tag = tag_;
  return S_OK;
}

}  // namespace korvex
