// DataStore over the service views against a real korvexd: paging checked on
// the wire, every edit followed by the cache state it must leave, and the
// roots of the views.

#include "ServiceSession_support.h"
#include "emulator/ServiceClient.h"
#include "service/KorvexDataStoreUploadDisk.h"
#include "service/KorvexDataStoreViews.h"
#include "store/DataStore.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>


namespace korvex::test {
namespace {

class DataStoreService : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error();
    client_ = std::make_unique<ServiceClient>(korvexd_);
    ASSERT_TRUE(client_->Login("alice", "alice-demo-1"));
    LoginAnswer login = LogIn(korvexd_.BaseUrl(), "alice", "alice-demo-1");
    ASSERT_EQ(login.status, S_OK) << login.body;
    service_ = std::make_unique<KorvexDataStoreRemote>(korvexd_.BaseUrl(), korvexd_.BaseUrl(), login.authPro,
                                                       login.phpSessionId, "alice");
    ASSERT_EQ(service_->InitStatus(), S_OK);
    myDisk_ = std::make_unique<DataStore>(
        std::make_unique<KorvexDataStoreMyDisk>(service_.get(), client_->RootDir(), 0xFFFF, 0, "Mine"),
        kSortNameAscending);
  }
  void TearDown() override {
    myDisk_.reset();  // views go before the back end they borrow
    service_.reset();
    TempHomeTest::TearDown();
  }

  // Counts the requests whose path matches `regex` from now on (a fault
  // that never fires).
  void Watch(const std::string& regex) {
    auto res = client_->PostRaw("/admin/faults", {}, "delay=1,path=" + regex + ",nth=1000000", "text/plain");
    ASSERT_TRUE(res && res->status == 200);
  }
  long long Seen(const std::string& regex) {
    Json faults = client_->GetJson("/admin/faults")["faults"];
    for (const Json& f : faults)
      if (f["path"] == regex) return f["seen"].get<long long>();
    return -1;
  }

  void Upload(std::int64_t dir, const std::string& name, const std::string& data = "x") {
    auto [answer, token] = client_->PreUpload(dir, name, data.size());
    const std::string id = answer.substr(0, answer.find_first_not_of("0123456789"));
    ASSERT_FALSE(id.empty()) << answer;
    ASSERT_TRUE(client_->UploadBlock(answer, token, 0, data));
    ASSERT_EQ(client_->UploadOver(id, token), "1");
  }

  static ContainerInfo Known(DataStore& store, const std::string& uri) {
    ContainerInfo info;
    EXPECT_TRUE(store.GetContainerInfo(uri, info)) << uri;
    return info;
  }
  // Lists `uri` and returns every row's record.
  static std::vector<std::unique_ptr<ObjectInfo>> Rows(DataStore& store, const std::string& uri) {
    ContainerInfo folder = Known(store, uri);
    EntryCounts counts = store.GetCounts(folder, false);
    EXPECT_EQ(counts.status, S_OK) << uri;
    std::vector<std::unique_ptr<ObjectInfo>> rows;
    for (int i = 0; i < counts.containers + counts.items; ++i) {
      EntryAt row = store.GetEntryAt(folder, i, false);
      EXPECT_EQ(row.status, S_OK) << uri << " row " << i;
      rows.push_back(std::move(row.record));
    }
    return rows;
  }

  KorvexdProcess korvexd_;
  std::unique_ptr<ServiceClient> client_;
  std::unique_ptr<KorvexDataStoreRemote> service_;
  std::unique_ptr<DataStore> myDisk_;
};

