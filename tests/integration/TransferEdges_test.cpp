// Transfers at their edges, against korvexd: a cancel removes only what the
// transfer made, a file that changes under an upload is stored whole or not
// at all, a user's ".tmp" and hidden files are files like any other, a
// download writes only its own file, empty files are left out and named,
// and trees the service or a task record cannot take stop before anything
// is sent.

#include "ServiceSession_support.h"
#include "support/KorvexdFixture.h"
#include "service/KorvexDataStoreViews.h"
#include "store/DataStore.h"
#include "store/LocalFileSystem.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/DirectoryTask.h"
#include "tasks/FileTask.h"
#include "tasks/StoreWalk.h"
#include "tasks/TaskManager.h"
#include "tasks/TransferStoreContext.h"
#include "tasks/TreeCheck.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using korvex::testing::ReadText;
using korvex::testing::WriteText;
using namespace std::chrono_literals;

class TransferEdges : public ServiceSession {
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
    fs::create_directories(Desk());
    local_ = std::make_shared<DataStore>(std::make_unique<ShellFolderDataStoreRemote>("Desk", Desk().string()), 1, true);
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
  fs::path Desk() { return Home() / "desk"; }
  std::string Root() const { return service_->RootInfo().uri; }

  /// The family moving `from` (a folder or file) into the folder `into`.
  std::shared_ptr<TaskFamily> Make(TransferDirection direction, const std::string& from, const std::string& into,
                                   std::uint32_t conflictAnswer = 0) {
    const bool upload = direction == TransferDirection::kUpload;
    auto source = upload ? local_ : service_;
    auto target = upload ? service_ : local_;
    // The desk changes between transfers: its folders are read afresh.
    Forget(upload ? from : into);
    auto family = std::make_shared<TaskFamily>(manager_->NewFamilyId(), direction, source, from, target, into);
    family->conflictAnswer = conflictAnswer;
    family->folderAnswer = 2;
    ContainerInfo parent, folder;
    ItemInfo file;
    bool isFolder = false;
    EXPECT_EQ(FindByAddress(*target, into, isFolder, parent, file), S_OK) << into;
    EXPECT_EQ(FindByAddress(*source, from, isFolder, folder, file), S_OK) << from;
    if (isFolder) family->PushBack(std::make_unique<DirectoryTask>(manager_->NewTaskId(), *family, folder, parent));
    else family->PushBack(std::make_unique<FileTask>(manager_->NewTaskId(), *family, file, parent));
    return family;
  }
  /// Drops the local store's listings of every folder on the way to `address`.
  void Forget(const std::string& address) {
    for (std::size_t slash = 0; slash != std::string::npos; slash = address.find('/', slash + 1)) {
      ContainerInfo folder;
      if (local_->GetContainerInfo(address.substr(0, slash + 1), folder)) local_->InvalidateContainer(folder);
    }
  }
  std::shared_ptr<TaskFamily> Start(TransferDirection direction, const std::string& from, const std::string& into,
                                    std::uint32_t conflictAnswer = 0) {
    auto family = Make(direction, from, into, conflictAnswer);
    manager_->AddFamily(family, false);
    return family;
  }
  /// Waits (at most 120 s) until the family leaves the queued and running states.
  static FamilyState Settle(const TaskFamily& family) {
    for (int i = 0; i < 6000; ++i) {
      const FamilyState state = family.state.load();
      if (state == FamilyState::kCompleted || state == FamilyState::kStopped) return state;
      std::this_thread::sleep_for(20ms);
    }
    ADD_FAILURE() << "the family did not settle within 120 s";
    return family.state.load();
  }
  static void WaitForBytes(const TaskFamily& family, std::uint64_t bytes) {
    for (int i = 0; i < 3000 && family.Progress().doneBytes < bytes; ++i) std::this_thread::sleep_for(10ms);
    ASSERT_GE(family.Progress().doneBytes, bytes) << "the transfer did not get that far";
  }
  std::string TreeOfService() {
    httplib::Client client(korvexd_.BaseUrl());
    const auto answer = client.Get("/admin/tree/alice");
    return answer && answer->status == 200 ? answer->body : std::string();
  }
  bool OnService(const std::string& name) { return TreeOfService().find("\"" + name + "\"") != std::string::npos; }
  /// Brings `uri` (a file on the service) down into the desk folder `into`.
  std::string Fetch(const std::string& uri, const std::string& into) {
    fs::create_directories(Desk() / into);
    // Read afresh: the cache may still hold a stopped upload's partial file.
    service_->InvalidateContainer(service_->RootInfo());
    auto family = Start(TransferDirection::kDownload, uri, "/" + into + "/", 2);
    EXPECT_EQ(Settle(*family), FamilyState::kCompleted)
        << std::hex << family->lastError.load() << " " << family->LastErrorText();
    return ReadText(Desk() / into / uri.substr(uri.rfind('/') + 1));
  }

