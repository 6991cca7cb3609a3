// Backup folders go up to korvexd through the sync service, the sync task,
// the task manager and both stores: a first run copies the tree, a second
// one sends only what is new, changed to the second, or held only partly by
// the service, and nothing is ever deleted on either side. Several pairs
// under one service folder never re-send unchanged files nor replace a newer
// service copy; a file the run cannot send is skipped and named, missing
// service folders are made again, and overlapping pairs are refused.

#include "ServiceSession_support.h"
#include "emulator/ServiceClient.h"
#include "foundation/Registry.h"
#include "platform/FileTime.h"
#include "service/KorvexDataStoreViews.h"
#include "store/DataStore.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "sync/SyncService.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/StoreWalk.h"
#include "tasks/TaskFamilyEventListener.h"
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
      // The run's record follows right after the family's end is told.
      BackupRun run;
      for (i = 0; i < 250 && sync_->RunOf(id, run) && run.outcome == BackupOutcome::kRunning; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return ids.size();
  }
  /// The service's MD5 of the file `address`; empty when there is none.
  std::string ServiceMd5(const std::string& address) {
    ItemInfo file;
    if (!ServiceFile(address, file)) return {};
    Outcome opened, md5;
    EXPECT_EQ(store_->OpenItem(file, false, opened.Out()), S_OK);
    EXPECT_EQ(opened.Wait(), S_OK);
    if (const auto* payload = opened.Payload<OpenItemPayload>()) file.extraTag = boost::get<1>(*payload);
    EXPECT_EQ(store_->GetItemMd5(file, md5.Out()), S_OK);
    EXPECT_EQ(md5.Wait(), S_OK);
    return md5.Payload<ItemMd5Payload>() ? boost::get<1>(*md5.Payload<ItemMd5Payload>()) : std::string();
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

/// Deletes a local file once the comparison of its folder is over and before
/// its upload starts, as a user may do at any time.
class DeleteAfterCompare final : public TaskFamilyEventListener {
 public:
  DeleteAfterCompare(std::string folder, fs::path file) : folder_(std::move(folder)), file_(std::move(file)) {}
  void OnTaskFamilyEvent(TaskFamily& family, FamilyEventKind, Task* task, TaskEvent event, ErrorDetail,
                         HRESULT) override {
    if (task != nullptr && event == TaskEvent::kEnded && task->Type() == TaskType::kSyncDirectory &&
        family.SourcePath() == folder_)
      fs::remove(file_);
  }

 private:
  std::string folder_;
  fs::path file_;
};

TEST_F(SyncBackup, FourPairsGoPastProblemFilesKeepNewerCopiesAndRemakeMissingFolders) {
  using namespace std::chrono;
  const auto t0 = floor<seconds>(system_clock::now()) - hours(3);
  const fs::path pairs = Home() / "pairs";
  const std::vector<std::string> names{"A", "B", "C", "D"};
  for (const std::string& name : names) {
    for (const char* file : {"one.txt", "two.txt", "sub/three.txt"}) {
      WriteText(pairs / name / file, name + " " + file);
      SetTime(pairs / name / file, t0);
    }
  }
  WriteText(pairs / "A" / "bad\\name.txt", "a name the service refuses");
  WriteText(pairs / "B" / "vanish.txt", "deleted after the walk");
  WriteText(pairs / "C" / "dst.txt", "the copy that goes up first");
  SetTime(pairs / "C" / "dst.txt", t0 + hours(1));
  for (const std::string& name : names)
    ASSERT_EQ(sync_->AddFolder((pairs / name).string(), "/Backup/" + name + "/", 0), S_OK) << name;

  // Overlapping service folders are refused, also against a pair whose
  // local folder is away for now.
  fs::create_directories(Home() / "other");
  fs::create_directories(Home() / "away");
  ASSERT_EQ(sync_->AddFolder((Home() / "away").string(), "/Away/", 0), S_OK);
  fs::remove(Home() / "away");
  std::string clash;
  for (const char* inside : {"/Backup/A/sub/", "/Backup/", "/", "/Away/inner/"}) {
    SCOPED_TRACE(inside);
    EXPECT_EQ(sync_->AddFolder((Home() / "other").string(), inside, 0, &clash), HR_SYNC_FOLDERS_OVERLAP);
  }
  EXPECT_EQ(clash, (Home() / "away").string() + " -> /Away/");
  EXPECT_EQ(sync_->AddFolder((Home() / "other").string(), "/Backup2/", 0), S_OK) << "a name that only begins alike";
  ASSERT_EQ(sync_->RemoveFolder((Home() / "other").string()), S_OK);
  ASSERT_EQ(sync_->AbsentFolders().size(), 1u);

  DeleteAfterCompare vanish((pairs / "B").string() + "/", pairs / "B" / "vanish.txt");
  manager_->AddListener(&vanish);
  EXPECT_EQ(RunBackup(), 4u);
  manager_->RemoveListener(&vanish);
  auto runs = sync_->LastRuns();
  ASSERT_EQ(runs.size(), 4u);
  const BackupRun a = runs[(pairs / "A").string()], b = runs[(pairs / "B").string()];
  EXPECT_EQ(a.outcome, BackupOutcome::kSkipped);
  ASSERT_EQ(a.skipped.size(), 1u);
  EXPECT_EQ(a.skipped[0].path, (pairs / "A" / "bad\\name.txt").string());
  EXPECT_EQ(a.uploaded, 3u);
  EXPECT_EQ(b.outcome, BackupOutcome::kSkipped);
  ASSERT_EQ(b.skipped.size(), 1u);
  EXPECT_EQ(b.skipped[0].path, (pairs / "B" / "vanish.txt").string());
  EXPECT_EQ(b.skipped[0].reason, HR_FILE_NOT_FOUND);
  EXPECT_EQ(runs[(pairs / "C").string()].outcome, BackupOutcome::kDone);
  EXPECT_EQ(runs[(pairs / "C").string()].uploaded, 4u);
  EXPECT_EQ(runs[(pairs / "D").string()].uploaded, 3u);
  ItemInfo file;
  for (const std::string& name : names) EXPECT_TRUE(ServiceFile("/Backup/" + name + "/sub/three.txt", file)) << name;

  // Nothing changed but dst.txt, now older locally than on the service:
  // nothing goes up, and the newer service copy stays as it is.
  const std::string md5 = ServiceMd5("/Backup/C/dst.txt");
  ASSERT_FALSE(md5.empty());
  WriteText(pairs / "C" / "dst.txt", "an older local edit");
  SetTime(pairs / "C" / "dst.txt", t0);
  // Slow listings make the four backups list their common parent at once.
  ServiceClient admin(korvexd_);
  const auto fault = admin.PostRaw("/admin/faults", {}, "delay=150,path=^/directory/listandcount/,count=40", "text/plain");
  ASSERT_TRUE(fault && fault->status == 200);
  std::size_t logMark = log_->All().size();
  EXPECT_EQ(RunBackup(), 4u);
  std::string log = log_->All().substr(logMark);
  EXPECT_EQ(log.find("create file task: "), std::string::npos) << log;
  EXPECT_NE(log.find("can't find in server, create file task " + (pairs / "A" / "bad\\name.txt").string()),
            std::string::npos) << log;
  EXPECT_EQ(log.find("can't find in server"), log.rfind("can't find in server"))
      << "only the refused file is missing on the service\n" << log;
  runs = sync_->LastRuns();
  for (const std::string& name : names) EXPECT_EQ(runs[(pairs / name).string()].uploaded, 0u) << name;
  EXPECT_EQ(runs[(pairs / "A").string()].outcome, BackupOutcome::kSkipped) << "still refused, still told";
  EXPECT_EQ(runs[(pairs / "B").string()].outcome, BackupOutcome::kDone);
  EXPECT_EQ(ServiceMd5("/Backup/C/dst.txt"), md5);

  // The common parent is deleted on the service, and a run is stopped
  // before it could do anything: the next run replaces the stopped
  // backups, makes /Backup/ and every pair folder again and sends all.
  bool isFolder = false;
  ContainerInfo backup;
  ASSERT_EQ(FindByAddress(*check_, check_->RootInfo().uri + "Backup/", isFolder, backup, file), S_OK);
  ASSERT_EQ(check_->DeleteContainer(backup), S_OK);
  const std::vector<std::uint32_t> stopped = sync_->Synchronize();
  (void)manager_->StopFamilies(stopped);
  EXPECT_EQ(RunBackup(), 4u);
  for (std::uint32_t id : stopped) {
    const auto family = manager_->GetFamily(id);
    EXPECT_TRUE(!family || family->state == FamilyState::kCompleted) << id << " was resumed, not replaced";
  }
  for (const std::string& name : names) {
    EXPECT_TRUE(ServiceFile("/Backup/" + name + "/sub/three.txt", file)) << name;
    EXPECT_GE(sync_->LastRuns()[(pairs / name).string()].folders, 2u) << name;
  }

  // A damaged schedule is read as "no time chosen" and said once; bytes a
  // newer client appended survive a save.
  const fs::path cfg = SyncConfigPath("alice@demo");
  std::string bytes = ReadText(cfg);
  bytes[4] = 25;   // hour
  bytes[8] = 7;    // a spare field
  bytes += "NEWER-CLIENT";
  WriteText(cfg, bytes);
  SyncServiceOptions options;
  options.account = "alice@demo";
  SyncService reread(*manager_, options);
  EXPECT_NE(reread.ConfigProblem().find("not a time of day"), std::string::npos) << reread.ConfigProblem();
  EXPECT_TRUE(reread.Schedule().IsUnset());
  EXPECT_EQ(reread.Folders().size(), 4u);
  ASSERT_EQ(reread.SetSchedule(3, 15), S_OK);
  bytes = ReadText(cfg);
  EXPECT_TRUE(bytes.ends_with("NEWER-CLIENT"));
  const SyncConfig clean = DecodeSyncConfig(bytes);
  EXPECT_TRUE(clean.problem.empty()) << clean.problem;
  EXPECT_EQ(clean.schedule.hour, 3);
  EXPECT_EQ(clean.folders.size(), 5u);
}

}  // namespace
}  // namespace korvex::test