TEST_F(DataStoreService, FetchesThePageAroundTheRowOnTheWire) {
  const std::int64_t many = client_->MakeDir(client_->RootDir(), "Many");
  char name[16];
  for (int i = 0; i < 100; ++i) {
    std::snprintf(name, sizeof name, "f%03d", i);
    Upload(many, name);
  }
  const std::string prefix = "^/file/listrandom/" + std::to_string(many) + "/LOGO/[^/]*/";
  Watch(prefix + "0/31$");
  Watch(prefix + "69/31$");
  Rows(*myDisk_, "/Mine/");
  Watch("^/file/listrandom/");

  ContainerInfo folder = Known(*myDisk_, "/Mine/Many/");
  EntryCounts counts = myDisk_->GetCounts(folder, false);
  ASSERT_EQ(counts.status, S_OK);
  EXPECT_EQ(counts.containers, 0);
  EXPECT_EQ(counts.items, 100);
  EXPECT_EQ(Seen("^/file/listrandom/"), 0) << "counting fetches no item";

  EntryAt first = myDisk_->GetEntryAt(folder, 0, false);
  ASSERT_EQ(first.status, S_OK);
  EXPECT_EQ(static_cast<ItemInfo&>(*first.record).uri, "/Mine/Many/f000");
  EntryAt last = myDisk_->GetEntryAt(folder, 99, false);
  ASSERT_EQ(last.status, S_OK);
  EXPECT_EQ(static_cast<ItemInfo&>(*last.record).name, "f099");
  EXPECT_EQ(Seen(prefix + "0/31$"), 1);
  EXPECT_EQ(Seen(prefix + "69/31$"), 1);

  EXPECT_EQ(myDisk_->GetEntryAt(folder, 30, false).status, S_OK);
  EXPECT_EQ(myDisk_->GetEntryAt(folder, 69, false).status, S_OK);
  EXPECT_EQ(Seen("^/file/listrandom/"), 2) << "fetched rows come from the cache";
  EXPECT_EQ(myDisk_->GetEntryAt(folder, 50, false).status, S_OK);
  EXPECT_EQ(Seen("^/file/listrandom/"), 3);
  EXPECT_FALSE(myDisk_->AreAllItemsFetched("/Mine/Many/"));
  EXPECT_EQ(myDisk_->GetEntryAt(folder, 100, false).status, E_INVALIDARG);
  ContainerInfo unknown;
  unknown.uri = "/Mine/Nowhere/";
  EXPECT_EQ(myDisk_->GetCounts(unknown, false).status, E_UNEXPECTED);

  // A file deleted on the service after the count leaves the whole-folder
  // page short: the store keeps the page as the folder now stands and tells
  // its listeners, instead of keeping a row that can never be fetched.
  const std::int64_t few = client_->MakeDir(client_->RootDir(), "Few");
  for (const char* each : {"a", "b", "c"}) Upload(few, each);
  myDisk_->InvalidateContainer(Known(*myDisk_, "/Mine/"));
  Rows(*myDisk_, "/Mine/");
  ContainerInfo small = Known(*myDisk_, "/Mine/Few/");
  ASSERT_EQ(myDisk_->GetCounts(small, false).items, 3);
  Json listed = client_->GetJson("/file/listrandom/" + std::to_string(few) + "/LOGO/name/0/3");
  ASSERT_EQ(client_->PostJson("/file/delete", "fileid=" + listed["list"][0]["fileid"].get<std::string>())["result"], 1);
  int told = 0;
  const std::uint64_t listener = myDisk_->AddChangeListener([&](const std::string& uri) { told += uri == "/Mine/Few/"; });
  EXPECT_EQ(myDisk_->GetEntryAt(small, 0, false).status, S_OK);
  myDisk_->RemoveChangeListener(listener);
  EXPECT_EQ(told, 1);
  EXPECT_EQ(Rows(*myDisk_, "/Mine/Few/").size(), 2u);
}