  std::shared_ptr<DataStore> service_;
  std::shared_ptr<DataStore> local_;
  std::unique_ptr<TransferStoreContext> context_;
  std::unique_ptr<BinaryFileTaskStore> tasks_;
  std::unique_ptr<TaskManager> manager_;
};

// Case 1: a folder that was there before the transfer (the user's) is
// reused and survives a cancel; one the transfer made goes.
TEST_F(TransferEdges, ACancelRemovesOnlyTheFoldersTheTransferMade) {
  WriteText(Desk() / "dl" / "Documents" / "precious.txt", "mine");
  WriteText(Desk() / "up" / "Documents" / "new.txt", "new");
  fs::create_directories(Desk() / "dl" / "Fresh");
  struct Stopped {
    TransferDirection direction;
    std::string from, into, target;
    bool made;
  } cases[] = {{TransferDirection::kDownload, Root() + "Documents/", "/dl/", "/dl/Documents/", false},
               {TransferDirection::kUpload, "/up/Documents/", Root(), Root() + "Documents/", false},
               {TransferDirection::kDownload, Root() + "Photos/", "/dl/", "/dl/Fresh/", true}};
  std::vector<std::uint32_t> ids;
  for (const Stopped& c : cases) {
    // Stopped while listing its source, after its target folder was made
    // or found: the state a Ctrl-C or a crash leaves.
    auto family = Make(c.direction, c.from, c.into);
    auto record = std::get<DirectoryTaskRecord>(family->TakeLast()->Record());
    record.marker = 1;
    record.target.path = c.target;
    record.createdTarget = c.made;
    ContainerInfo target;
    ItemInfo unused;
    bool isFolder = false;
    DataStore& store = c.direction == TransferDirection::kUpload ? *service_ : *local_;
    if (Succeeded(FindByAddress(store, c.target, isFolder, target, unused)) &&
        target.tag.type() == typeid(std::uint64_t))
      record.target.id = boost::any_cast<std::uint64_t>(target.tag);
    family->state = FamilyState::kStopped;
    ASSERT_EQ(tasks_->SaveFamily(*family), S_OK);
    ASSERT_EQ(tasks_->SaveTask(DirectoryTask(*family, record)), S_OK);
    ids.push_back(family->Id());
  }
  CloseManager();
  OpenManager();
  for (std::uint32_t id : ids) {
    ASSERT_TRUE(manager_->CancelFamily(id));
    EXPECT_EQ(Settle(*manager_->GetFamily(id)), FamilyState::kCompleted);
  }
  EXPECT_EQ(ReadText(Desk() / "dl" / "Documents" / "precious.txt"), "mine");
  EXPECT_TRUE(OnService("notes.md")) << "the service's own folder went with the cancel";
  EXPECT_FALSE(fs::exists(Desk() / "dl" / "Fresh")) << "the folder the transfer made stayed";
}

