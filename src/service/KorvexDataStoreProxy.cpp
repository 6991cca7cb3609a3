//===- service/KorvexDataStoreProxy.cpp - A view of the service back end --===//

#include "service/KorvexDataStoreProxy.h"

#include <utility>

namespace korvex {
namespace {

template <class Call>
HRESULT Forward(IDataStoreRemote* inner, AsyncResult** result, Call&& call) {
  if (result != nullptr) *result = nullptr;
  if (inner == nullptr) return HR_NO_INNER_BACK_END;
  return call(*inner);
}

}  // namespace

KorvexDataStoreProxy::KorvexDataStoreProxy(KorvexDataStoreRemote* inner)
    : KorvexDataStoreRemote(static_cast<const KorvexDataStoreRemote*>(inner)), inner_(inner) {}

KorvexDataStoreProxy::~KorvexDataStoreProxy() = default;

HRESULT KorvexDataStoreProxy::ListSubContainersAndItemCount(const ContainerInfo& container,
                                                            AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.ListSubContainersAndItemCount(container, result);
  });
}

HRESULT KorvexDataStoreProxy::ListSubItems(const ContainerInfo& container, std::uint32_t start,
                                           std::uint32_t count, std::int32_t sortOrder,
                                           AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.ListSubItems(container, start, count, sortOrder, result);
  });
}

HRESULT KorvexDataStoreProxy::CreateContainer(const ContainerInfo& parent,
                                              const ContainerInfo& newContainer,
                                              AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.CreateContainer(parent, newContainer, result);
  });
}

HRESULT KorvexDataStoreProxy::DeleteContainer(const ContainerInfo& container,
                                              AsyncResult** result) {
  return Forward(inner_, result,
                 [&](IDataStoreRemote& in) { return in.DeleteContainer(container, result); });
}

HRESULT KorvexDataStoreProxy::RenameContainer(const ContainerInfo& container,
                                              const std::string& newName, AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.RenameContainer(container, newName, result);
  });
}

HRESULT KorvexDataStoreProxy::MoveContainer(const ContainerInfo& container,
                                            const ContainerInfo& sourceParent,
                                            const ContainerInfo& targetParent, std::uint32_t flag,
                                            AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.MoveContainer(container, sourceParent, targetParent, flag, result);
  });
}

HRESULT KorvexDataStoreProxy::ShareContainer(const ContainerInfo& container,
                                             const std::vector<BuddyInfo>& buddies,
                                             AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.ShareContainer(container, buddies, result);
  });
}

HRESULT KorvexDataStoreProxy::ListBuddies(std::uint32_t page, std::uint32_t pageSize,
                                          AsyncResult** result) {
  return Forward(inner_, result,
                 [&](IDataStoreRemote& in) { return in.ListBuddies(page, pageSize, result); });
}

HRESULT KorvexDataStoreProxy::ListContainerBuddies(const ContainerInfo& container,
                                                   std::uint32_t page, std::uint32_t pageSize,
                                                   AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.ListContainerBuddies(container, page, pageSize, result);
  });
}

HRESULT KorvexDataStoreProxy::EditContainerShare(const ContainerInfo& container,
                                                 const std::vector<BuddyInfo>& buddies,
                                                 AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.EditContainerShare(container, buddies, result);
  });
}

HRESULT KorvexDataStoreProxy::UnshareContainer(const ContainerInfo& container,
                                               const std::vector<BuddyInfo>& buddies,
                                               AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.UnshareContainer(container, buddies, result);
  });
}

HRESULT KorvexDataStoreProxy::CancelCall(AsyncResult* result) {
  const HRESULT hr = KorvexDataStoreRemote::CancelCall(result);
  if (Failed(hr) || inner_ == nullptr) return hr;
  return inner_->CancelCall(result);
}

HRESULT KorvexDataStoreProxy::GetLoginText(std::string& text) {
  if (inner_ == nullptr) return HR_NO_INNER_BACK_END;
  return inner_->GetLoginText(text);
}

