//===- store/DataStoreEdits.cpp - Editing operations and their cache rules -===//

#include "store/AwaitedResult.h"
#include "store/DataStore.h"
#include "store/DataStoreSupport.h"

#include <algorithm>

namespace korvex {
namespace {

// Starts with `start`, then finishes with `finish` unless the start failed
// or handed out nothing to wait for.
template <class Start, class Finish>
HRESULT StartAndFinish(Start&& start, Finish&& finish) {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    AsyncResult* result = nullptr;
    const HRESULT hr = start(&result);
    if (Failed(hr) || result == nullptr) {
      if (result != nullptr) result->Release();
      return hr;
    }
    return finish(result);
  });
}

// The frame of the finishing steps that touch the cache only after a
// success: waits for `result`, then runs `apply` under the cache's lock and
// answers the operation's own status.
template <class Apply>
HRESULT ApplyOnSuccess(AsyncResult* result, IDataStoreRemote* remote, std::mutex& mutex, Apply&& apply) {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    if (result == nullptr) return S_OK;
    // Pumping where a pump is installed (the GUI thread, whose window must
    // stay alive and say that it waits); elsewhere a plain wait.
    AwaitedResult awaited(result, true, OutcomeRule::kPayloadStatus, remote);
    if (Failed(awaited.Status())) return awaited.Status();
    std::lock_guard<std::mutex> lock(mutex);
    apply();
    return awaited.Status();
  });
}

std::string ParentUriOf(const std::string& itemUri) {
  const std::size_t slash = itemUri.rfind('/');
  return slash == std::string::npos ? std::string() : itemUri.substr(0, slash + 1);
}

std::string ParentUriOfContainer(const std::string& uri) {
  return uri.size() > 1 && uri.back() == '/' ? ParentUriOf(uri.substr(0, uri.size() - 1)) : std::string();
}

}  // namespace

void Readdress(Container& container, const std::string& oldUri) {
  if (!container.children) return;
  const std::string& newUri = container.info.uri;
  auto moved = [&](const std::string& uri) {
    // Replacing the prefix (rather than rebuilding from names) keeps the
    // address of a directory whose display name carries a rights label.
    if (uri.compare(0, oldUri.size(), oldUri) != 0) return uri;
    return newUri + uri.substr(oldUri.size());
  };
  for (EntryRef<Item>* slot : container.children->items) {
    if (slot->present()) (*slot)->info.uri = moved((*slot)->info.uri);
  }
  for (EntryRef<Container>* slot : container.children->containers) {
    if (!slot->present()) continue;
    Container& child = **slot;
    const std::string childOld = child.info.uri;
    child.info.uri = moved(childOld);
    Readdress(child, childOld);
  }
}

// -- Containers ----------------------------------------------------------------

HRESULT DataStore::FinishCreateContainer(const ContainerInfo& parent, ContainerInfo& newContainer,
                                         AsyncResult* result) {
  const HRESULT status = Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    if (result == nullptr) return S_OK;
    // Pumping only where a pump is installed.
    AwaitedResult awaited(result, true, OutcomeRule::kPayloadStatus, remote_.get());
    const HRESULT hr = awaited.Status();
    if (Failed(hr) && hr != HR_ALREADY_EXISTS) return hr;
    auto payload = awaited.Take<CreateContainerPayload>();
    std::unique_ptr<Container> created(payload ? boost::get<1>(*payload) : nullptr);
    std::lock_guard<std::mutex> lock(mutex_);
    EntryRef<Container>* parentSlot = FindContainer(parent.uri);
    const std::uint32_t privilege = parentSlot ? (*parentSlot)->info.privilege : parent.privilege;
    if (!created) {
      // A back end that reports "exists" without a record: the caller still
      // learns where the existing container is.
      if (hr != HR_ALREADY_EXISTS) return E_UNEXPECTED;
      newContainer.uri = parent.uri + newContainer.name + "/";
      newContainer.privilege = privilege;
      return hr;
    }
    created->info.privilege = privilege;
    newContainer = created->info;
    if (parentSlot != nullptr && (*parentSlot)->children &&
        SlotNamed((*parentSlot)->children->containers, created->info.name) == nullptr) {
      AppendSlot((*parentSlot)->children->containers, std::move(created));
    }
    return hr;
  });
  if (result != nullptr && Succeeded(status)) NotifyChanged({parent.uri});
  return status;
}

HRESULT DataStore::FinishDeleteContainer(const ContainerInfo& container, AsyncResult* result) {
  const HRESULT status = ApplyOnSuccess(result, remote_.get(), mutex_, [&] {
    EntryRef<Container>* parent = FindParentOfContainer(container.uri);
    if (parent != nullptr && (*parent)->children)
      RemoveSlotNamed((*parent)->children->containers, container.name);
  });
  if (result != nullptr && Succeeded(status)) NotifyChanged({ParentUriOfContainer(container.uri)});
  return status;
}

