// Whole files and folder trees go up to korvexd and come back down through
// the task manager, the file and folder tasks and both stores; faults that
// korvexd injects are survived with identical bytes, a transfer cut off
// mid-way resumes from the task store sending only its unfinished groups, a
// cancelled one leaves nothing on the service, and a name from the service
// never writes outside the chosen folder.

#include "ServiceSession_support.h"
#include "support/KorvexdFixture.h"
#include "service/KorvexDataStoreViews.h"
#include "store/DataStore.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/DirectoryTask.h"
#include "tasks/FileTask.h"
#include "tasks/StoreWalk.h"
#include "tasks/TaskFailures.h"
#include "tasks/TaskManager.h"
#include "tasks/TransferStoreContext.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using korvex::testing::ReadText;
using korvex::testing::WriteText;

/// Every regular file below `root`, by path relative to it, with its bytes.
std::map<std::string, std::string> TreeOf(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string relative = fs::relative(entry.path(), root).string();
    files[relative + (entry.is_directory() ? "/" : "")] = entry.is_directory() ? "" : ReadText(entry.path());
  }
  return files;
}

class TransferTasks : public ServiceSession {
 protected:
  void SetUp() override { Open({}); }
  void TearDown() override {
    CloseManager();
    service_.reset();
    local_.reset();
    ServiceSession::TearDown();
  }

  void Open(const std::vector<std::string>& faults) {
    std::vector<std::string> args;
    for (const auto& fault : faults) args.insert(args.end(), {"--fault", fault});
    StartSession(args);
    const std::uint64_t rootId = boost::any_cast<std::uint64_t>(root_.tag);
    service_ = std::make_shared<DataStore>(
        std::make_unique<KorvexDataStoreMyDisk>(store_.get(), rootId, kPrivilegeAll, 0, "disk"), 1);
    fs::create_directories(Home() / "desk");
    local_ = std::make_shared<DataStore>(std::make_unique<ShellFolderDataStoreRemote>("Desk", (Home() / "desk").string()),
                                         1, true);
    OpenManager();
  }
  void OpenManager() {
    context_ = std::make_unique<TransferStoreContext>(service_, local_);
    tasks_ = std::make_unique<BinaryFileTaskStore>("alice", *context_);
    manager_ = std::make_unique<TaskManager>(*tasks_);
    FamilyMap stored;
    ASSERT_EQ(tasks_->LoadAll(stored), S_OK);
    for (auto& [id, family] : stored) manager_->AddFamily(family, true);
    ASSERT_EQ(manager_->Start(), S_OK);
  }
  void CloseManager() {
    manager_.reset();
    tasks_.reset();
    context_.reset();
  }

