#include "tasks/StoreWalk.h"

#include "store/DataStore.h"

namespace korvex {

HRESULT FindByAddress(DataStore& store, const std::string& uri, bool& isFolder, ContainerInfo& folder,
                      ItemInfo& file) {
  ContainerInfo above = store.RootInfo();
  if (uri.compare(0, above.uri.size(), above.uri) != 0) return HR_FILE_NOT_FOUND;
  for (;;) {
    if (store.GetContainerInfo(uri, folder)) {
      isFolder = true;
      return S_OK;
    }
    if (store.GetItemInfo(uri, file)) {
      isFolder = false;
      return S_OK;
    }
    const EntryCounts counts = store.GetCounts(above, false);
    if (Failed(counts.status)) return counts.status;
    const std::size_t end = uri.find('/', above.uri.size());
    if (end == std::string::npos) {
      // The entry belongs to `above`: its file pages may not be fetched yet.
      for (std::int32_t i = counts.containers; i < counts.containers + counts.items; ++i) {
        if (store.GetItemInfo(uri, file)) break;
        (void)store.GetEntryAt(above, i, false);
      }
      isFolder = false;
      return store.GetItemInfo(uri, file) ? S_OK : HR_FILE_NOT_FOUND;
    }
    if (!store.GetContainerInfo(uri.substr(0, end + 1), above)) return HR_FILE_NOT_FOUND;
  }
}

bool ListingEndsBefore(DataStore& store, const ContainerInfo& folder, std::int32_t position) {
  const EntryCounts counts = store.GetCounts(folder, false);
  return Succeeded(counts.status) && position >= counts.containers + counts.items;
}

}  // namespace korvex