HRESULT DataStore::FinishRenameContainer(const ContainerInfo& container, const std::string& newName,
                                         AsyncResult* result) {
  const HRESULT status = ApplyOnSuccess(result, remote_.get(), mutex_, [&] {
    EntryRef<Container>* parent = FindParentOfContainer(container.uri);
    if (parent == nullptr || !(*parent)->children) return;
    EntryRef<Container>* slot = SlotNamed((*parent)->children->containers, container.name);
    if (slot == nullptr) return;
    Container& renamed = **slot;
    const std::string oldUri = renamed.info.uri;
    renamed.info.name = newName;
    renamed.info.uri = (*parent)->info.uri + newName + "/";
    Readdress(renamed, oldUri);
  });
  if (result != nullptr && Succeeded(status)) NotifyChanged({ParentUriOfContainer(container.uri)});
  return status;
}

HRESULT DataStore::FinishMoveContainer(ContainerInfo& container, const ContainerInfo& sourceParent,
                                       const ContainerInfo& target, AsyncResult* result) {
  const HRESULT status = ApplyOnSuccess(result, remote_.get(), mutex_, [&] {
    container.uri = target.uri + container.name + "/";
    if (Container* source = FindListed(sourceParent.uri))
      RemoveSlotNamed(source->children->containers, container.name);
    // The target's next listing shows the moved folder.
    InvalidateLocked(target.uri, target.refreshable);
  });
  if (result != nullptr && Succeeded(status)) NotifyChanged({sourceParent.uri, target.uri});
  return status;
}

HRESULT DataStore::CreateContainer(const ContainerInfo& parent, ContainerInfo& newContainer) {
  return StartAndFinish(
      [&](AsyncResult** r) { return remote_->CreateContainer(parent, newContainer, r); },
      [&](AsyncResult* r) { return FinishCreateContainer(parent, newContainer, r); });
}

HRESULT DataStore::DeleteContainer(const ContainerInfo& container) {
  return StartAndFinish([&](AsyncResult** r) { return remote_->DeleteContainer(container, r); },
                        [&](AsyncResult* r) { return FinishDeleteContainer(container, r); });
}

HRESULT DataStore::RenameContainer(const ContainerInfo& container, const std::string& newName) {
  return StartAndFinish(
      [&](AsyncResult** r) { return remote_->RenameContainer(container, newName, r); },
      [&](AsyncResult* r) { return FinishRenameContainer(container, newName, r); });
}

HRESULT DataStore::MoveContainer(ContainerInfo& container, const ContainerInfo& sourceParent,
                                 const ContainerInfo& target, std::uint32_t flag) {
  return StartAndFinish(
      [&](AsyncResult** r) {
        return remote_->MoveContainer(container, sourceParent, target, flag, r);
      },
      [&](AsyncResult* r) { return FinishMoveContainer(container, sourceParent, target, r); });
}

// -- Items ---------------------------------------------------------------------

HRESULT DataStore::FinishCreateItem(const ContainerInfo& parent, ItemInfo& item,
                                    AsyncResult* result) {
  const HRESULT status = Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    if (result == nullptr) return S_OK;
    AwaitedResult awaited(result, false);
    if (Failed(awaited.Status())) return awaited.Status();
    auto payload = awaited.Take<CreateItemPayload>();
    std::unique_ptr<Item> created(payload ? boost::get<1>(*payload) : nullptr);
    if (!created) return E_UNEXPECTED;
    item = created->info;
    std::lock_guard<std::mutex> lock(mutex_);
    Container* listed = FindListed(parent.uri);
    if (listed == nullptr) return awaited.Status();
    auto& slots = listed->children->items;
    if (EntryRef<Item>* same = SlotNamed(slots, created->info.name)) {
      same->Assign(created.release());
    } else if (listed->info.refreshable &&
               !std::all_of(slots.begin(), slots.end(), [](const auto* slot) { return slot->present(); })) {
      // The back end places the new item by its own order, so pages still
      // to fetch no longer match the slots (one would repeat an item and
      // lose another): the listing is dropped and fetched again.
      InvalidateLocked(parent.uri, true);
    } else {
      AppendSlot(slots, std::move(created));
    }
    return awaited.Status();
  });
  if (result != nullptr && Succeeded(status)) NotifyChanged({parent.uri});
  return status;
}

HRESULT DataStore::FinishDeleteItem(const ItemInfo& item, AsyncResult* result) {
  const HRESULT status = ApplyOnSuccess(result, remote_.get(), mutex_, [&] {
    EntryRef<Container>* parent = FindParentOfItem(item.uri);
    if (parent != nullptr && (*parent)->children)
      RemoveSlotNamed((*parent)->children->items, item.name);
  });
  if (result != nullptr && Succeeded(status)) NotifyChanged({ParentUriOf(item.uri)});
  return status;
}

