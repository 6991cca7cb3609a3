//===- store/DataStore.cpp - Cache, lookups and listing -------------------===//

#include "store/DataStore.h"

#include "store/AwaitedResult.h"
#include "store/DataStoreSupport.h"

#include <algorithm>
#include <string_view>

namespace korvex {
namespace detail {

namespace {
// Per thread, so that a worker's failure never shows up as the user's.
thread_local std::string tlsLastMessage;
}  // namespace

void RecordCallMessage(std::string message) noexcept {
  try {
    tlsLastMessage = std::move(message);
  } catch (...) {
  }
}

}  // namespace detail

namespace {

// The page of items GetEntryAt asks for reaches this far on either side of
// the row the user looks at, and never spans more than kPageSpan slots.
constexpr std::int64_t kPageReach = 30;
constexpr std::int64_t kPageSpan = 31;

}  // namespace

DataStore::DataStore(std::unique_ptr<IDataStoreRemote> remote, std::uint32_t sortOrder,
                     bool sortNamesOnClient)
    : sortOrder_(sortOrder), remote_(std::move(remote)), sortNamesOnClient_(sortNamesOnClient) {
  auto* root = new Container;
  root->info.uri.assign(1, '/');  // assigning "/" trips a false GCC 12 -Wrestrict
  root->info.kind = kContainerRoot;
  root->info.privilege = kPrivilegeVirtual;
  root_.Assign(root);
  if (!remote_) {
    initStatus_ = E_POINTER;
    return;
  }
  initStatus_ = Guarded(E_UNEXPECTED, [&] { return remote_->InitializeRoot(root); });
}

// The back end goes first (member order): its calls still under way must
// end before the cache they might be finished into.
DataStore::~DataStore() = default;

std::string DataStore::LastErrorMessage() { return detail::tlsLastMessage; }

ContainerInfo DataStore::RootInfo() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return root_->info;
}

// -- Lookups -----------------------------------------------------------------

EntryRef<Container>* DataStore::FindContainer(const std::string& uri) const {
  // The finders hand out slots that the (locked) caller may change.
  auto* current = const_cast<EntryRef<Container>*>(&root_);
  const std::string& rootUri = root_->info.uri;
  if (uri == rootUri) return current;
  if (uri.compare(0, rootUri.size(), rootUri) != 0) return nullptr;
  std::string_view rest(uri);
  rest.remove_prefix(rootUri.size());
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view token = rest.substr(0, slash);
    rest.remove_prefix(slash == std::string_view::npos ? rest.size() : slash + 1);
    if (token.empty()) continue;
    Container& parent = **current;
    if (!parent.children) return nullptr;
    std::string wanted = parent.info.uri;
    wanted.append(token).push_back('/');
    EntryRef<Container>* match = nullptr;
    for (EntryRef<Container>* slot : parent.children->containers) {
      if (slot->present() && (*slot)->info.uri == wanted) {
        match = slot;
        break;
      }
    }
    if (match == nullptr) return nullptr;
    current = match;
  }
  return current;
}

EntryRef<Container>* DataStore::FindParentOfContainer(const std::string& uri) const {
  if (uri.empty()) return nullptr;
  std::string_view trimmed(uri);
  trimmed.remove_suffix(1);
  const std::size_t slash = trimmed.rfind('/');
  if (slash == std::string_view::npos) return nullptr;
  return FindContainer(std::string(trimmed.substr(0, slash + 1)));
}

EntryRef<Container>* DataStore::FindParentOfItem(const std::string& uri) const {
  const std::size_t slash = uri.rfind('/');
  if (slash == std::string::npos) return nullptr;
  return FindContainer(uri.substr(0, slash + 1));
}

EntryRef<Item>* DataStore::FindItem(const std::string& uri) const {
  const std::size_t slash = uri.rfind('/');
  if (slash == std::string::npos) return nullptr;
  EntryRef<Container>* parent = FindContainer(uri.substr(0, slash + 1));
  if (parent == nullptr || !(*parent)->children) return nullptr;
  const std::string_view name = std::string_view(uri).substr(slash + 1);
  for (EntryRef<Item>* slot : (*parent)->children->items) {
    if (slot->present() && (*slot)->info.name == name) return slot;
  }
  return nullptr;
}

EntryRef<Container>* DataStore::FindParent(const std::string& uri) const {
  if (!uri.empty() && uri.back() == '/') return FindParentOfContainer(uri);
  return FindParentOfItem(uri);
}

