// The local store through DataStore, on real files in a temporary folder
// that stands in for the home folder.

#include "foundation/Registry.h"
#include "store/DataStore.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "support/TempHome.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::WriteText;

class LocalStore : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    desktop_ = Home() / "desktop";
    fs::create_directories(desktop_);
    Reopen();
  }

  void Reopen() {
    store_.reset();
    auto remote = std::make_unique<ShellFolderDataStoreRemote>("Desktop", desktop_.string());
    // As behind a pane; a transfer's store lists hidden files always.
    remote->FollowShowHiddenSetting(true);
    store_ = std::make_unique<DataStore>(std::move(remote), kSortNameAscending, /*sortNamesOnClient=*/true);
  }

  ContainerInfo Folder(const std::string& uri) {
    ContainerInfo info;
    EXPECT_TRUE(store_->GetContainerInfo(uri, info)) << uri;
    return info;
  }

  // Every row of a container: "name" for folders, "name|partial|locked" for items.
  std::vector<std::string> Rows(const std::string& uri) {
    ContainerInfo folder = Folder(uri);
    EntryCounts counts = store_->GetCounts(folder, false);
    EXPECT_EQ(counts.status, S_OK) << uri;
    std::vector<std::string> rows;
    for (std::int32_t i = 0; i < counts.containers + counts.items; ++i) {
      EntryAt row = store_->GetEntryAt(folder, i, false);
      EXPECT_EQ(row.status, S_OK);
      if (!row.record) continue;
      if (row.record->kind == kObjectContainer) {
        rows.push_back(static_cast<ContainerInfo&>(*row.record).name);
      } else {
        const auto& item = static_cast<ItemInfo&>(*row.record);
        rows.push_back(item.name + "|" + std::to_string(item.partial) + "|" + std::to_string(item.locked));
      }
    }
    return rows;
  }

  // Runs one back-end call to the end and returns its status.
  template <class Start>
  HRESULT Call(Start start, boost::any* payload = nullptr) {
    AsyncResult* result = nullptr;
    HRESULT hr = start(store_->Remote(), &result);
    if (Failed(hr) || result == nullptr) return hr;
    result->Wait();
    hr = ReadOutcome(*result);
    if (payload) *payload = result->Payload();
    else if (result->State() == kAsyncSucceeded) DeletePayloadObjects(*result);
    result->Release();
    return hr;
  }

  fs::path desktop_;
  std::unique_ptr<DataStore> store_;
};

TEST_F(LocalStore, ListsFoldersFilesAndTheComputerFolder) {
  fs::create_directories(desktop_ / "Docs");
  fs::create_directories(desktop_ / ".cache");
  fs::create_directories(desktop_ / "real");
  WriteText(desktop_ / "report.doc.TMP", "the user's own");
  WriteText(desktop_ / ".report.doc.korvex-7.part", "half");
  WriteText(desktop_ / "data.LOCK", "sealed");
  WriteText(desktop_ / ".profile", "hidden");
  WriteText(desktop_ / "real" / "inside.txt", "x");
  fs::create_symlink(desktop_ / "data.LOCK", desktop_ / "shortcut");
  fs::create_directory_symlink(desktop_ / "real", desktop_ / "looped");

  std::vector<std::string> rows = Rows("/");
  ASSERT_EQ(rows.size(), 5u) << ::testing::PrintToString(rows);
  EXPECT_EQ(rows[0], "Computer");
  std::sort(rows.begin() + 1, rows.begin() + 3);
  EXPECT_EQ(rows[1], "Docs");
  EXPECT_EQ(rows[2], "real");
  // Items sorted by name on the client: data.LOCK, report.doc.TMP, which is
  // a file like any other, not a partial download.
  EXPECT_EQ(rows[3], "data.LOCK|0|1");
  EXPECT_EQ(rows[4], "report.doc.TMP|0|0");

  ContainerInfo computer = Folder("/Computer/");
  EXPECT_EQ(computer.kind, kContainerRoot);
  EXPECT_EQ(computer.privilege, kPrivilegeVirtual);
  std::vector<std::string> disks = Rows("/Computer/");
  ASSERT_FALSE(disks.empty());
  EXPECT_EQ(disks[0], "File System (\xE2\x88\x95)");
  EXPECT_FALSE(Rows("/Computer/File System (\xE2\x88\x95)/").empty());

  // Hidden entries appear once the user asks for them.
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, kShowHiddenFilesValue, 1));
  store_->InvalidateContainer(Folder("/"));
  rows = Rows("/");
  EXPECT_NE(std::find(rows.begin(), rows.end(), ".cache"), rows.end());
  EXPECT_NE(std::find(rows.begin(), rows.end(), ".profile|0|0"), rows.end());
  EXPECT_NE(std::find(rows.begin(), rows.end(), ".report.doc.korvex-7.part|1|0"), rows.end())
      << "only a download's own partial file is unfinished";
  EXPECT_EQ(rows.size(), 8u) << "links are never listed";
  // A transfer's store sends whole trees, hidden files included, whatever
  // the pane shows.
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, kShowHiddenFilesValue, 0));
  DataStore transfers(std::make_unique<ShellFolderDataStoreRemote>("Desktop", desktop_.string()), kSortNameAscending,
                      true);
  ContainerInfo top;
  ASSERT_TRUE(transfers.GetContainerInfo("/", top));
  const EntryCounts all = transfers.GetCounts(top, false);
  EXPECT_EQ(all.containers + all.items, 8);
}