// Case 3 and 4: ".tmp" names and hidden files are files like any other,
// both ways, and a download never touches a file beside its target.
TEST_F(TransferEdges, TmpAndHiddenFilesAreFilesAndADownloadTouchesOnlyItsOwn) {
  WriteText(Desk() / "t" / "readme.txt.tmp", "my notes");
  WriteText(Desk() / "t" / "draft.tmp", "draft");
  WriteText(Desk() / "t" / "a.txt", "a");
  WriteText(Desk() / "t" / "a.txt.tmp", "a, older");
  WriteText(Desk() / "t" / ".env", "KEY=1");
  WriteText(Desk() / "t" / ".config" / "settings", "on");
  auto upload = Start(TransferDirection::kUpload, "/t/", Root());
  ASSERT_EQ(Settle(*upload), FamilyState::kCompleted) << std::hex << upload->lastError.load();
  EXPECT_EQ(upload->Progress().doneBytes, 8u + 5 + 1 + 8 + 5 + 2);
  for (const char* name : {"draft.tmp", "a.txt", "a.txt.tmp", "readme.txt.tmp", ".env", ".config", "settings"})
    EXPECT_TRUE(OnService(name)) << name;
  EXPECT_EQ(Fetch(Root() + "t/.config/settings", "back"), "on");
  EXPECT_EQ(Fetch(Root() + "t/draft.tmp", "back"), "draft");

  const std::string readme = Fetch(Root() + "readme.txt", "t");
  EXPECT_FALSE(readme.empty());
  EXPECT_EQ(ReadText(Desk() / "t" / "readme.txt.tmp"), "my notes") << "the user's file was taken for a partial one";
  for (const auto& entry : fs::directory_iterator(Desk() / "t"))
    EXPECT_EQ(entry.path().filename().string().find(".korvex-"), std::string::npos) << entry.path();
}

// A folder that lost files on the service after it was counted goes with
// the files it still holds, at once: the vanished rows are no failure to retry.
TEST_F(TransferEdges, AFolderThatLostFilesOnTheServiceGoesWithWhatIsLeft) {
  for (int i = 10; i < 30; ++i) WriteText(Desk() / "up" / "gone" / ("g" + std::to_string(i)), std::to_string(i));
  auto upload = Start(TransferDirection::kUpload, "/up/gone/", Root());
  ASSERT_EQ(Settle(*upload), FamilyState::kCompleted) << std::hex << upload->lastError.load();
  service_->InvalidateContainer(service_->RootInfo());
  ContainerInfo folder;
  ItemInfo file;
  bool isFolder = false;
  ASSERT_EQ(FindByAddress(*service_, Root() + "gone/", isFolder, folder, file), S_OK);
  ASSERT_EQ(service_->GetCounts(folder, false).items, 20);
  // Counted, not yet listed: ten files go behind the store's back.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((korvexd_.DataDir() / "korvexd.sqlite").c_str(), &db), SQLITE_OK);
  sqlite3_busy_timeout(db, 10000);
  EXPECT_EQ(sqlite3_exec(db, "DELETE FROM files WHERE name LIKE 'g2_'", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(sqlite3_changes(db), 10);
  sqlite3_close(db);

  fs::create_directories(Desk() / "down");
  auto download = Start(TransferDirection::kDownload, Root() + "gone/", "/down/");
  ASSERT_EQ(Settle(*download), FamilyState::kCompleted) << std::hex << download->lastError.load();
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(Desk() / "down" / "gone")) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names.size(), 10u);
  EXPECT_EQ(names.front(), "g10");
  EXPECT_EQ(names.back(), "g19");
  EXPECT_FALSE(log_->Contains("retrying")) << log_->All();
}

class SlowTransferEdges : public TransferEdges {
 protected:
  // Slow chunks let the test act in the middle of a transfer.
  void SetUp() override {
    Open({"delay=40,path=^/idtv1/stream/(write|read)/,count=100000,ttl=3600"});
  }
};