Container* DataStore::FindListed(const std::string& uri) const {
  EntryRef<Container>* slot = FindContainer(uri);
  if (slot == nullptr || !(*slot)->children) return nullptr;
  return slot->get();
}

bool DataStore::GetContainerInfo(const std::string& uri, ContainerInfo& out) const {
  return Guarded(false, [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    EntryRef<Container>* slot = FindContainer(uri);
    if (slot == nullptr) return false;
    out = (*slot)->info;
    return true;
  });
}

bool DataStore::GetItemInfo(const std::string& uri, ItemInfo& out) const {
  return Guarded(false, [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    EntryRef<Item>* slot = FindItem(uri);
    if (slot == nullptr) return false;
    out = (*slot)->info;
    return true;
  });
}

bool DataStore::GetParentInfo(const std::string& uri, ContainerInfo& out) const {
  return Guarded(false, [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    EntryRef<Container>* slot = FindParent(uri);
    if (slot == nullptr) return false;
    out = (*slot)->info;
    return true;
  });
}

bool DataStore::ContainerExists(const std::string& uri) const {
  return Guarded(false, [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    return FindContainer(uri) != nullptr;
  });
}

bool DataStore::IsListed(const std::string& uri) const {
  return Guarded(false, [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    return FindListed(uri) != nullptr;
  });
}

bool DataStore::AreAllItemsFetched(const std::string& uri) const {
  return Guarded(false, [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    const Container* container = FindListed(uri);
    if (container == nullptr) return false;
    const auto& items = container->children->items;
    return std::all_of(items.begin(), items.end(), [](const auto* slot) { return slot->present(); });
  });
}

// -- Listing -------------------------------------------------------------------

HRESULT DataStore::FinishListSubContainersAndItemCount(const ContainerInfo& container,
                                                       AsyncResult* result, bool pumping) {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    if (result == nullptr) return S_OK;
    AwaitedResult awaited(result, pumping, OutcomeRule::kPayloadStatus, remote_.get());
    if (Failed(awaited.Status())) return awaited.Status();
    auto payload = awaited.Take<ListSubContainersPayload>();
    if (!payload) return E_UNEXPECTED;
    OwnedList<Container> listed = TakeOwnership(boost::get<1>(*payload));
    const std::size_t itemCount = static_cast<std::size_t>(std::max(boost::get<2>(*payload), 0));

    auto children = std::make_unique<ContainerChildren>();
    children->items.reserve(itemCount);
    for (std::size_t i = 0; i < itemCount; ++i) AppendSlot(children->items, std::unique_ptr<Item>());

    std::lock_guard<std::mutex> lock(mutex_);
    EntryRef<Container>* slot = FindContainer(container.uri);
    // Gone from the cache while the listing ran: nothing to store it in.
    if (slot == nullptr) return awaited.Status();
    const std::int32_t inherited = (*slot)->info.kind;
    for (auto& child : listed) {
      // Everything below the shares and VEZO roots carries their kind.
      if (inherited == kContainerShared || inherited == kContainerVezo) child->info.kind = inherited;
      AppendSlot(children->containers, std::move(child));
    }
    (*slot)->children.Assign(children.release());
    return awaited.Status();
  });
}

HRESULT DataStore::FinishListSubItems(const ContainerInfo& container, std::uint32_t start,
                                      std::uint32_t count, std::uint32_t /*sortOrder*/,
                                      AsyncResult* result, bool pumping) {
  bool stale = false;
  const HRESULT status = Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    if (result == nullptr) return S_OK;
    AwaitedResult awaited(result, pumping, OutcomeRule::kPayloadStatus, remote_.get());
    if (Failed(awaited.Status())) return awaited.Status();
    auto payload = awaited.Take<ListSubItemsPayload>();
    if (!payload) return E_UNEXPECTED;
    OwnedList<Item> page = TakeOwnership(boost::get<1>(*payload));

    std::lock_guard<std::mutex> lock(mutex_);
    Container* listed = FindListed(container.uri);
    if (listed == nullptr) return awaited.Status();
    auto& slots = listed->children->items;
    // A page of the whole folder that came back short is the folder as it
    // stands: the back end skipped an entry it could not describe (a file
    // without its time) or lost one meanwhile. Nothing after it can shift,
    // so the page is kept and the rows it lacks go, instead of failing the
    // whole listing.
    std::size_t wanted = count;
    if (start == 0 && count == slots.size() && page.size() < count) {
      while (slots.size() > page.size()) {
        std::unique_ptr<EntryRef<Item>> gone(slots.back());
        slots.pop_back();
      }
      wanted = page.size();
      // Views that counted the rows learn that there are fewer.
      stale = true;
    }
    // Any other page longer or shorter than the rows it was asked for means
    // the folder changed on the back end since it was counted: its items have
    // moved, so slotting the page in would show one item twice and hide
    // another. The listing is dropped and its listeners list it again.
    if (page.size() != wanted || start + page.size() > slots.size()) {
      stale = listed->info.refreshable;
      InvalidateLocked(container.uri, listed->info.refreshable);
      return E_UNEXPECTED;
    }
    for (std::size_t i = 0; i < page.size(); ++i) slots[start + i]->Assign(page[i].release());
    return awaited.Status();
  });
  if (stale) NotifyChanged({container.uri});
  return status;
}

