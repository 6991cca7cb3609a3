//===- store/DataStoreSharing.cpp - Sharing, link and code wrappers --------===//
///
/// These calls come from dialogs on the user-interface thread, so every one
/// waits pumping; they add nothing to the back end's operation but the wait
/// and, for sharing, the new kind of the cached container.
///
//===----------------------------------------------------------------------===//

#include "store/AwaitedResult.h"
#include "store/DataStore.h"
#include "store/DataStoreSupport.h"

namespace korvex {
namespace {

// Starts, waits pumping and hands a successful result to `use`.
// A wait the user gives up gives up the back end's call too (`remote`).
template <class Start, class Use>
HRESULT CallPumping(IDataStoreRemote* remote, OutcomeRule rule, Start&& start, Use&& use) {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    AsyncResult* result = nullptr;
    const HRESULT hr = start(&result);
    if (Failed(hr) || result == nullptr) {
      if (result != nullptr) result->Release();
      return hr;
    }
    AwaitedResult awaited(result, true, rule, remote);
    if (Succeeded(awaited.Status())) use(awaited);
    return awaited.Status();
  });
}

template <class Start>
HRESULT CallPumping(IDataStoreRemote* remote, OutcomeRule rule, Start&& start) {
  return CallPumping(remote, rule, std::forward<Start>(start), [](AwaitedResult&) {});
}

std::vector<BuddyInfo> OneBuddy(const std::string& name) {
  std::vector<BuddyInfo> buddies(1);
  buddies[0].name = name;
  return buddies;
}

template <class T>
void CopyOut(std::vector<T*>* objects, std::vector<T>& out) {
  out.clear();
  for (const auto& object : TakeOwnership(objects)) out.push_back(*object);
}

}  // namespace

HRESULT DataStore::ShareContainerWith(const ContainerInfo& container, const std::string& buddy) {
  const HRESULT hr = CallPumping(remote_.get(), OutcomeRule::kPayloadStatus, [&](AsyncResult** r) {
    return remote_->ShareContainer(container, OneBuddy(buddy), r);
  });
  if (Succeeded(hr)) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (EntryRef<Container>* slot = FindContainer(container.uri))
      (*slot)->info.kind = kContainerSharedWithBuddies;
  }
  return hr;
}

HRESULT DataStore::ShareContainer(const ContainerInfo& container,
                                  const std::vector<BuddyInfo>& buddies) {
  const HRESULT hr = CallPumping(remote_.get(), OutcomeRule::kPayloadStatus, [&](AsyncResult** r) {
    return remote_->ShareContainer(container, buddies, r);
  });
  if (Succeeded(hr)) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (EntryRef<Container>* slot = FindContainer(container.uri))
      (*slot)->info.kind = kContainerShared;
  }
  return hr;
}

HRESULT DataStore::ListContainerBuddies(const ContainerInfo& container, std::uint32_t page,
                                        std::uint32_t pageSize, std::uint64_t& total,
                                        std::vector<BuddyInfoEx>& buddies) {
  return CallPumping(remote_.get(),
      OutcomeRule::kPayloadStatus,
      [&](AsyncResult** r) { return remote_->ListContainerBuddies(container, page, pageSize, r); },
      [&](AwaitedResult& awaited) {
        if (auto payload = awaited.Take<ListContainerBuddiesPayload>()) {
          total = boost::get<1>(*payload);
          CopyOut(boost::get<2>(*payload), buddies);
        }
      });
}

HRESULT DataStore::ListBuddies(std::uint32_t page, std::uint32_t pageSize, std::uint64_t& total,
                               std::vector<BuddyInfo>& buddies) {
  return CallPumping(remote_.get(),
      OutcomeRule::kPayloadStatus,
      [&](AsyncResult** r) { return remote_->ListBuddies(page, pageSize, r); },
      [&](AwaitedResult& awaited) {
        if (auto payload = awaited.Take<ListBuddiesPayload>()) {
          total = boost::get<1>(*payload);
          CopyOut(boost::get<2>(*payload), buddies);
        }
      });
}

HRESULT DataStore::EditContainerShare(const ContainerInfo& container, const std::string& buddy) {
  return CallPumping(remote_.get(), OutcomeRule::kPayloadStatus, [&](AsyncResult** r) {
    return remote_->EditContainerShare(container, OneBuddy(buddy), r);
  });
}

HRESULT DataStore::UnshareContainer(const ContainerInfo& container, const std::string& buddy) {
  return CallPumping(remote_.get(), OutcomeRule::kPayloadStatus, [&](AsyncResult** r) {
    return remote_->UnshareContainer(container, OneBuddy(buddy), r);
  });
}

HRESULT DataStore::CancelContainerShare(const ContainerInfo& container) {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    AsyncResult* result = nullptr;
    const HRESULT hr = remote_->CancelContainerShare(container, &result);
    if (Failed(hr) || result == nullptr) {
      if (result != nullptr) result->Release();
      return hr;
    }
    return FinishDeleteContainer(container, result);
  });
}

