//===- store/DataStoreRemoteNullImplBase.cpp - Back end that does nothing -===//

#include "store/DataStoreRemoteNullImplBase.h"

namespace korvex {

HRESULT DataStoreRemoteNullImplBase::NotImplemented(AsyncResult** result) noexcept {
  if (result != nullptr) *result = nullptr;
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteNullImplBase::InitializeRoot(Container*) { return E_NOTIMPL; }

HRESULT DataStoreRemoteNullImplBase::CancelCall(AsyncResult* result) {
  if (result == nullptr) return E_POINTER;
  (void)result->CancelCall();
  return S_OK;
}

HRESULT DataStoreRemoteNullImplBase::GetLoginText(std::string&) { return E_NOTIMPL; }

HRESULT DataStoreRemoteNullImplBase::ListSubContainersAndItemCount(const ContainerInfo&,
                                                                   AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::ListSubItems(const ContainerInfo&, std::uint32_t,
                                                  std::uint32_t, std::int32_t,
                                                  AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::CreateContainer(const ContainerInfo&, const ContainerInfo&,
                                                     AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::DeleteContainer(const ContainerInfo&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::RenameContainer(const ContainerInfo&, const std::string&,
                                                     AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::MoveContainer(const ContainerInfo&, const ContainerInfo&,
                                                   const ContainerInfo&, std::uint32_t,
                                                   AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::ShareContainer(const ContainerInfo&,
                                                    const std::vector<BuddyInfo>&,
                                                    AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::ListBuddies(std::uint32_t, std::uint32_t,
                                                 AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::ListContainerBuddies(const ContainerInfo&, std::uint32_t,
                                                          std::uint32_t, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::EditContainerShare(const ContainerInfo&,
                                                        const std::vector<BuddyInfo>&,
                                                        AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::UnshareContainer(const ContainerInfo&,
                                                      const std::vector<BuddyInfo>&,
                                                      AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::CancelContainerShare(const ContainerInfo&,
                                                          AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::GetItemCodes(const ItemInfo&, std::uint32_t,
                                                  const std::string&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::RemoveItemCodes(const ItemInfo&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::ChangeItemCodes(const ItemInfo&, std::uint32_t,
                                                     const std::string&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::GetClientLinkDetail(const ItemInfo&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::SendItemToEmail(std::uint64_t, const std::string&,
                                                     const std::string&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::SendLink(const std::string&, const std::string&,
                                              const std::string&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::DeleteItem(const ItemInfo&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::RenameItem(const ItemInfo&, const std::string&,
                                                AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::MoveItem(const ItemInfo&, const ContainerInfo&,
                                              const ContainerInfo&, std::uint32_t,
                                              AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::CopyItem(const ItemInfo&, const ContainerInfo&,
                                              const ContainerInfo&, std::uint32_t,
                                              AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::CreateItem(const ContainerInfo&, const ItemInfo&,
                                                std::uint32_t, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::OpenItem(const ItemInfo&, bool, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::ReadItem(const ItemInfo&, std::uint32_t, std::uint32_t,
                                              std::uint32_t, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::WriteItem(const ItemInfo&, std::unique_ptr<std::uint8_t[]>,
                                               std::uint32_t, std::uint32_t, std::uint32_t,
                                               AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::CompleteItem(const ItemInfo&, std::uint32_t,
                                                  AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::ListAccessCodes(const ContainerInfo&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::CreateAccessCode(const ContainerInfo&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::DeleteAccessCodes(const std::string&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::EditAccessCode(const std::string&, const std::string&,
                                                    AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::SendAccessCodeEmail(const std::string&, const std::string&,
                                                         const std::string&, const std::string&,
                                                         AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::ReportTransfer(std::uint32_t, std::uint32_t,
                                                    const std::string&, std::uint64_t,
                                                    std::uint64_t, std::uint64_t, std::uint64_t,
                                                    const std::string&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::GetItemMd5(const ItemInfo&, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::OpenStream(const ItemInfo&, bool, std::uint64_t, std::uint32_t,
                                                std::uint32_t, const std::string&,
                                                AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::CloseStream(const ItemInfo&, const std::string&,
                                                 AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::ReadChunk(const ItemInfo&, const std::string&, std::uint32_t,
                                               std::uint64_t, std::uint32_t, AsyncResult** result) {
  return NotImplemented(result);
}

HRESULT DataStoreRemoteNullImplBase::WriteChunk(const ItemInfo&, const std::uint8_t*,
                                                const std::string&, std::uint32_t, std::uint64_t,
                                                std::uint32_t, AsyncResult** result) {
  return NotImplemented(result);
}
}  // namespace korvex