TEST_F(LocalStore, MapsAddressesToPaths) {
  auto* local = static_cast<ShellFolderDataStoreRemote*>(store_->Remote());
  const std::string desktop = desktop_.string();
  const struct {
    const char* uri;
    std::string path;
  } cases[] = {
      {"/", desktop},
      {"/Docs/a.txt", desktop + "/Docs/a.txt"},
      {"/Computer/", ""},
      {"/Computer/File System (\xE2\x88\x95)/etc/", "/etc"},
      {"/Computer/File System (\xE2\x88\x95)/", "/"},
      {"/Docs/../../etc/", ""},
      {"/./x", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.uri);
    EXPECT_EQ(local->MapPath(c.uri), c.path);
  }
  ShellTree tree(desktop);
  EXPECT_TRUE(tree.IsProtectedPath("/"));
  EXPECT_TRUE(tree.IsProtectedPath("/proc"));
  EXPECT_TRUE(tree.IsProtectedPath(desktop));
  EXPECT_FALSE(tree.IsProtectedPath(desktop + "/Docs"));
  EXPECT_EQ(ShellTree::MountDisplayName("/media/usb"), "\xE2\x88\x95media\xE2\x88\x95usb");
}

// A download: partial file of the announced size, blocks, completion.
TEST_F(LocalStore, TransfersThroughAPartialFileAndKeepTheOldFileUntilComplete) {
  fs::create_directories(desktop_ / "Docs");
  WriteText(desktop_ / "Docs" / "old.txt", "old content");
  Rows("/");
  Rows("/Docs/");
  ContainerInfo docs = Folder("/Docs/");

  // The user's own "old.txt.tmp" is no partial file of anybody's.
  WriteText(desktop_ / "Docs" / "old.txt.tmp", "mine");
  ::chmod((desktop_ / "Docs" / "old.txt").c_str(), 0600);
  const fs::path partial = desktop_ / "Docs" / ".old.txt.korvex-5.part";
  ItemInfo item;
  item.name = "old.txt";
  item.reserved = partial.filename();
  item.size = 5;
  item.modifyTime = 130000000000000000ull;  // 2012-12-15
  EXPECT_EQ(store_->CreateItem(docs, item, /*overrideFlag=*/0), HR_ALREADY_EXISTS);
  EXPECT_EQ(ReadText(desktop_ / "Docs" / "old.txt"), "old content");
  EXPECT_FALSE(fs::exists(partial));

  ASSERT_EQ(store_->CreateItem(docs, item, /*overrideFlag=*/1), S_OK);
  EXPECT_EQ(item.uri, "/Docs/old.txt");
  EXPECT_EQ(item.partial, 1u);
  EXPECT_EQ(fs::file_size(partial), 5u);
  // Until the new file is complete, the old one is still there.
  EXPECT_EQ(ReadText(desktop_ / "Docs" / "old.txt"), "old content");

  auto data = std::make_unique<std::uint8_t[]>(5);
  std::memcpy(data.get(), "fresh", 5);
  EXPECT_EQ(Call([&](IDataStoreRemote* r, AsyncResult** out) {
              return r->WriteItem(item, std::move(data), 0, 0, 5, out);
            }),
            S_OK);
  ItemInfo plain = item;
  plain.partial = 0;
  EXPECT_EQ(store_->CompleteItem(plain, 0), E_UNEXPECTED) << "only a partial item completes";
  EXPECT_EQ(store_->CompleteItem(item, /*overrideFlag=*/0), HR_ALREADY_EXISTS);
  ASSERT_EQ(store_->CompleteItem(item, /*overrideFlag=*/1), S_OK);
  EXPECT_EQ(item.partial, 0u);
  EXPECT_EQ(ReadText(desktop_ / "Docs" / "old.txt"), "fresh");
  EXPECT_FALSE(fs::exists(partial));
  EXPECT_EQ(ReadText(desktop_ / "Docs" / "old.txt.tmp"), "mine");
  struct stat info {};
  ASSERT_EQ(::stat((desktop_ / "Docs" / "old.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mtime, 1355526400);
  EXPECT_EQ(info.st_mode & 07777, 0600u) << "the replaced file's mode is kept";

  boost::any payload;
  ASSERT_EQ(Call([&](IDataStoreRemote* r, AsyncResult** out) { return r->ReadItem(item, 1, 0, 3, out); },
                 &payload),
            S_OK);
  std::unique_ptr<std::uint8_t[]> read(boost::get<1>(boost::any_cast<ReadBufferPayload>(payload)));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(read.get()), 3), "res");
  EXPECT_EQ(Call([&](IDataStoreRemote* r, AsyncResult** out) { return r->ReadItem(item, 3, 0, 9, out); }),
            HR_FILE_SHRUNK)
      << "a read past the end says the file is shorter than asked";
  // Opening tells the file's size and time as they are now.
  ASSERT_EQ(Call([&](IDataStoreRemote* r, AsyncResult** out) { return r->OpenItem(item, false, out); }, &payload),
            S_OK);
  const auto opened = boost::any_cast<OpenItemPayload>(payload);
  EXPECT_EQ(boost::any_cast<LocalFileStamp>(boost::get<1>(opened)),
            (LocalFileStamp{5, 130000000000000000ull}));

  // A partial name longer than the file system holds is a name too long,
  // not the full or read-only disk of the general code.
  ItemInfo longer;
  longer.name = "long.txt";
  longer.reserved = "." + std::string(300, 'n') + ".korvex-6.part";
  longer.size = 1;
  EXPECT_EQ(store_->CreateItem(docs, longer, 1), MakeHResult(0x800700CEu));
}

// Names come from the service; none may make the store write elsewhere.
TEST_F(LocalStore, RefusesNamesThatLeaveTheFolder) {
  fs::create_directories(desktop_ / "Docs" / "inner");
  WriteText(desktop_ / "Docs" / "inner" / "keep.txt", "keep");
  Rows("/");
  Rows("/Docs/");
  ContainerInfo docs = Folder("/Docs/");
  ItemInfo keep;
  keep.name = "keep.txt";
  keep.uri = "/Docs/inner/keep.txt";
  ContainerInfo inner = Folder("/Docs/inner/");
  const auto before = ReadText(desktop_ / "Docs" / "inner" / "keep.txt");
  for (const std::string& name : {std::string(".."), std::string("."), std::string("../escape"),
                                  std::string("a/b"), std::string("nul\0x", 5), std::string()}) {
    SCOPED_TRACE(::testing::PrintToString(name));
    ContainerInfo folder;
    folder.name = name;
    EXPECT_EQ(store_->CreateContainer(docs, folder), HR_INVALID_NAME);
    ItemInfo item;
    item.name = name;
    item.size = 1;
    EXPECT_EQ(store_->CreateItem(docs, item, 1), HR_INVALID_NAME);
    EXPECT_EQ(store_->RenameItem(keep, name), HR_INVALID_NAME);
    EXPECT_EQ(store_->RenameContainer(inner, name), HR_INVALID_NAME);
  }
  EXPECT_TRUE(log_->Contains("refused the name"));
  EXPECT_EQ(ReadText(desktop_ / "Docs" / "inner" / "keep.txt"), before);
  EXPECT_FALSE(fs::exists(desktop_ / "escape.tmp"));
  EXPECT_FALSE(fs::exists(desktop_ / "escape"));
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(desktop_)) left.push_back(entry.path().filename());
  EXPECT_EQ(left, std::vector<std::string>{"Docs"});
}