// Case 2: every stored copy is the bytes of one version of the file.
TEST_F(SlowTransferEdges, AFileThatChangesIsSentAgainWholeOrStopped) {
  const fs::path file = Desk() / "c.bin";
  const std::string first = Pattern(std::size_t{3} << 20, 1), second = Pattern(std::size_t{3} << 20, 2);
  WriteText(file, first);
  auto changed = Start(TransferDirection::kUpload, "/c.bin", Root());
  WaitForBytes(*changed, std::uint64_t{3} << 19);
  WriteText(file, second);
  ASSERT_EQ(Settle(*changed), FamilyState::kCompleted) << std::hex << changed->lastError.load();
  EXPECT_TRUE(Fetch(Root() + "c.bin", "back") == second) << "a torn copy was stored";

  // Changed (and grown) between a cut-off upload and its resumption.
  const std::string third = Pattern((std::size_t{3} << 20) + 77, 3);
  auto cut = Start(TransferDirection::kUpload, "/c.bin", Root(), 2);
  WaitForBytes(*cut, std::uint64_t{3} << 19);
  CloseManager();
  WriteText(file, third);
  OpenManager();
  auto resumed = manager_->GetFamily(cut->Id());
  ASSERT_NE(resumed, nullptr);
  if (resumed->state == FamilyState::kStopped) {
    ASSERT_TRUE(manager_->ResumeFamily(resumed->Id()));
  }
  ASSERT_EQ(Settle(*resumed), FamilyState::kCompleted) << std::hex << resumed->lastError.load();
  EXPECT_TRUE(Fetch(Root() + "c.bin", "back") == third) << "the resumed upload mixed two versions";

  // A file that never holds still stops its upload, with its name. The task
  // is made before the writer starts: finding the file is not what is tried.
  auto restless = Make(TransferDirection::kUpload, "/c.bin", Root(), 2);
  std::atomic<bool> writing{true};
  std::thread writer([&] {
    for (unsigned round = 4; writing; ++round) {
      // Replaced whole, so the upload never meets it half written.
      WriteText(Desk() / "c.next", Pattern(std::size_t{1} << 20, round));
      fs::rename(Desk() / "c.next", file);
      std::this_thread::sleep_for(100ms);
    }
  });
  manager_->AddFamily(restless, false);
  EXPECT_EQ(Settle(*restless), FamilyState::kStopped);
  writing = false;
  writer.join();
  EXPECT_EQ(restless->lastError.load(), HR_SOURCE_CHANGED);
  EXPECT_NE(restless->LastErrorText().find("c.bin changed while it was being uploaded"), std::string::npos)
      << restless->LastErrorText();
  EXPECT_TRUE(Fetch(Root() + "c.bin", "back") == third) << "the stored copy was replaced by a torn one";
}

// Case 7: the partial file is written through the descriptor that made it,
// and a link put in its place leads nowhere.
TEST_F(SlowTransferEdges, ADownloadWritesOnlyThroughTheFileItMade) {
  WriteText(Desk() / "big.bin", Pattern(std::size_t{3} << 20, 5));
  ASSERT_EQ(Settle(*Start(TransferDirection::kUpload, "/big.bin", Root())), FamilyState::kCompleted);
  WriteText(Home() / "outside.bin", "not yours");
  fs::create_directories(Desk() / "in");
  auto download = Start(TransferDirection::kDownload, Root() + "big.bin", "/in/");
  WaitForBytes(*download, std::uint64_t{1} << 19);
  fs::path partial;
  for (const auto& entry : fs::directory_iterator(Desk() / "in")) partial = entry.path();
  ASSERT_TRUE(localfs::IsPartialFileName(partial.filename().string())) << partial;
  fs::remove(partial);
  fs::create_symlink(Home() / "outside.bin", partial);
  // The file it wrote is gone from its name, as a deleted partial file
  // would be: the download starts again in a file of its own.
  EXPECT_EQ(Settle(*download), FamilyState::kCompleted);
  EXPECT_EQ(ReadText(Home() / "outside.bin"), "not yours");
  EXPECT_FALSE(fs::is_symlink(Desk() / "in" / "big.bin"));
  EXPECT_TRUE(ReadText(Desk() / "in" / "big.bin") == Pattern(std::size_t{3} << 20, 5)) << "the bytes differ";
}