TEST_F(DataStoreService, EditsLeaveTheCacheAsTheServiceIs) {
  DataStore& store = *myDisk_;
  Rows(store, "/Mine/");
  const ContainerInfo root = Known(store, "/Mine/");

  SCOPED_TRACE("create");
  ContainerInfo work;
  work.name = "Work";
  ASSERT_EQ(store.CreateContainer(root, work), S_OK);
  EXPECT_EQ(work.uri, "/Mine/Work/");
  EXPECT_EQ(work.privilege, root.privilege);
  ContainerInfo twice;
  twice.name = "Work";
  EXPECT_EQ(store.CreateContainer(root, twice), S_OK) << "an existing directory is answered with its id";
  int works = 0;
  for (const auto& row : Rows(store, "/Mine/"))
    works += row->kind == kObjectContainer && static_cast<ContainerInfo&>(*row).name == "Work";
  EXPECT_EQ(works, 1) << "no second slot for the same directory";
  ContainerInfo sub;
  sub.name = "Sub";
  ASSERT_EQ(store.CreateContainer(Known(store, "/Mine/Work/"), sub), S_OK);
  EXPECT_FALSE(store.IsListed("/Mine/Work/")) << "creating never lists the parent";
  Rows(store, "/Mine/Work/");
  Upload(boost::any_cast<std::uint64_t>(Known(store, "/Mine/Work/Sub/").tag), "a.txt", "abc");
  ASSERT_EQ(Rows(store, "/Mine/Work/Sub/").size(), 1u);

  SCOPED_TRACE("rename a directory with a cached subtree");
  ASSERT_EQ(store.RenameContainer(Known(store, "/Mine/Work/"), "Play"), S_OK);
  EXPECT_FALSE(store.ContainerExists("/Mine/Work/"));
  ItemInfo file;
  ASSERT_TRUE(store.GetItemInfo("/Mine/Play/Sub/a.txt", file));
  EXPECT_TRUE(store.IsListed("/Mine/Play/Sub/"));

  SCOPED_TRACE("rename, copy, move and delete a file");
  ASSERT_EQ(store.RenameItem(file, "b.txt"), S_OK);
  ASSERT_TRUE(store.GetItemInfo("/Mine/Play/Sub/b.txt", file));
  ContainerInfo play = Known(store, "/Mine/Play/");
  ContainerInfo subInfo = Known(store, "/Mine/Play/Sub/");
  ItemInfo copy = file;
  ASSERT_EQ(store.CopyItem(copy, subInfo, play, 0), S_OK);
  EXPECT_EQ(copy.uri, "/Mine/Play/b.txt");
  EXPECT_FALSE(store.IsListed("/Mine/Play/")) << "the target is listed afresh";
  ASSERT_EQ(Rows(store, "/Mine/Play/").size(), 2u);  // Sub and b.txt
  Rows(store, "/Mine/Play/Sub/");
  ItemInfo moving;
  ASSERT_TRUE(store.GetItemInfo("/Mine/Play/Sub/b.txt", moving));
  EXPECT_EQ(store.MoveItem(moving, Known(store, "/Mine/Play/Sub/"), root, 0), S_OK);
  EXPECT_EQ(moving.uri, "/Mine/b.txt");
  EXPECT_FALSE(store.IsListed("/Mine/")) << "the target's listing, and all below it, is dropped";
  Rows(store, "/Mine/");
  Rows(store, "/Mine/Play/");
  EXPECT_EQ(store.GetCounts(Known(store, "/Mine/Play/Sub/"), false).items, 0);
  ItemInfo copied;
  ASSERT_TRUE(store.GetItemInfo("/Mine/Play/b.txt", copied));
  ASSERT_EQ(store.DeleteItem(copied), S_OK);
  EXPECT_FALSE(store.GetItemInfo("/Mine/Play/b.txt", copied));

  SCOPED_TRACE("move and delete a directory");
  ContainerInfo moved = Known(store, "/Mine/Play/Sub/");
  ASSERT_EQ(store.MoveContainer(moved, Known(store, "/Mine/Play/"), root, 0), S_OK);
  EXPECT_EQ(moved.uri, "/Mine/Sub/");
  EXPECT_FALSE(store.ContainerExists("/Mine/Play/Sub/"));
  EXPECT_FALSE(store.IsListed("/Mine/"));
  Rows(store, "/Mine/");
  ASSERT_EQ(store.DeleteContainer(Known(store, "/Mine/Play/")), S_OK);
  EXPECT_FALSE(store.ContainerExists("/Mine/Play/"));
  const Json listing = client_->GetJson("/directory/listandcount/" + std::to_string(client_->RootDir()));
  for (const Json& entry : listing["list"]) EXPECT_NE(entry["dirname"], "Play");
  ContainerInfo gone;
  gone.name = "Gone";
  gone.uri = "/Mine/Gone/";
  gone.tag = std::uint64_t{999999};
  EXPECT_LT(store.DeleteContainer(gone), 0) << "a refusal comes back unchanged";
}

