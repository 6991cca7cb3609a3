//===- service/KorvexDataStoreUploadDisk.cpp - Upload for an access code --===//

#include "service/KorvexDataStoreUploadDisk.h"

#include <utility>

namespace korvex {
namespace {

HRESULT Refused(AsyncResult** result) {
  if (result != nullptr) *result = nullptr;
  return E_ACCESSDENIED;
}

}  // namespace

KorvexDataStoreUploadDisk::KorvexDataStoreUploadDisk(std::string apiBaseUrl,
                                                     std::string dataBaseUrl, std::string authPro,
                                                     std::string phpSessionId,
                                                     std::string rootName,
                                                     std::uint64_t targetDirId,
                                                     std::string accessCode)
    : KorvexDataStoreRemote(std::move(apiBaseUrl), std::move(dataBaseUrl), std::move(authPro),
                            std::move(phpSessionId), std::move(rootName)),
      targetDirId_(targetDirId),
      accessCode_(std::move(accessCode)) {}

HRESULT KorvexDataStoreUploadDisk::InitializeRoot(Container* root) {
  const HRESULT hr = KorvexDataStoreRemote::InitializeRoot(root);
  if (Failed(hr)) return hr;
  root->info.privilege = kPrivilegeUpload;
  root->info.tag = targetDirId_;
  root->children.Assign(new ContainerChildren);
  return S_OK;
}

HRESULT KorvexDataStoreUploadDisk::ListSubContainersAndItemCount(const ContainerInfo&,
                                                                 AsyncResult** result) {
  if (result != nullptr) *result = nullptr;
  return S_OK;
}

HRESULT KorvexDataStoreUploadDisk::ListSubItems(const ContainerInfo&, std::uint32_t,
                                                std::uint32_t, std::int32_t,
                                                AsyncResult** result) {
  if (result != nullptr) *result = nullptr;
  return S_OK;
}

HRESULT KorvexDataStoreUploadDisk::CreateContainer(const ContainerInfo&, const ContainerInfo&,
                                                   AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::DeleteContainer(const ContainerInfo&, AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::RenameContainer(const ContainerInfo&, const std::string&,
                                                   AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::MoveContainer(const ContainerInfo&, const ContainerInfo&,
                                                 const ContainerInfo&, std::uint32_t,
                                                 AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::ShareContainer(const ContainerInfo&,
                                                  const std::vector<BuddyInfo>&,
                                                  AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::ListBuddies(std::uint32_t, std::uint32_t,
                                               AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::ListContainerBuddies(const ContainerInfo&, std::uint32_t,
                                                        std::uint32_t, AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::EditContainerShare(const ContainerInfo&,
                                                      const std::vector<BuddyInfo>&,
                                                      AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::UnshareContainer(const ContainerInfo&,
                                                    const std::vector<BuddyInfo>&,
                                                    AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::CancelContainerShare(const ContainerInfo&,
                                                        AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::RemoveItemCodes(const ItemInfo&, AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::GetClientLinkDetail(const ItemInfo&, AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::SendLink(const std::string&, const std::string&,
                                            const std::string&, AsyncResult** result) {
  return Refused(result);
}

HRESULT KorvexDataStoreUploadDisk::ReadItem(const ItemInfo&, std::uint32_t, std::uint32_t,
                                            std::uint32_t, AsyncResult** result) {
  return Refused(result);
}

}  // namespace korvex