TEST_F(LocalStore, EditsFolderTreesAndRefusesTheRoot) {
  fs::create_directories(desktop_ / "Work" / "Deep");
  WriteText(desktop_ / "Work" / "Deep" / "f.txt", "f");
  Rows("/");
  Rows("/Work/");
  Rows("/Work/Deep/");
  EXPECT_EQ(store_->DeleteContainer(Folder("/")), E_INVALIDARG);
  EXPECT_EQ(store_->DeleteContainer(Folder("/Computer/")), E_INVALIDARG);

  ContainerInfo made;
  made.name = "Made";
  ASSERT_EQ(store_->CreateContainer(Folder("/Work/"), made), S_OK);
  EXPECT_EQ(made.uri, "/Work/Made/");
  EXPECT_TRUE(fs::is_directory(desktop_ / "Work" / "Made"));
  ContainerInfo again;
  again.name = "Made";
  EXPECT_EQ(store_->CreateContainer(Folder("/Work/"), again), HR_ALREADY_EXISTS);
  EXPECT_EQ(again.uri, "/Work/Made/");

  EXPECT_EQ(store_->RenameContainer(Folder("/Work/Made/"), "Deep"), HR_ALREADY_EXISTS)
      << "a rename never replaces a folder";
  ASSERT_EQ(store_->RenameContainer(Folder("/Work/"), "Play"), S_OK);
  ItemInfo moved;
  EXPECT_TRUE(store_->GetItemInfo("/Play/Deep/f.txt", moved)) << "the cached subtree moved along";
  EXPECT_TRUE(fs::exists(desktop_ / "Play" / "Deep" / "f.txt"));

  ASSERT_EQ(store_->RenameItem(moved, "g.txt"), S_OK);
  ItemInfo renamed;
  ASSERT_TRUE(store_->GetItemInfo("/Play/Deep/g.txt", renamed));
  ASSERT_EQ(store_->DeleteItem(renamed), S_OK);
  EXPECT_FALSE(fs::exists(desktop_ / "Play" / "Deep" / "g.txt"));
  EXPECT_EQ(store_->GetCounts(Folder("/Play/Deep/"), false).items, 0);

  ASSERT_EQ(store_->DeleteContainer(Folder("/Play/")), S_OK);
  EXPECT_FALSE(fs::exists(desktop_ / "Play"));
  EXPECT_FALSE(store_->ContainerExists("/Play/"));
}