TEST_F(DataStoreService, ViewsPresentTheirRoots) {
  DataStore shares(std::make_unique<KorvexDataStoreShare>(service_.get(), client_->ShareDir(), 0, "Shared"),
                   kSortNameAscending);
  const ContainerInfo sharedRoot = shares.RootInfo();
  EXPECT_EQ(sharedRoot.uri, "/Shared/");
  EXPECT_EQ(sharedRoot.kind, kContainerShared);
  EXPECT_EQ(sharedRoot.privilege, 0u);
  auto rows = Rows(shares, "/Shared/");
  ASSERT_EQ(rows.size(), 1u);
  const auto& team = static_cast<ContainerInfo&>(*rows[0]);
  EXPECT_EQ(team.name, "Team Share(Upload/Download)");
  EXPECT_EQ(team.kind, kContainerShared) << "the service lists it as ordinary";
  Rows(shares, team.uri);
  EXPECT_EQ(Known(shares, team.uri + "Drafts/").kind, kContainerShared);

  DataStore sync(std::make_unique<KorvexDataStoreSync>(service_.get(), "Sync", client_->RootDir()),
                 kSortNameAscending);
  EXPECT_EQ(sync.RootInfo().uri, "/Sync/");
  EXPECT_EQ(sync.RootInfo().privilege, 0x8A0u);
  Rows(sync, "/Sync/");
  EXPECT_EQ(Known(sync, "/Sync/Documents/").kind, kContainerOrdinary);
  DataStore vezo(std::make_unique<KorvexDataStoreVEZO>(service_.get(), "VEZO", client_->RootDir()),
                 kSortNameAscending);
  Rows(vezo, "/VEZO/");
  EXPECT_EQ(Known(vezo, "/VEZO/Documents/").kind, kContainerVezo);

  DataStore orphan(std::make_unique<KorvexDataStoreMyDisk>(nullptr, 1, 0xFFFF, 0, "Orphan"), kSortNameAscending);
  EXPECT_EQ(orphan.GetCounts(orphan.RootInfo(), false).status, HR_NO_INNER_BACK_END);

  Watch("^/");
  DataStore upload(std::make_unique<KorvexDataStoreUploadDisk>(korvexd_.BaseUrl(), korvexd_.BaseUrl(), "x", "y",
                                                                "Inbox", 42, "DEMO2026"),
                   kSortNameAscending);
  const ContainerInfo inbox = upload.RootInfo();
  EXPECT_EQ(inbox.privilege, kPrivilegeUpload);
  EXPECT_FALSE(inbox.refreshable);
  EntryCounts counts = upload.GetCounts(inbox, false);
  EXPECT_EQ(counts.status, S_OK);
  EXPECT_EQ(counts.containers + counts.items, 0);
  upload.InvalidateContainer(inbox);
  EXPECT_TRUE(upload.IsListed("/")) << "the upload root is never dropped";
  EXPECT_EQ(upload.DeleteContainer(inbox), E_ACCESSDENIED);
  ContainerInfo folder;
  folder.name = "new";
  EXPECT_EQ(upload.CreateContainer(inbox, folder), E_ACCESSDENIED);
  EXPECT_EQ(Seen("^/"), 0) << "the upload disk sent nothing";
}

TEST_F(DataStoreService, ACancelledCallGivesUpItsRequestAndTheBackEndGoesOn) {
  using namespace std::chrono_literals;
  auto fault = client_->PostRaw("/admin/faults", {}, "delay=4000,path=^/directory/listandcount/,count=1", "text/plain");
  ASSERT_TRUE(fault && fault->status == 200);
  IDataStoreRemote& remote = *myDisk_->Remote();
  const ContainerInfo root = myDisk_->RootInfo();
  AsyncResult* result = nullptr;
  ASSERT_EQ(remote.ListSubContainersAndItemCount(root, &result), S_OK);
  ASSERT_NE(result, nullptr);
  std::this_thread::sleep_for(300ms);  // on the wire, held back by the delay
  ASSERT_EQ(remote.CancelCall(result), S_OK);
  EXPECT_EQ(result->State(), kAsyncCancelled);
  EXPECT_EQ(ReadOutcome(*result), E_FAIL);
  // The request lets go of the result once its completion has run: long
  // before the answer would have come when the request was really given up.
  for (int wait = 0; wait < 250 && result->RefCount() > 1; ++wait) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(result->RefCount(), 1) << "the request still runs";
  EXPECT_EQ(result->State(), kAsyncCancelled);
  result->Release();
  // The connection is not left broken: the next listing is answered.
  EXPECT_EQ(myDisk_->GetCounts(root, false).status, S_OK);
}

}  // namespace
}  // namespace korvex::test
