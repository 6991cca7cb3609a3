//===- cli/RemoteTree.cpp - Finding typed paths in a DataStore ------------===//

#include "cli/RemoteTree.h"

namespace korvex::cli {

namespace {

// Lists `container` and fetches every file record, so that address lookups
// find files as well as folders.
HRESULT ListFully(DataStore& store, const ContainerInfo& container, EntryCounts& counts) {
  counts = store.GetCounts(container, false);
  if (Failed(counts.status)) return counts.status;
  if (counts.items > 0 && !store.AreAllItemsFetched(container.uri)) {
    if (const HRESULT hr = store.SortItems(container, counts.items, false); Failed(hr)) return hr;
    // Entries the service could not describe are skipped: fewer rows.
    counts = store.GetCounts(container, false);
  }
  return counts.status;
}

}  // namespace

HRESULT FindEntry(DataStore& store, const RemotePath& path, RemoteEntry& entry) {
  ContainerInfo current = store.RootInfo();
  if (path.IsRoot()) {
    entry.isContainer = true;
    entry.container = current;
    entry.parent = current;
    return S_OK;
  }
  for (std::size_t i = 0; i < path.names.size(); ++i) {
    const bool last = i + 1 == path.names.size();
    EntryCounts counts;
    if (const HRESULT hr = last ? ListFully(store, current, counts) : store.GetCounts(current, false).status;
        Failed(hr)) {
      return hr;
    }
    ContainerInfo next;
    if (store.GetContainerInfo(current.uri + path.names[i] + "/", next)) {
      if (last) {
        entry.isContainer = true;
        entry.container = next;
        entry.parent = current;
        return S_OK;
      }
      current = next;
      continue;
    }
    if (last && store.GetItemInfo(current.uri + path.names[i], entry.item)) {
      entry.isContainer = false;
      entry.parent = current;
      return S_OK;
    }
    return HR_FILE_NOT_FOUND;
  }
  return HR_FILE_NOT_FOUND;
}

HRESULT FindContainer(DataStore& store, const RemotePath& path, ContainerInfo& container) {
  RemoteEntry entry;
  if (const HRESULT hr = FindEntry(store, path, entry); Failed(hr)) return hr;
  if (!entry.isContainer) return E_INVALIDARG;
  container = entry.container;
  return S_OK;
}

HRESULT ListContainer(DataStore& store, const ContainerInfo& container, std::vector<ContainerInfo>& containers,
                      std::vector<ItemInfo>& items) {
  EntryCounts counts;
  if (const HRESULT hr = ListFully(store, container, counts); Failed(hr)) return hr;
  const std::int32_t rows = counts.containers + counts.items;
  for (std::int32_t position = 0; position < rows; ++position) {
    EntryAt row = store.GetEntryAt(container, position, false);
    if (Failed(row.status)) return row.status;
    if (row.record->kind == kObjectContainer) {
      containers.push_back(static_cast<const ContainerInfo&>(*row.record));
    } else {
      items.push_back(static_cast<const ItemInfo&>(*row.record));
    }
  }
  return S_OK;
}

}  // namespace korvex::cli
