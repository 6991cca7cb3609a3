// Readers and a writer share one DataStore over real files. Run under
// ThreadSanitizer as well: the store's one lock must cover every cache
// access, and no thread may hold it while it waits for the back end.

#include "store/DataStore.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

namespace korvex {
namespace {

namespace fs = std::filesystem;

class DataStoreConcurrency : public testing::TempHomeTest {};

TEST_F(DataStoreConcurrency, ReadersAndAWriterKeepTheCacheConsistent) {
  const fs::path desktop = Home() / "desktop";
  constexpr int kFiles = 150;
  for (int i = 0; i < kFiles; ++i) testing::WriteText(desktop / ("f" + std::to_string(i)), "x");
  DataStore store(std::make_unique<ShellFolderDataStoreRemote>("Desktop", desktop.string()),
                  kSortSizeAscending, /*sortNamesOnClient=*/true);
  const ContainerInfo root = store.RootInfo();

  std::atomic<int> unexpected{0};
  auto reader = [&](int seed) {
    for (int round = 0; round < 60; ++round) {
      EntryCounts counts = store.GetCounts(root, false);
      // Between listing and counting another thread may drop the listing.
      if (counts.status == E_UNEXPECTED) continue;
      if (counts.status != S_OK) ++unexpected;
      const int rows = counts.containers + counts.items;
      for (int k = 0; k < 8 && rows > 0; ++k) {
        EntryAt row = store.GetEntryAt(root, (seed * 131 + round * 17 + k * 29) % rows, false);
        // The listing may shrink or vanish under a reader; both are reported.
        if (row.status != S_OK && row.status != E_INVALIDARG && row.status != E_UNEXPECTED)
          ++unexpected;
      }
      if (round % 7 == seed) store.InvalidateContainer(root);
      if (round % 11 == seed) (void)store.SortItems(root, kFiles / 2, false);
      ContainerInfo info;
      (void)store.GetParentInfo("/w" + std::to_string(seed) + "/", info);
    }
  };
  auto writer = [&] {
    for (int round = 0; round < 25; ++round) {
      ContainerInfo folder;
      folder.name = "w" + std::to_string(round % 4);
      HRESULT hr = store.CreateContainer(root, folder);
      if (Failed(hr) && hr != HR_ALREADY_EXISTS) ++unexpected;
      const std::string renamed = "r" + std::to_string(round);
      if (Failed(store.RenameContainer(folder, renamed))) ++unexpected;
      folder.name = renamed;
      folder.uri = "/" + renamed + "/";
      if (Failed(store.DeleteContainer(folder))) ++unexpected;
    }
  };
  std::vector<std::thread> threads;
  for (int seed = 0; seed < 3; ++seed) threads.emplace_back(reader, seed);
  threads.emplace_back(writer);
  for (auto& t : threads) t.join();

  EXPECT_EQ(unexpected.load(), 0);
  store.InvalidateContainer(root);
  EntryCounts counts = store.GetCounts(root, false);
  EXPECT_EQ(counts.status, S_OK);
  EXPECT_EQ(counts.items, kFiles);
  EXPECT_EQ(counts.containers, 1) << "only the Computer folder is left";
}

// A whole-folder page shorter than the count (the back end skipped an
// entry it could not describe, or lost one) is the folder as it stands:
// kept, with fewer rows, instead of failing the whole listing.
TEST_F(DataStoreConcurrency, AWholeFolderPageThatCameBackShortIsKept) {
  const fs::path folder = Home() / "few";
  for (const char* name : {"a", "b", "c"}) testing::WriteText(folder / name, "x");
  DataStore store(std::make_unique<ShellFolderDataStoreRemote>("Few", folder.string()), kSortSizeAscending, true);
  const ContainerInfo root = store.RootInfo();
  ASSERT_EQ(store.GetCounts(root, false).items, 3);
  fs::remove(folder / "b");
  ASSERT_EQ(store.SortItems(root, 3, false), S_OK);
  const EntryCounts counts = store.GetCounts(root, false);
  EXPECT_EQ(counts.items, 2);
  for (int row = 0; row < counts.containers + counts.items; ++row)
    EXPECT_EQ(store.GetEntryAt(root, row, false).status, S_OK) << row;
}

}  // namespace
}  // namespace korvex