void DataStore::SetSortOrder(std::uint32_t sortOrder) {
  std::lock_guard<std::mutex> lock(mutex_);
  sortOrder_ = sortOrder;
}

std::uint32_t DataStore::GetSortOrder() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sortOrder_;
}

std::int32_t DataStore::PeekSubContainers(const ContainerInfo& container,
                                          std::vector<ContainerInfo>& out, bool pumping) {
  return Guarded(0, [&]() -> std::int32_t {
    ContainerInfo cached;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      EntryRef<Container>* slot = FindContainer(container.uri);
      if (slot == nullptr || (*slot)->children) return 0;
      cached = (*slot)->info;
    }
    AsyncResult* result = nullptr;
    if (Failed(remote_->ListSubContainersAndItemCount(cached, &result)) || result == nullptr) return 0;
    AwaitedResult awaited(result, pumping, OutcomeRule::kPayloadStatus, remote_.get());
    if (Failed(awaited.Status())) return 0;
    auto payload = awaited.Take<ListSubContainersPayload>();
    if (!payload) return 0;
    OwnedList<Container> listed = TakeOwnership(boost::get<1>(*payload));
    for (const auto& child : listed) out.push_back(child->info);
    return static_cast<std::int32_t>(listed.size());
  });
}

EntryCounts DataStore::GetCounts(const ContainerInfo& container, bool pumping) {
  const EntryCounts failed{E_UNEXPECTED, -1, -1};
  return Guarded(failed, [&]() -> EntryCounts {
    auto countsOf = [this, &container]() -> EntryCounts {
      const Container* listed = FindListed(container.uri);
      if (listed == nullptr) return {E_UNEXPECTED, -1, -1};
      return {S_OK, static_cast<std::int32_t>(listed->children->containers.size()),
              static_cast<std::int32_t>(listed->children->items.size())};
    };
    ContainerInfo cached;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      EntryRef<Container>* slot = FindContainer(container.uri);
      if (slot == nullptr) return failed;
      if ((*slot)->children) return countsOf();
      // The cached record carries the back end's id even when the caller's
      // copy was made from an address alone.
      cached = (*slot)->info;
    }
    AsyncResult* result = nullptr;
    HRESULT hr = remote_->ListSubContainersAndItemCount(cached, &result);
    if (Failed(hr)) return {hr, -1, -1};
    hr = FinishListSubContainersAndItemCount(container, result, pumping);
    if (Failed(hr)) return {hr, -1, -1};
    std::lock_guard<std::mutex> lock(mutex_);
    return countsOf();
  });
}

HRESULT DataStore::StartPageAround(Container& container, std::size_t index, bool refresh,
                                   std::uint32_t& start, std::uint32_t& count,
                                   AsyncResult** result) {
  auto& slots = container.children->items;
  if (refresh) slots[index]->Reset();
  if (slots[index]->present()) return S_OK;
  const std::int64_t j = static_cast<std::int64_t>(index);
  std::int64_t lo = std::max<std::int64_t>(j - kPageReach, 0);
  std::int64_t hi = std::min<std::int64_t>(j + kPageReach, static_cast<std::int64_t>(slots.size()) - 1);
  while (lo < j && slots[lo]->present()) ++lo;
  while (hi > j && slots[hi]->present()) --hi;
  // Keep the end of the window on the side with more missing rows.
  if (j - lo <= hi - j) {
    if (hi - lo + 1 > kPageSpan) lo = hi - (kPageSpan - 1);
  } else if (hi - lo + 1 > kPageSpan) {
    hi = lo + (kPageSpan - 1);
  }
  start = static_cast<std::uint32_t>(lo);
  count = static_cast<std::uint32_t>(hi - lo + 1);
  return remote_->ListSubItems(container.info, start, count,
                               static_cast<std::int32_t>(sortOrder_), result);
}

