// Backup folders go up to korvexd through the sync service, the sync task,
// the task manager and both stores: a first run copies the tree, a second
// one sends only what is new, changed to the second, or held only partly by
// the service, and nothing is ever deleted on either side.

#include "ServiceSession_support.h"
#include "foundation/Registry.h"
#include "platform/FileTime.h"
#include "service/KorvexDataStoreViews.h"
#include "store/DataStore.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "sync/SyncService.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/StoreWalk.h"
#include "tasks/TaskManager.h"
#include "tasks/TransferStoreContext.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <regex>
#include <thread>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using korvex::testing::ReadText;
using korvex::testing::WriteText;

class SyncBackup : public ServiceSession {
 protected:
  void SetUp() override {
    ServiceSession::SetUp();
    LogMgr::Get().SetThreshold(kLogInfo);
    const std::uint64_t rootId = boost::any_cast<std::uint64_t>(root_.tag);
    auto makeService = [this, rootId] {
      return std::make_shared<DataStore>(
          std::make_unique<KorvexDataStoreMyDisk>(store_.get(), rootId, kPrivilegeAll, 0, "disk"), 1);
    };
    auto makeLocal = [] {
      return std::make_shared<DataStore>(std::make_unique<ShellFolderDataStoreRemote>("Computer", "/"), 1, true);
    };
    context_ = std::make_unique<TransferStoreContext>(makeService(), makeLocal());
    tasks_ = std::make_unique<BinaryFileTaskStore>("alice@demo", *context_);
    manager_ = std::make_unique<TaskManager>(*tasks_);
    ASSERT_EQ(manager_->Start(), S_OK);
    SyncServiceOptions options;
    options.account = "alice@demo";
    options.makeServiceStore = makeService;
    options.makeLocalStore = makeLocal;
    sync_ = std::make_unique<SyncService>(*manager_, options);
    check_ = makeService();
  }
  void TearDown() override {
    sync_.reset();
    manager_.reset();
    tasks_.reset();
    context_.reset();
    check_.reset();
    ServiceSession::TearDown();
  }