// Case 8: the whole file's MD5, as the download's preparation announces it,
// decides; here the service's record of it disagrees with its bytes, which
// every group's check (made over those bytes) would let through. Both for a
// file of several groups and for one of a single group, whose group check
// covers the whole file.
TEST_F(TransferEdges, ADownloadIsCheckedAgainstTheWholeFilesMd5) {
  const std::pair<const char*, std::size_t> kFiles[] = {{"m.bin", (std::size_t{2} << 20) + 3}, {"s.bin", 200000}};
  for (const auto& [name, size] : kFiles) {
    SCOPED_TRACE(name);
    WriteText(Desk() / name, Pattern(size, 8));
    ASSERT_EQ(Settle(*Start(TransferDirection::kUpload, std::string("/") + name, Root())), FamilyState::kCompleted);
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open((korvexd_.DataDir() / "korvexd.sqlite").c_str(), &db), SQLITE_OK);
    const std::string update =
        std::string("UPDATE files SET md5='0123456789ABCDEF0123456789ABCDEF' WHERE name='") + name + "'";
    const bool changed = sqlite3_busy_timeout(db, 10000) == SQLITE_OK &&
                         sqlite3_exec(db, update.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK &&
                         sqlite3_changes(db) == 1;
    sqlite3_close(db);
    ASSERT_TRUE(changed);
    fs::create_directories(Desk() / "got");
    auto download = Start(TransferDirection::kDownload, Root() + name, "/got/");
    EXPECT_EQ(Settle(*download), FamilyState::kStopped);
    EXPECT_EQ(download->lastError.load(), HR_FILE_VERIFY_FAILED);
    EXPECT_NE(download->LastErrorText().find("does not match the service's MD5"), std::string::npos)
        << download->LastErrorText();
    EXPECT_TRUE(fs::is_empty(Desk() / "got")) << "a file that is not the service's was kept";
  }
}