HRESULT DataStore::GetItemCodes(const ItemInfo& item, std::uint32_t validity,
                                const std::string& expiry, std::string& link) {
  return CallPumping(remote_.get(),
      OutcomeRule::kPayloadStatus,
      [&](AsyncResult** r) { return remote_->GetItemCodes(item, validity, expiry, r); },
      [&](AwaitedResult& awaited) {
        if (auto payload = awaited.Take<ItemCodesPayload>()) link = boost::get<1>(*payload);
      });
}

HRESULT DataStore::RemoveItemCodes(const ItemInfo& item) {
  return CallPumping(remote_.get(), OutcomeRule::kPayloadStatus,
                     [&](AsyncResult** r) { return remote_->RemoveItemCodes(item, r); });
}

HRESULT DataStore::ChangeItemCodes(const ItemInfo& item, std::uint32_t validity,
                                   const std::string& expiry) {
  return CallPumping(remote_.get(), OutcomeRule::kPayloadStatus, [&](AsyncResult** r) {
    return remote_->ChangeItemCodes(item, validity, expiry, r);
  });
}

HRESULT DataStore::GetClientLinkDetail(const ItemInfo& item, LinkDetail& detail) {
  return CallPumping(remote_.get(),
      OutcomeRule::kPayloadStatus,
      [&](AsyncResult** r) { return remote_->GetClientLinkDetail(item, r); },
      [&](AwaitedResult& awaited) {
        if (auto payload = awaited.Take<ClientLinkDetailPayload>()) {
          detail = {boost::get<1>(*payload), boost::get<2>(*payload), boost::get<3>(*payload),
                    boost::get<4>(*payload)};
        }
      });
}

HRESULT DataStore::SendItemToEmail(std::uint64_t fileId, const std::string& addresses,
                                   const std::string& content) {
  return CallPumping(remote_.get(), OutcomeRule::kPayloadStatus, [&](AsyncResult** r) {
    return remote_->SendItemToEmail(fileId, addresses, content, r);
  });
}

HRESULT DataStore::SendLink(const std::string& addresses, const std::string& link,
                            const std::string& fileName) {
  return CallPumping(remote_.get(), OutcomeRule::kPayloadStatus, [&](AsyncResult** r) {
    return remote_->SendLink(addresses, link, fileName, r);
  });
}

HRESULT DataStore::ListAccessCodes(const ContainerInfo& container,
                                   std::vector<ContainerCode>& codes) {
  return CallPumping(remote_.get(),
      OutcomeRule::kPayloadStatus,
      [&](AsyncResult** r) { return remote_->ListAccessCodes(container, r); },
      [&](AwaitedResult& awaited) {
        if (auto payload = awaited.Take<AccessCodesPayload>()) {
          std::unique_ptr<std::vector<ContainerCode>> list(boost::get<1>(*payload));
          codes = list ? std::move(*list) : std::vector<ContainerCode>();
        }
      });
}

HRESULT DataStore::CreateAccessCode(const ContainerInfo& container, NewAccessCode& code) {
  return CallPumping(remote_.get(),
      OutcomeRule::kPayloadStatus,
      [&](AsyncResult** r) { return remote_->CreateAccessCode(container, r); },
      [&](AwaitedResult& awaited) {
        if (auto payload = awaited.Take<CreateAccessCodePayload>()) {
          code = {boost::get<1>(*payload), boost::get<2>(*payload), boost::get<3>(*payload),
                  boost::get<4>(*payload)};
        }
      });
}

HRESULT DataStore::DeleteAccessCodes(const std::string& codeIds) {
  return CallPumping(remote_.get(), OutcomeRule::kCallStatus,
                     [&](AsyncResult** r) { return remote_->DeleteAccessCodes(codeIds, r); });
}

HRESULT DataStore::EditAccessCode(const std::string& codeId, const std::string& expiration) {
  return CallPumping(remote_.get(), OutcomeRule::kCallStatus, [&](AsyncResult** r) {
    return remote_->EditAccessCode(codeId, expiration, r);
  });
}

HRESULT DataStore::SendAccessCodeEmail(const std::string& codeId, const std::string& code,
                                       const std::string& addresses,
                                       const std::string& content) {
  return CallPumping(remote_.get(), OutcomeRule::kCallStatus, [&](AsyncResult** r) {
    return remote_->SendAccessCodeEmail(codeId, code, addresses, content, r);
  });
}

HRESULT DataStore::ReportTransfer(std::uint32_t dir, std::uint32_t retries,
                                  const std::string& fileName, std::uint64_t size,
                                  std::uint64_t parentId, std::uint64_t fileId,
                                  std::uint64_t elapsed100ns, const std::string& token) {
  return CallPumping(remote_.get(), OutcomeRule::kCallStatus, [&](AsyncResult** r) {
    return remote_->ReportTransfer(dir, retries, fileName, size, parentId, fileId, elapsed100ns,
                                   token, r);
  });
}

}  // namespace korvex