  /// Runs one backup and waits (at most 120 s) for every family it made.
  std::size_t RunBackup() {
    const std::vector<std::uint32_t> ids = sync_->Synchronize();
    for (std::uint32_t id : ids) {
      const auto family = manager_->GetFamily(id);
      int i = 0;
      for (; i < 6000 && family->state != FamilyState::kCompleted && family->state != FamilyState::kStopped; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      EXPECT_EQ(family->state.load(), FamilyState::kCompleted) << std::hex << family->lastError.load() << log_->All();
    }
    return ids.size();
  }
  /// The service's record of `address`, read through a fresh store.
  bool ServiceFile(const std::string& address, ItemInfo& file) {
    auto fresh = std::make_shared<DataStore>(std::make_unique<KorvexDataStoreMyDisk>(
                                                 store_.get(), boost::any_cast<std::uint64_t>(root_.tag),
                                                 kPrivilegeAll, 0, "disk"),
                                             1);
    bool isFolder = false;
    ContainerInfo folder;
    return Succeeded(FindByAddress(*fresh, fresh->RootInfo().uri + address.substr(1), isFolder, folder, file)) &&
           !isFolder;
  }
  static void SetTime(const fs::path& path, std::chrono::system_clock::time_point when) {
    fs::last_write_time(path, std::chrono::file_clock::from_sys(when));
  }

  std::unique_ptr<TransferStoreContext> context_;
  std::unique_ptr<BinaryFileTaskStore> tasks_;
  std::unique_ptr<TaskManager> manager_;
  std::unique_ptr<SyncService> sync_;
  std::shared_ptr<DataStore> check_;
};

TEST_F(SyncBackup, SecondRunSendsOnlyNewChangedAndPartialFilesAndDeletesNothing) {
  using namespace std::chrono;
  const fs::path src = Home() / "src";
  const auto t0 = floor<seconds>(system_clock::now()) - hours(2);
  for (const char* name : {"a.txt", "sub/b.txt", "sub/deep/c.txt", "gone.txt"}) {
    WriteText(src / name, std::string("first ") + name);
    SetTime(src / name, t0);
  }
  fs::create_directories(Home() / "paused");
  WriteText(Home() / "paused" / "p.txt", "paused");
  fs::create_directories(Home() / "vanished");
  ASSERT_EQ(sync_->AddFolder(src.string(), "/Backup/", 0), S_OK);
  ASSERT_EQ(sync_->AddFolder(Home().string() + "/paused/", "/Paused/", 0), S_OK);
  ASSERT_EQ(sync_->AddFolder((Home() / "vanished").string(), "/Vanished/", 0), S_OK);
  EXPECT_EQ(sync_->AddFolder(src.string() + "/", "/Other/", 0), HR_ALREADY_EXISTS);
  EXPECT_EQ(sync_->AddFolder((Home() / "paused").string(), "/Backup/", 0), HR_ALREADY_EXISTS);
  ASSERT_EQ(sync_->SetPaused((Home() / "paused").string(), true), S_OK);
  fs::remove(Home() / "vanished");

  // The service folder is missing: the first run makes it, then the tree.
  EXPECT_EQ(RunBackup(), 1u) << "the paused pair and the vanished one are skipped";
  ItemInfo file;
  for (const char* name : {"a.txt", "sub/b.txt", "sub/deep/c.txt", "gone.txt"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(ServiceFile(std::string("/Backup/") + name, file));
    EXPECT_EQ(file.size, ReadText(src / name).size());
    EXPECT_EQ(file.partial, 0u);
  }
  EXPECT_FALSE(ServiceFile("/Paused/p.txt", file));
  // The vanished folder's pair is kept in the file for when it returns.
  EXPECT_EQ(DecodeSyncConfig(ReadText(SyncConfigPath("alice@demo"))).folders.size(), 3u);
  EXPECT_TRUE(std::regex_match(sync_->LastRunText(), std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d)")))
      << sync_->LastRunText();

  const std::size_t logMark = log_->All().size();
  WriteText(src / "a.txt", "changed one second later");
  SetTime(src / "a.txt", t0 + seconds(1));
  WriteText(src / "sub/b.txt", "changed within the same second");
  SetTime(src / "sub/b.txt", t0 + milliseconds(600));
  WriteText(src / "new.txt", "new");
  WriteText(src / "newdir/inner/d.txt", "in a new folder");
  fs::remove(src / "sub/deep/c.txt");
  bool isFolder = false;
  ContainerInfo backup;
  ASSERT_EQ(FindByAddress(*check_, check_->RootInfo().uri + "Backup/gone.txt", isFolder, backup, file), S_OK);
  ASSERT_EQ(check_->DeleteItem(file), S_OK);
  ASSERT_EQ(FindByAddress(*check_, check_->RootInfo().uri + "Backup/", isFolder, backup, file), S_OK);
  // A copy the service holds only partly is sent again although it is newer.
  WriteText(src / "half.txt", "half of it");
  SetTime(src / "half.txt", t0);
  ItemInfo half;
  half.name = "half.txt";
  half.size = 10;
  half.modifyTime = FileTimeFromSystemClock(t0 + hours(1));
  ASSERT_EQ(check_->CreateItem(backup, half, 1), S_OK);
  ASSERT_TRUE(ServiceFile("/Backup/half.txt", file));
  ASSERT_EQ(file.partial, 1u);

  EXPECT_EQ(RunBackup(), 1u);
  const std::string log = log_->All().substr(logMark);
  for (const char* sent : {"can't find in server, create file task " , "local file has been updated"}) {
    EXPECT_NE(log.find(sent), std::string::npos) << sent;
  }
  for (const char* name : {"/new.txt", "/newdir/inner/d.txt", "/gone.txt"}) {
    SCOPED_TRACE(name);
    EXPECT_NE(log.find("can't find in server, create file task " + src.string() + name), std::string::npos) << log;
  }
  EXPECT_NE(log.find("create file task: " + src.string() + "/a.txt"), std::string::npos) << log;
  EXPECT_NE(log.find("create file task: " + src.string() + "/half.txt"), std::string::npos) << log;
  EXPECT_NE(log.find("complete: 1"), std::string::npos) << log;
  EXPECT_EQ(log.find("sub/b.txt"), std::string::npos) << "equal seconds must not upload\n" << log;
  EXPECT_EQ(log.find("file task " + src.string() + "/sub/deep"), std::string::npos) << log;

  for (const char* name : {"a.txt", "new.txt", "newdir/inner/d.txt", "gone.txt", "half.txt"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(ServiceFile(std::string("/Backup/") + name, file));
    EXPECT_EQ(file.size, ReadText(src / name).size());
    EXPECT_EQ(file.partial, 0u);
  }
  ASSERT_TRUE(ServiceFile("/Backup/sub/b.txt", file));
  EXPECT_EQ(file.size, std::string("first sub/b.txt").size()) << "the same second is not newer";
  EXPECT_TRUE(ServiceFile("/Backup/sub/deep/c.txt", file)) << "a file deleted locally stays on the service";
  EXPECT_TRUE(fs::exists(src / "sub/b.txt"));
}

}  // namespace
}  // namespace korvex::test