HRESULT KorvexDataStoreProxy::CancelContainerShare(const ContainerInfo& container,
                                                   AsyncResult** result) {
  return Forward(inner_, result,
                 [&](IDataStoreRemote& in) { return in.CancelContainerShare(container, result); });
}

HRESULT KorvexDataStoreProxy::GetItemCodes(const ItemInfo& item, std::uint32_t validity,
                                           const std::string& expiry, AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.GetItemCodes(item, validity, expiry, result);
  });
}

HRESULT KorvexDataStoreProxy::RemoveItemCodes(const ItemInfo& item, AsyncResult** result) {
  return Forward(inner_, result,
                 [&](IDataStoreRemote& in) { return in.RemoveItemCodes(item, result); });
}

HRESULT KorvexDataStoreProxy::ChangeItemCodes(const ItemInfo& item, std::uint32_t validity,
                                              const std::string& expiry, AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.ChangeItemCodes(item, validity, expiry, result);
  });
}

HRESULT KorvexDataStoreProxy::GetClientLinkDetail(const ItemInfo& item, AsyncResult** result) {
  return Forward(inner_, result,
                 [&](IDataStoreRemote& in) { return in.GetClientLinkDetail(item, result); });
}

HRESULT KorvexDataStoreProxy::SendItemToEmail(std::uint64_t fileId, const std::string& addresses,
                                              const std::string& content, AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.SendItemToEmail(fileId, addresses, content, result);
  });
}

HRESULT KorvexDataStoreProxy::SendLink(const std::string& addresses, const std::string& link,
                                       const std::string& fileName, AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.SendLink(addresses, link, fileName, result);
  });
}

HRESULT KorvexDataStoreProxy::DeleteItem(const ItemInfo& item, AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) { return in.DeleteItem(item, result); });
}

HRESULT KorvexDataStoreProxy::RenameItem(const ItemInfo& item, const std::string& newName,
                                         AsyncResult** result) {
  return Forward(inner_, result,
                 [&](IDataStoreRemote& in) { return in.RenameItem(item, newName, result); });
}

HRESULT KorvexDataStoreProxy::MoveItem(const ItemInfo& item, const ContainerInfo& sourceParent,
                                       const ContainerInfo& targetParent,
                                       std::uint32_t overrideFlag, AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.MoveItem(item, sourceParent, targetParent, overrideFlag, result);
  });
}

HRESULT KorvexDataStoreProxy::CopyItem(const ItemInfo& item, const ContainerInfo& sourceParent,
                                       const ContainerInfo& targetParent,
                                       std::uint32_t overrideFlag, AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.CopyItem(item, sourceParent, targetParent, overrideFlag, result);
  });
}

HRESULT KorvexDataStoreProxy::CreateItem(const ContainerInfo& parent, const ItemInfo& item,
                                         std::uint32_t overrideFlag, AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.CreateItem(parent, item, overrideFlag, result);
  });
}

HRESULT KorvexDataStoreProxy::OpenItem(const ItemInfo& item, bool forWriting,
                                       AsyncResult** result) {
  return Forward(inner_, result,
                 [&](IDataStoreRemote& in) { return in.OpenItem(item, forWriting, result); });
}

HRESULT KorvexDataStoreProxy::ReadItem(const ItemInfo& item, std::uint32_t offsetLow,
                                       std::uint32_t offsetHigh, std::uint32_t length,
                                       AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.ReadItem(item, offsetLow, offsetHigh, length, result);
  });
}

HRESULT KorvexDataStoreProxy::WriteItem(const ItemInfo& item,
                                        std::unique_ptr<std::uint8_t[]> data,
                                        std::uint32_t offsetLow, std::uint32_t offsetHigh,
                                        std::uint32_t length, AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.WriteItem(item, std::move(data), offsetLow, offsetHigh, length, result);
  });
}

HRESULT KorvexDataStoreProxy::CompleteItem(const ItemInfo& item, std::uint32_t overrideFlag,
                                           AsyncResult** result) {
  return Forward(inner_, result, [&](IDataStoreRemote& in) {
    return in.CompleteItem(item, overrideFlag, result);
  });
}

}  // namespace korvex