  /// Moves the local folder or file `from` (desk-relative) into the service
  /// folder `into`, or the service entry `from` into the local folder `into`.
  std::shared_ptr<TaskFamily> Start(TransferDirection direction, const std::string& from, const std::string& into,
                                    std::uint32_t conflictAnswer = 0) {
    const bool upload = direction == TransferDirection::kUpload;
    auto source = upload ? local_ : service_;
    auto target = upload ? service_ : local_;
    auto family = std::make_shared<TaskFamily>(manager_->NewFamilyId(), direction, source, from, target, into);
    family->conflictAnswer = conflictAnswer;
    ContainerInfo parent, folder;
    ItemInfo file;
    bool isFolder = false;
    EXPECT_EQ(FindByAddress(*target, into, isFolder, parent, file), S_OK) << into;
    EXPECT_EQ(FindByAddress(*source, from, isFolder, folder, file), S_OK) << from;
    if (isFolder) family->PushBack(std::make_unique<DirectoryTask>(manager_->NewTaskId(), *family, folder, parent));
    else family->PushBack(std::make_unique<FileTask>(manager_->NewTaskId(), *family, file, parent));
    manager_->AddFamily(family, false);
    return family;
  }
  /// Waits (at most 120 s) until the family leaves the queued and running states.
  static FamilyState Settle(const TaskFamily& family) {
    for (int i = 0; i < 6000; ++i) {
      const FamilyState state = family.state.load();
      if (state == FamilyState::kCompleted || state == FamilyState::kStopped) return state;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ADD_FAILURE() << "the family did not settle within 120 s";
    return family.state.load();
  }
  std::string Root() const { return service_->RootInfo().uri; }

  /// korvexd's active faults with their counts.
  nlohmann::json Faults() {
    httplib::Client client(korvexd_.BaseUrl());
    const auto answer = client.Get("/admin/faults");
    if (!answer || answer->status != 200) {
      ADD_FAILURE() << "the fault listing failed";
      return {};
    }
    return nlohmann::json::parse(answer->body)["faults"];
  }
  /// Renames a file behind korvexd's back, as a service with laxer names
  /// than korvexd's might hold it.
  bool RenameOnService(const std::string& from, const std::string& to) {
    sqlite3* db = nullptr;
    const std::string sql = "UPDATE files SET name='" + to + "' WHERE name='" + from + "'";
    const bool ok = sqlite3_open((korvexd_.DataDir() / "korvexd.sqlite").c_str(), &db) == SQLITE_OK &&
                    sqlite3_busy_timeout(db, 10000) == SQLITE_OK &&
                    sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK && sqlite3_changes(db) == 1;
    sqlite3_close(db);
    return ok;
  }
  bool AddFault(const std::string& fault) { return AddKorvexdFault(korvexd_, fault); }

  std::shared_ptr<DataStore> service_;
  std::shared_ptr<DataStore> local_;
  std::unique_ptr<TransferStoreContext> context_;
  std::unique_ptr<BinaryFileTaskStore> tasks_;
  std::unique_ptr<TaskManager> manager_;
};

TEST_F(TransferTasks, TreesGoUpAndComeBackWithIdenticalBytesAndConflictsFollowTheAnswer) {
  const fs::path up = Home() / "desk" / "up";
  unsigned seed = 1;
  // Empty files are not stored by the service (see TransferEdges_test).
  for (std::size_t size : {std::size_t{1}, std::size_t{32767}, std::size_t{32768}, std::size_t{32769},
                           std::size_t{1} << 20, (std::size_t{5} << 20) + 3})
    WriteText(up / ("f" + std::to_string(size)), Pattern(size, seed++));
  WriteText(up / "a" / "b" / "deep.txt", "deep");
  WriteText(Home() / "desk" / "evil" / "name.txt", "x");
  fs::create_directories(up / "a" / "empty");
  fs::create_directories(Home() / "desk" / "down");

  auto upload = Start(TransferDirection::kUpload, "/up/", Root());
  ASSERT_EQ(Settle(*upload), FamilyState::kCompleted) << std::hex << upload->lastError.load();
  EXPECT_EQ(upload->Progress().doneBytes, 6 * (1u << 20) + 3 + 32767 + 32768 + 32769 + 1 + 4);
  // Files of sub-folders, found after the first ones were counted, join the total.
  EXPECT_EQ(upload->Progress().totalBytes, upload->Progress().doneBytes);

  auto download = Start(TransferDirection::kDownload, Root() + "up/", "/down/");
  ASSERT_EQ(Settle(*download), FamilyState::kCompleted) << std::hex << download->lastError.load();
  const fs::path down = Home() / "desk" / "down" / "up";
  EXPECT_EQ(TreeOf(down), TreeOf(up));

  // A file that exists is not replaced without the user's word: the family
  // stops and the old bytes stay; with overwrite the new bytes arrive.
  WriteText(down / "f1", "old");
  auto refused = Start(TransferDirection::kDownload, Root() + "up/f1", "/down/up/");
  EXPECT_EQ(Settle(*refused), FamilyState::kStopped);
  EXPECT_EQ(refused->lastError.load(), HR_ALREADY_EXISTS);
  EXPECT_EQ(ReadText(down / "f1"), "old");
  auto replaced = Start(TransferDirection::kDownload, Root() + "up/f1", "/down/up/", 2);
  EXPECT_EQ(Settle(*replaced), FamilyState::kCompleted);
  EXPECT_EQ(ReadText(down / "f1"), ReadText(up / "f1"));
  EXPECT_FALSE(fs::exists(down / "f1.tmp"));

  // korvexd refuses such names, so one is planted in its database: the
  // download gives that file up with nothing written anywhere.
  auto planted = Start(TransferDirection::kUpload, "/evil/", Root());
  ASSERT_EQ(Settle(*planted), FamilyState::kCompleted);
  ASSERT_TRUE(RenameOnService("name.txt", "../escape.txt"));
  auto unsafe = Start(TransferDirection::kDownload, Root() + "evil/", "/down/");
  EXPECT_EQ(Settle(*unsafe), FamilyState::kCompleted);
  const std::vector<FailedTask> refusedNames = FailedTasks(*unsafe);
  ASSERT_EQ(refusedNames.size(), 1u);
  EXPECT_EQ(refusedNames[0].error, HR_INVALID_NAME);
  EXPECT_FALSE(fs::exists(Home() / "desk" / "down" / "escape.txt"));
  EXPECT_FALSE(fs::exists(Home() / "desk" / "down" / "escape.txt.tmp"));
  EXPECT_TRUE(fs::is_empty(Home() / "desk" / "down" / "evil"));
}

// A folder task cut off while queuing its children comes back (marker 1)
// beside a child it stored; each child then goes up once.
TEST_F(TransferTasks, AFolderCutOffWhileQueuingItsChildrenSendsEachChildOnce) {
  fs::create_directories(Home() / "desk" / "tree");
  ASSERT_EQ(Settle(*Start(TransferDirection::kUpload, "/tree/", Root())), FamilyState::kCompleted);
  WriteText(Home() / "desk" / "tree" / "a.txt", "a");
  WriteText(Home() / "desk" / "tree" / "sub" / "b.txt", "bb");
  ContainerInfo folder, target;
  ItemInfo a, unused;
  bool isFolder = false;
  ASSERT_EQ(FindByAddress(*local_, "/tree/", isFolder, folder, unused), S_OK);
  local_->InvalidateContainer(folder);
  ASSERT_EQ(FindByAddress(*local_, "/tree/a.txt", isFolder, target, a), S_OK);
  ASSERT_EQ(FindByAddress(*service_, Root() + "tree/", isFolder, target, unused), S_OK);
  TaskFamily cut(manager_->NewFamilyId(), TransferDirection::kUpload, local_, "/tree/", service_, Root());
  auto record = std::get<DirectoryTaskRecord>(DirectoryTask(manager_->NewTaskId(), cut, folder, service_->RootInfo()).Record());
  record.marker = 1;
  record.target.id = boost::any_cast<std::uint64_t>(target.tag);
  ASSERT_EQ(tasks_->SaveFamily(cut), S_OK);
  ASSERT_EQ(tasks_->SaveTask(DirectoryTask(cut, record)), S_OK);
  ASSERT_EQ(tasks_->SaveTask(FileTask(manager_->NewTaskId(), cut, a, target)), S_OK);
  CloseManager();
  OpenManager();
  const auto resumed = manager_->GetFamily(cut.Id());
  ASSERT_NE(resumed, nullptr);
  EXPECT_EQ(Settle(*resumed), FamilyState::kCompleted) << std::hex << resumed->lastError.load();
  EXPECT_EQ(resumed->Progress().doneBytes, 3u);
}

class ResumedTransferTasks : public TransferTasks {
 protected:
  std::string TreeOfService() {
    httplib::Client client(korvexd_.BaseUrl());
    const auto answer = client.Get("/admin/tree/alice");
    return answer && answer->status == 200 ? answer->body : std::string("no tree: seven.bin");
  }
  /// Requests korvexd saw on the path of one of the faults below.
  int Seen(const std::string& path) {
    for (const auto& fault : Faults())
      if (fault["path"] == path) return fault["seen"].get<int>();
    ADD_FAILURE() << "the counting fault is gone";
    return -1;
  }
  int StreamOpens() { return Seen("^/idtv1/stream/open/"); }
  int ChunkWrites() { return Seen("^/idtv1/stream/write/"); }
  // Slow chunk writes let the test cut the upload off in the middle; the
  // fault on stream opens never fires and only counts them.
  void SetUp() override {
    Open({"delay=60,path=^/idtv1/stream/write/,count=100000,ttl=3600",
          "delay=1,path=^/idtv1/stream/open/,nth=100000,ttl=3600"});
  }
};

TEST_F(ResumedTransferTasks, ACutOffUploadResumesFromTheTaskStoreSendingOnlyUnfinishedGroups) {
  const std::string data = Pattern(std::size_t{6} << 20, 3);
  WriteText(Home() / "desk" / "six.bin", data);
  WriteText(Home() / "desk" / "seven.bin", data);
  fs::create_directories(Home() / "desk" / "back");
  auto upload = Start(TransferDirection::kUpload, "/six.bin", Root());
  for (int i = 0; i < 3000 && upload->Progress().doneBytes < (std::uint64_t{5} << 19); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  CloseManager();
  const int opensBefore = StreamOpens();
  ASSERT_GE(opensBefore, 2) << "the upload was cut off too early";
  ASSERT_LT(opensBefore, 6) << "the upload was not cut off";

  OpenManager();
  auto resumed = manager_->GetFamily(upload->Id());
  ASSERT_NE(resumed, nullptr);
  if (resumed->state == FamilyState::kStopped) {
    ASSERT_TRUE(manager_->ResumeFamily(resumed->Id()));
  }
  ASSERT_EQ(Settle(*resumed), FamilyState::kCompleted) << std::hex << resumed->lastError.load();
  // Groups finished before the cut are not sent again; the two under way
  // (one being checked, the next on the wire) may be sent once more.
  EXPECT_GE(StreamOpens(), 6);
  EXPECT_LE(StreamOpens(), 6 + 2);

  auto download = Start(TransferDirection::kDownload, Root() + "six.bin", "/back/");
  ASSERT_EQ(Settle(*download), FamilyState::kCompleted);
  EXPECT_TRUE(ReadText(Home() / "desk" / "back" / "six.bin") == data) << "the bytes differ";

  // A stopped upload that is cancelled takes its partial file off the service.
  auto cancelled = Start(TransferDirection::kUpload, "/seven.bin", Root());
  // Stopped early in its second group, with most of that group still to go.
  const std::uint64_t stopAt = (std::uint64_t{1} << 20) + 2 * FileTask::kBlockSize;
  for (int i = 0; i < 3000 && cancelled->Progress().doneBytes < stopAt; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(manager_->StopFamily(cancelled->Id()));
  ASSERT_EQ(Settle(*cancelled), FamilyState::kStopped);
  // The chunks of the group under way that had not left yet are not sent:
  // only those already on the wire (5 at most) may still arrive. The pause
  // would let the rest of the group (over 20 chunks) go out.
  const int writesAtStop = ChunkWrites();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_LE(ChunkWrites() - writesAtStop, static_cast<int>(FileTask::kMaxInFlight)) << "chunks sent for nothing";
  EXPECT_NE(TreeOfService().find("seven.bin"), std::string::npos);
  ASSERT_TRUE(manager_->CancelFamily(cancelled->Id()));
  EXPECT_EQ(Settle(*cancelled), FamilyState::kCompleted);
  EXPECT_EQ(TreeOfService().find("seven.bin"), std::string::npos) << "the partial upload stayed";
}

class FaultyTransferTasks : public TransferTasks {
 protected:
  void SetUp() override {
    Open({"cut=1000,path=^/idtv1/stream/read/,nth=3", "stream=4003,path=^/idtv1/stream/write/,nth=5",
          "badmd5,path=^/idtv1/stream/close/,nth=2", "close=10,path=^/idtv1/stream/read/,nth=40",
          "http=503,path=^/idtv1/stream/,nth=60,count=4"});
  }
};

TEST_F(FaultyTransferTasks, EveryInjectedFaultIsSurvivedWithIdenticalBytes) {
  const std::string data = Pattern((std::size_t{3} << 20) + 5, 9);
  WriteText(Home() / "desk" / "big.bin", data);
  fs::create_directories(Home() / "desk" / "back");
  auto upload = Start(TransferDirection::kUpload, "/big.bin", Root());
  ASSERT_EQ(Settle(*upload), FamilyState::kCompleted) << std::hex << upload->lastError.load();
  auto download = Start(TransferDirection::kDownload, Root() + "big.bin", "/back/");
  ASSERT_EQ(Settle(*download), FamilyState::kCompleted) << std::hex << download->lastError.load();
  EXPECT_TRUE(ReadText(Home() / "desk" / "back" / "big.bin") == data) << "the bytes differ";
  for (const auto& fault : Faults()) EXPECT_GE(fault["fired"].get<int>(), 1) << fault.dump();

  // A group whose check keeps failing is not sent again for ever: the file
  // is given up with its reason.
  ASSERT_TRUE(AddFault("badmd5,path=^/idtv1/stream/close/,count=1000"));
  auto endless = Start(TransferDirection::kUpload, "/big.bin", Root(), 2);
  EXPECT_EQ(Settle(*endless), FamilyState::kCompleted);
  const std::vector<FailedTask> failed = FailedTasks(*endless);
  ASSERT_EQ(failed.size(), 1u);
  EXPECT_EQ(failed[0].error, HR_GROUP_VERIFY_FAILED);
}

}  // namespace
}  // namespace korvex::test