TEST_F(LocalStore, SortsItemsOnTheClient) {
  // GBK orders 啊 (B0A1) before 中 (D6D0); their UTF-8 bytes order the other way.
  const struct {
    const char* name;
    std::size_t size;
  } files[] = {{"b.TXT", 3}, {"A.doc", 1}, {"\xE4\xB8\xAD.txt", 4}, {"\xE5\x95\x8A.zip", 2}, {"noext", 5}};
  for (const auto& f : files) WriteText(desktop_ / f.name, std::string(f.size, 'x'));
  const struct {
    SortOrder order;
    std::vector<std::string> names;
  } cases[] = {
      {kSortNameAscending, {"A.doc", "b.TXT", "noext", "\xE5\x95\x8A.zip", "\xE4\xB8\xAD.txt"}},
      {kSortNameDescending, {"\xE4\xB8\xAD.txt", "\xE5\x95\x8A.zip", "noext", "b.TXT", "A.doc"}},
      {kSortSizeAscending, {"A.doc", "\xE5\x95\x8A.zip", "b.TXT", "\xE4\xB8\xAD.txt", "noext"}},
      {kSortSizeDescending, {"noext", "\xE4\xB8\xAD.txt", "b.TXT", "\xE5\x95\x8A.zip", "A.doc"}},
      {kSortExtensionAscending, {"noext", "A.doc", "b.TXT", "\xE4\xB8\xAD.txt", "\xE5\x95\x8A.zip"}},
  };
  ContainerInfo root = store_->RootInfo();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.order);
    store_->SetSortOrder(c.order);
    store_->InvalidateContainer(root);
    EntryCounts counts = store_->GetCounts(root, false);
    ASSERT_EQ(counts.items, 5);
    ASSERT_EQ(store_->SortItems(root, counts.items, false), S_OK);
    std::vector<std::string> names;
    for (std::int32_t i = 0; i < counts.items; ++i) {
      EntryAt row = store_->GetEntryAt(root, counts.containers + i, false);
      ASSERT_EQ(row.status, S_OK);
      names.push_back(static_cast<ItemInfo&>(*row.record).name);
    }
    EXPECT_EQ(names, c.names);
  }
  // Sorting a partly fetched listing keeps the unfetched rows last.
  store_->SetSortOrder(kSortSizeDescending);
  store_->InvalidateContainer(root);
  EntryCounts counts = store_->GetCounts(root, false);
  ASSERT_EQ(store_->SortItems(root, 2, false), S_OK);
  EXPECT_FALSE(store_->AreAllItemsFetched("/"));
  ItemInfo first, second;
  EntryAt row0 = store_->GetEntryAt(root, counts.containers, false);
  EntryAt row1 = store_->GetEntryAt(root, counts.containers + 1, false);
  ASSERT_TRUE(row0.record && row1.record);
  EXPECT_GE(static_cast<ItemInfo&>(*row0.record).size, static_cast<ItemInfo&>(*row1.record).size);
}

}  // namespace
}  // namespace korvex