// Case 9: the service stores no empty file; it is left out and named, and
// the rest goes on with the user's overwrite answer intact.
TEST_F(TransferEdges, EmptyFilesAreLeftOutAndNamed) {
  WriteText(Desk() / "e" / "full.txt", "full");
  ASSERT_EQ(Settle(*Start(TransferDirection::kUpload, "/e/", Root())), FamilyState::kCompleted);
  // Queued first, so the file after it meets the overwrite answer.
  WriteText(Desk() / "e" / "z-empty", "");
  WriteText(Desk() / "e" / "full.txt", "fuller");
  ContainerInfo folder;
  ItemInfo unused;
  bool isFolder = false;
  ASSERT_EQ(FindByAddress(*local_, "/e/", isFolder, folder, unused), S_OK);
  local_->InvalidateContainer(folder);
  auto tree = Start(TransferDirection::kUpload, "/e/", Root(), 2);
  ASSERT_EQ(Settle(*tree), FamilyState::kCompleted) << std::hex << tree->lastError.load();
  const auto options = tree->Options();
  ASSERT_EQ(options.size(), 1u);
  EXPECT_EQ(options.begin()->first, "/e/z-empty-->" + Root() + "e/z-empty");
  EXPECT_EQ(options.begin()->second, " : Error by 0x80070BCC");
  EXPECT_FALSE(OnService("z-empty"));
  EXPECT_EQ(Fetch(Root() + "e/full.txt", "back"), "fuller");

  auto single = Start(TransferDirection::kUpload, "/e/z-empty", Root());
  ASSERT_EQ(Settle(*single), FamilyState::kCompleted);
  EXPECT_EQ(single->Options().size(), 1u);
  EXPECT_FALSE(OnService("z-empty"));

  // An empty file another client stored still comes down.
  httplib::Client client(korvexd_.BaseUrl());
  const httplib::Headers cookie{{"Cookie", "AUTH_PRO=" + authPro_}};
  const std::string form = "dirid=" + std::to_string(boost::any_cast<std::uint64_t>(root_.tag)) +
                           "&filename=nil.txt&size=0&over%5Fride=0&lastmodifytime=0&sec=0";
  const auto prepared = client.Post("/file/preupload", cookie, form, "application/x-www-form-urlencoded");
  ASSERT_TRUE(prepared && prepared->status == 200);
  const std::string setCookie = prepared->get_header_value("Set-Cookie");
  const std::size_t token = setCookie.find("TOKEN=") + 6;
  // The answer is the file id followed by the name's extension.
  const std::string id = prepared->body.substr(0, prepared->body.rfind('.'));
  const std::string over = "/file/uploadover/" + id + "/0?product=smb&a=" + authPro_ +
                           "&t=" + setCookie.substr(token, setCookie.find(';', token) - token);
  const auto completed = client.Get(over, cookie);
  ASSERT_TRUE(completed && completed->body == "1") << (completed ? completed->body : "no answer");
  fs::create_directories(Desk() / "back");
  auto empty = Start(TransferDirection::kDownload, Root() + "nil.txt", "/back/");
  ASSERT_EQ(Settle(*empty), FamilyState::kCompleted) << std::hex << empty->lastError.load();
  EXPECT_TRUE(fs::is_regular_file(Desk() / "back" / "nil.txt"));
  EXPECT_EQ(fs::file_size(Desk() / "back" / "nil.txt"), 0u);
}

// Cases 5 and 6: a tree the service or a task record cannot take whole
// stops before anything of it is sent, saying why.
TEST_F(TransferEdges, TreesThatCannotGoWholeStopBeforeAnythingIsSent) {
  WriteText(Desk() / "cs" / "a.txt", "a");
  WriteText(Desk() / "cs" / "sub" / "Report.txt", "R");
  WriteText(Desk() / "cs" / "sub" / "report.txt", "r");
  auto clash = Start(TransferDirection::kUpload, "/cs/", Root(), 2);
  EXPECT_EQ(Settle(*clash), FamilyState::kStopped);
  EXPECT_EQ(clash->lastError.load(), HR_NAMES_DIFFER_IN_CASE);
  EXPECT_NE(clash->LastErrorText().find("\"Report.txt\""), std::string::npos) << clash->LastErrorText();
  EXPECT_NE(clash->LastErrorText().find("\"report.txt\""), std::string::npos) << clash->LastErrorText();
  EXPECT_FALSE(OnService("cs"));

  const std::string deep = std::string(100, 'd') + "/" + std::string(100, 'e') + "/" + std::string(100, 'f');
  WriteText(Desk() / "long" / "short.txt", "s");
  WriteText(Desk() / "long" / deep / "far.txt", "f");
  auto longer = Start(TransferDirection::kUpload, "/long/", Root());
  EXPECT_EQ(Settle(*longer), FamilyState::kStopped);
  EXPECT_EQ(longer->lastError.load(), HR_PATH_TOO_LONG);
  EXPECT_EQ(longer->LastErrorText().find("/long/" + std::string(100, 'd')), 0u) << longer->LastErrorText();
  EXPECT_NE(longer->LastErrorText().find(": the path is longer than 260"), std::string::npos)
      << longer->LastErrorText();
  EXPECT_FALSE(OnService("long"));
}

}  // namespace
}  // namespace korvex::test