EntryAt DataStore::GetEntryAt(const ContainerInfo& container, std::int32_t position, bool pumping,
                              bool refresh) {
  return Guarded(EntryAt{}, [&]() -> EntryAt {
    // A row whose page was just fetched and is still absent was refused.
    auto copyRow = [this, &container, position] { return RowLocked(container.uri, position, E_UNEXPECTED); };
    AsyncResult* result = nullptr;
    std::uint32_t start = 0, count = 0, order = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Container* listed = FindListed(container.uri);
      if (listed == nullptr) return {E_UNEXPECTED, nullptr};
      const std::size_t subs = listed->children->containers.size();
      const std::size_t rows = subs + listed->children->items.size();
      if (position < 0 || static_cast<std::size_t>(position) >= rows) return {E_INVALIDARG, nullptr};
      if (static_cast<std::size_t>(position) < subs) return copyRow();
      order = sortOrder_;
      const HRESULT hr = StartPageAround(*listed, static_cast<std::size_t>(position) - subs,
                                         refresh, start, count, &result);
      if (Failed(hr)) return {hr, nullptr};
      if (result == nullptr) return copyRow();
    }
    const HRESULT hr = FinishListSubItems(container, start, count, order, result, pumping);
    if (Failed(hr)) return {hr, nullptr};
    std::lock_guard<std::mutex> lock(mutex_);
    return copyRow();
  });
}

EntryAt DataStore::CachedEntryAt(const ContainerInfo& container, std::int32_t position) const {
  return Guarded(EntryAt{}, [&]() -> EntryAt {
    std::lock_guard<std::mutex> lock(mutex_);
    return RowLocked(container.uri, position, S_FALSE);
  });
}

EntryAt DataStore::RowLocked(const std::string& uri, std::int32_t position, HRESULT whenAbsent) const {
  const Container* listed = FindListed(uri);
  if (listed == nullptr) return {E_UNEXPECTED, nullptr};
  const auto& children = *listed->children;
  const std::size_t subs = children.containers.size();
  if (position < 0 || static_cast<std::size_t>(position) >= subs + children.items.size())
    return {E_INVALIDARG, nullptr};
  const std::size_t row = static_cast<std::size_t>(position);
  if (row < subs) return {S_OK, std::make_unique<ContainerInfo>((*children.containers[row])->info)};
  const EntryRef<Item>* slot = children.items[row - subs];
  if (!slot->present()) return {whenAbsent, nullptr};
  return {S_OK, std::make_unique<ItemInfo>((*slot)->info)};
}

HRESULT DataStore::SortItems(const ContainerInfo& container, std::int32_t count, bool pumping) {
  return Guarded(E_UNEXPECTED, [&]() -> HRESULT {
    AsyncResult* result = nullptr;
    std::uint32_t wanted = 0, order = 0;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      Container* listed = FindListed(container.uri);
      if (listed == nullptr) return E_UNEXPECTED;
      const auto& slots = listed->children->items;
      wanted = static_cast<std::uint32_t>(std::clamp<std::int64_t>(count, 0, slots.size()));
      order = sortOrder_;
      if (wanted > 0 && !slots[wanted - 1]->present()) {
        const HRESULT hr = remote_->ListSubItems(listed->info, 0, wanted,
                                                 static_cast<std::int32_t>(order), &result);
        if (Failed(hr)) return hr;
      }
    }
    if (result != nullptr) {
      const HRESULT hr = FinishListSubItems(container, 0, wanted, order, result, pumping);
      if (Failed(hr)) return hr;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    Container* listed = FindListed(container.uri);
    if (listed == nullptr) return E_UNEXPECTED;
    const bool byName = sortOrder_ == kSortNameAscending || sortOrder_ == kSortNameDescending;
    if (!byName || sortNamesOnClient_) SortItemSlots(*listed->children, sortOrder_);
    return S_OK;
  });
}

void DataStore::InvalidateContainer(const ContainerInfo& container) {
  Guarded(0, [&] {
    std::lock_guard<std::mutex> lock(mutex_);
    InvalidateLocked(container.uri, container.refreshable);
    return 0;
  });
}

void DataStore::InvalidateLocked(const std::string& uri, bool refreshable) {
  if (!refreshable) return;
  EntryRef<Container>* slot = FindContainer(uri);
  if (slot != nullptr) (*slot)->children.Reset();
}

}  // namespace korvex