HRESULT DataStore::FinishRenameItem(const ItemInfo& item, const std::string& newName,
                                    AsyncResult* result) {
  const HRESULT status = ApplyOnSuccess(result, remote_.get(), mutex_, [&] {
    if (EntryRef<Item>* slot = FindItem(item.uri)) {
      (*slot)->info.name = newName;
      (*slot)->info.uri = ParentUriOf(item.uri) + newName;
    }
  });
  if (result != nullptr && Succeeded(status)) NotifyChanged({ParentUriOf(item.uri)});
  return status;
}

HRESULT DataStore::FinishMoveItem(ItemInfo& item, const ContainerInfo& sourceParent,
                                  const ContainerInfo& target, AsyncResult* result) {
  const HRESULT status = ApplyOnSuccess(result, remote_.get(), mutex_, [&] {
    item.uri = target.uri + item.name;
    if (Container* source = FindListed(sourceParent.uri))
      RemoveSlotNamed(source->children->items, item.name);
    InvalidateLocked(target.uri, target.refreshable);
  });
  if (result != nullptr && Succeeded(status)) NotifyChanged({sourceParent.uri, target.uri});
  return status;
}

HRESULT DataStore::FinishCopyItem(ItemInfo& item, const ContainerInfo& /*sourceParent*/,
                                  const ContainerInfo& target, AsyncResult* result) {
  const HRESULT status = ApplyOnSuccess(result, remote_.get(), mutex_, [&] {
    item.uri = target.uri + item.name;
    InvalidateLocked(target.uri, target.refreshable);
  });
  if (result != nullptr && Succeeded(status)) NotifyChanged({target.uri});
  return status;
}

HRESULT DataStore::FinishCompleteItem(ItemInfo& item, AsyncResult* result) {
  const HRESULT status = ApplyOnSuccess(result, remote_.get(), mutex_, [&] {
    item.partial = 0;
    if (EntryRef<Item>* slot = FindItem(item.uri)) (*slot)->info.partial = 0;
  });
  if (result != nullptr && Succeeded(status)) NotifyChanged({ParentUriOf(item.uri)});
  return status;
}

// -- Change events -------------------------------------------------------------

std::uint64_t DataStore::AddChangeListener(ChangeListener listener) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  const std::uint64_t id = nextListenerId_++;
  listeners_.emplace(id, std::move(listener));
  return id;
}

void DataStore::RemoveChangeListener(std::uint64_t id) {
  std::lock_guard<std::mutex> lock(listenersMutex_);
  listeners_.erase(id);
}

void DataStore::NotifyChanged(std::initializer_list<std::string> containerUris) {
  // Held while calling, so that a listener that is being removed is not
  // called after RemoveChangeListener has returned.
  std::lock_guard<std::mutex> lock(listenersMutex_);
  for (const auto& [id, listener] : listeners_) {
    for (const std::string& uri : containerUris) {
      if (!uri.empty()) Guarded(0, [&] {
          listener(uri);
          return 0;
        });
    }
  }
}

HRESULT DataStore::CreateItem(const ContainerInfo& parent, ItemInfo& item,
                              std::uint32_t overrideFlag) {
  return StartAndFinish(
      [&](AsyncResult** r) { return remote_->CreateItem(parent, item, overrideFlag, r); },
      [&](AsyncResult* r) { return FinishCreateItem(parent, item, r); });
}

HRESULT DataStore::DeleteItem(const ItemInfo& item) {
  return StartAndFinish([&](AsyncResult** r) { return remote_->DeleteItem(item, r); },
                        [&](AsyncResult* r) { return FinishDeleteItem(item, r); });
}

HRESULT DataStore::RenameItem(const ItemInfo& item, const std::string& newName) {
  return StartAndFinish([&](AsyncResult** r) { return remote_->RenameItem(item, newName, r); },
                        [&](AsyncResult* r) { return FinishRenameItem(item, newName, r); });
}

HRESULT DataStore::MoveItem(ItemInfo& item, const ContainerInfo& sourceParent,
                            const ContainerInfo& target, std::uint32_t overrideFlag) {
  return StartAndFinish(
      [&](AsyncResult** r) {
        return remote_->MoveItem(item, sourceParent, target, overrideFlag, r);
      },
      [&](AsyncResult* r) { return FinishMoveItem(item, sourceParent, target, r); });
}

HRESULT DataStore::CopyItem(ItemInfo& item, const ContainerInfo& sourceParent,
                            const ContainerInfo& target, std::uint32_t overrideFlag) {
  return StartAndFinish(
      [&](AsyncResult** r) {
        return remote_->CopyItem(item, sourceParent, target, overrideFlag, r);
      },
      [&](AsyncResult* r) { return FinishCopyItem(item, sourceParent, target, r); });
}

HRESULT DataStore::CompleteItem(ItemInfo& item, std::uint32_t overrideFlag) {
  return StartAndFinish(
      [&](AsyncResult** r) { return remote_->CompleteItem(item, overrideFlag, r); },
      [&](AsyncResult* r) { return FinishCompleteItem(item, r); });
}

}  // namespace korvex
