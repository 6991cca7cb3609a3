#include "tasks/BinaryFileTaskStore.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <fstream>

#include "support/TempHome.h"
#include "tasks/TaskTestSupport.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::ScriptedContext;
using testing::ScriptedTask;
using testing::WriteText;

class BinaryFileTaskStoreTest : public testing::TempHomeTest {
 protected:
  std::shared_ptr<TaskFamily> MakeFamily(std::uint32_t id, TransferDirection direction = TransferDirection::kUpload) {
    return std::make_shared<TaskFamily>(id, direction, context_.LocalStore(), "/home/alice/Docs/",
                                        context_.ServiceStore(), "/Backup/");
  }
  void SaveTask(TaskFamily& family, TaskType type, std::uint32_t id) {
    ScriptedTask task(type, id, family, 100);
    ASSERT_EQ(store_->SaveTask(task), S_OK);
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(store_->Folder())) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Made after the fixture has moved KORVEX_HOME.
  void SetUp() override {
    TempHomeTest::SetUp();
    store_ = std::make_unique<BinaryFileTaskStore>("alice@demo", context_);
  }

  ScriptedContext context_;
  std::unique_ptr<BinaryFileTaskStore> store_;
};

TEST_F(BinaryFileTaskStoreTest, LoadsWhatWasSavedAndSkipsBadFilesLeavingThemOnDisk) {
  EXPECT_EQ(store_->Folder(), Home() / "data" / "KorvexDataSMB" / "TaskStore" / "alice@demo");
  auto upload = MakeFamily(3);
  upload->SetPassword("pw");
  upload->SetOption("k", "v");
  ASSERT_EQ(store_->SaveFamily(*upload), S_OK);
  SaveTask(*upload, TaskType::kDirectory, 11);
  SaveTask(*upload, TaskType::kFile, 12);
  SaveTask(*upload, TaskType::kFile, 13);
  SaveTask(*upload, TaskType::kSyncDirectory, 14);  // made afresh by the sync service, never rebuilt

  auto download = MakeFamily(4, TransferDirection::kDownload);
  download->UseServiceRoot("/elsewhere/", context_.ServiceStoreForRoot("/elsewhere/"));
  ASSERT_EQ(store_->SaveFamily(*download), S_OK);
  auto lost = MakeFamily(6);
  lost->UseServiceRoot("unreachable", nullptr);
  ASSERT_EQ(store_->SaveFamily(*lost), S_OK);

  const fs::path dir = store_->Folder();
  const std::string good = ReadText(dir / "3.tsf");
  const std::string task = ReadText(dir / "3.12.tsk");
  WriteText(dir / "8.tsf", good);                         // id inside differs from the name
  WriteText(dir / "x9.tsf", good);                        // name is not a number
  WriteText(dir / "9.tsf", good.substr(0, 1500));         // short
  WriteText(dir / "3.20.tsk", task);                      // ids inside differ from the name
  WriteText(dir / "3.21.tsk", task.substr(0, 2000));      // first word is not the size
  WriteText(dir / "77.12.tsk", task);                     // no such family
  WriteText(dir / "3.tsf.tmp-AbC123", "half a record");  // left by an interrupted save
  const std::vector<std::string> badFiles = {"3.20.tsk", "3.21.tsk", "77.12.tsk", "8.tsf", "9.tsf", "x9.tsf"};

  FamilyMap families;
  ASSERT_EQ(store_->LoadAll(families), S_OK);
  ASSERT_EQ(families.size(), 2u) << "families 3 and 4 only";
  TaskFamily& loaded = *families.at(3);
  EXPECT_EQ(loaded.Password()[0], 'p');
  EXPECT_EQ(loaded.Options(), (std::map<std::string, std::string>{{"k", "v"}}));
  EXPECT_EQ(loaded.SourceStore(), context_.LocalStore());
  std::vector<std::uint32_t> order;
  loaded.ForEachTask([&order](const Task& t) { order.push_back(t.Id()); });
  EXPECT_EQ(order, (std::vector<std::uint32_t>{13, 12, 11})) << "file tasks in front, directories behind";
  EXPECT_EQ(families.at(4)->ServiceRoot(), "/elsewhere/");
  EXPECT_EQ(families.at(4)->SourceStore(), context_.ServiceStoreForRoot("/elsewhere/"));
  std::vector<std::string> names = Names();
  for (const std::string& bad : badFiles) EXPECT_TRUE(std::count(names.begin(), names.end(), bad)) << bad;
  EXPECT_FALSE(fs::exists(dir / "3.tsf.tmp-AbC123"));
  EXPECT_TRUE(fs::exists(dir / "3.14.tsk"));
}

TEST_F(BinaryFileTaskStoreTest, AnOldFamilyFileIsRewrittenAsVersion3OnTheNextSave) {
  auto family = MakeFamily(2);
  ASSERT_EQ(store_->SaveFamily(*family), S_OK);
  const fs::path file = store_->Folder() / "2.tsf";
  std::string v2 = ReadText(file).substr(0, 1898);
  v2[4] = 2;
  WriteText(file, v2);
  FamilyMap families;
  ASSERT_EQ(store_->LoadAll(families), S_OK);
  ASSERT_EQ(families.count(2), 1u);
  ASSERT_EQ(store_->SaveFamily(*families[2]), S_OK);
  const std::string rewritten = ReadText(file);
  EXPECT_EQ(rewritten.size(), 1902u);
  EXPECT_EQ(rewritten[4], 3);
}

TEST_F(BinaryFileTaskStoreTest, DeletingFamily5LeavesFamilies15And50) {
  for (std::uint32_t id : {5u, 15u, 50u}) {
    auto family = MakeFamily(id);
    ASSERT_EQ(store_->SaveFamily(*family), S_OK);
    SaveTask(*family, TaskType::kFile, 1);
    SaveTask(*family, TaskType::kDirectory, 25);
  }
  ASSERT_EQ(store_->DeleteFamily(5), S_OK);
  EXPECT_EQ(Names(), (std::vector<std::string>{"15.1.tsk", "15.25.tsk", "15.tsf", "50.1.tsk", "50.25.tsk", "50.tsf"}));
  ASSERT_EQ(store_->DeleteTask(15, 25), S_OK);
  EXPECT_FALSE(fs::exists(store_->Folder() / "15.25.tsk"));
}

// A folder's children are saved together; a long list must not run the
// process out of open files, and every task must load back in its place.
TEST_F(BinaryFileTaskStoreTest, ManyTasksSavedTogetherAllLoadBackWithinTheOpenFileLimit) {
  constexpr std::uint32_t kTasks = 600;
  auto family = MakeFamily(6);
  ASSERT_EQ(store_->SaveFamily(*family), S_OK);
  std::vector<std::unique_ptr<ScriptedTask>> tasks;
  std::vector<const Task*> views;
  for (std::uint32_t id = 1; id <= kTasks; ++id) {
    tasks.push_back(std::make_unique<ScriptedTask>(TaskType::kFile, id, *family, 100));
    views.push_back(tasks.back().get());
  }
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
  rlimit tight = saved;
  tight.rlim_cur = 400;
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &tight), 0);
  const HRESULT hr = store_->SaveTasks(views);
  ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
  ASSERT_EQ(hr, S_OK);

  FamilyMap families;
  ASSERT_EQ(store_->LoadAll(families), S_OK);
  std::vector<std::uint32_t> order;
  families.at(6)->ForEachTask([&order](const Task& t) { order.push_back(t.Id()); });
  ASSERT_EQ(order.size(), kTasks);
  EXPECT_EQ(order.front(), kTasks) << "file tasks put at the front in turn";
  EXPECT_EQ(order.back(), 1u);
  EXPECT_EQ(Names(), (std::vector<std::string>{"6.1.tsb", "6.257.tsb", "6.513.tsb", "6.tsf"}))
      << "one file per batch, and no temporary file may remain";

  // Records of 1 TB files (4 MB of bitmap each) would make a batch too big
  // to load: they keep files of their own.
  constexpr std::uint64_t kTerabyte = 1ull << 40;
  std::vector<std::unique_ptr<ScriptedTask>> huge;
  std::vector<const Task*> hugeViews;
  for (std::uint32_t id = 701; id <= 703; ++id) {
    huge.push_back(std::make_unique<ScriptedTask>(TaskType::kFile, id, *family, kTerabyte));
    hugeViews.push_back(huge.back().get());
  }
  ASSERT_EQ(store_->SaveTasks(hugeViews), S_OK);
  families.clear();
  ASSERT_EQ(store_->LoadAll(families), S_OK);
  std::vector<std::uint32_t> hugeIds;
  families.at(6)->ForEachTask([&hugeIds, kTerabyte](const Task& t) {
    if (t.FileSize() == kTerabyte) hugeIds.push_back(t.Id());
  });
  EXPECT_EQ(hugeIds, (std::vector<std::uint32_t>{703, 702, 701}));
  EXPECT_EQ(families.at(6)->PendingCount(), kTasks + 3);
}

// A folder's children share one file; finished ones are listed beside it, a
// child saved again alone wins with its newer record, and the batch goes
// when its last task is done, also when another process finishes them.
TEST_F(BinaryFileTaskStoreTest, BatchedTasksLoadWithoutFinishedOnesAndWithTheirNewestRecords) {
  auto family = MakeFamily(7);
  ASSERT_EQ(store_->SaveFamily(*family), S_OK);
  std::vector<std::unique_ptr<ScriptedTask>> tasks;
  std::vector<const Task*> views;
  tasks.push_back(std::make_unique<ScriptedTask>(TaskType::kDirectory, 1, *family));
  for (std::uint32_t id = 2; id <= 6; ++id)
    tasks.push_back(std::make_unique<ScriptedTask>(TaskType::kFile, id, *family, 100 + id));
  for (const auto& task : tasks) views.push_back(task.get());
  ASSERT_EQ(store_->SaveTasks(views), S_OK);
  EXPECT_EQ(Names(), (std::vector<std::string>{"7.1.tsb", "7.tsf"}));
  ASSERT_EQ(store_->DeleteTask(7, 2), S_OK);
  ASSERT_EQ(store_->DeleteTask(7, 4), S_OK);
  ScriptedTask progressed(TaskType::kFile, 3, *family, 70000);
  ASSERT_EQ(store_->SaveTask(progressed), S_OK);
  SaveTask(*family, TaskType::kFile, 9);  // saved alone, the old way
  const fs::path dir = store_->Folder();
  const std::string batch = ReadText(dir / "7.1.tsb");
  WriteText(dir / "7.50.tsb", batch.substr(0, batch.size() - 10));  // torn
  WriteText(dir / "7.60.tsb", batch);                                // its first task is not 60
  {
    std::ofstream torn(dir / "7.1.tsd", std::ios::binary | std::ios::app);
    torn.write("\x05\x00", 2);  // half an id, as a full disk would leave it
  }

  // Loaded and finished by another store, as by the next process.
  BinaryFileTaskStore next("alice@demo", context_);
  FamilyMap families;
  ASSERT_EQ(next.LoadAll(families), S_OK);
  std::vector<std::pair<std::uint32_t, std::uint64_t>> loaded;
  families.at(7)->ForEachTask([&loaded](const Task& t) { loaded.emplace_back(t.Id(), t.FileSize()); });
  using Loaded = std::vector<std::pair<std::uint32_t, std::uint64_t>>;
  EXPECT_EQ(loaded, (Loaded{{9, 100}, {6, 106}, {5, 105}, {3, 70000}, {1, 0}}));
  for (std::uint32_t id : {3u, 5u, 6u}) ASSERT_EQ(next.DeleteTask(7, id), S_OK);
  EXPECT_TRUE(fs::exists(dir / "7.1.tsb")) << "task 1 is not done yet";
  EXPECT_FALSE(fs::exists(dir / "7.3.tsk"));
  ASSERT_EQ(next.DeleteTask(7, 1), S_OK);
  EXPECT_EQ(Names(), (std::vector<std::string>{"7.50.tsb", "7.60.tsb", "7.9.tsk", "7.tsf"}))
      << "a done batch goes with its list; bad ones stay";

  // A list left by a batch of the same name must not finish the new one.
  WriteText(dir / "7.1.tsd", std::string("\x01\x00\x00\x00\x02\x00\x00\x00", 8));
  ASSERT_EQ(next.SaveTasks(std::span(views).first(3)), S_OK);
  ASSERT_TRUE(fs::exists(dir / "7.1.tsb"));
  families.clear();
  ASSERT_EQ(store_->LoadAll(families), S_OK);
  std::vector<std::uint32_t> ids;
  families.at(7)->ForEachTask([&ids](const Task& t) { ids.push_back(t.Id()); });
  EXPECT_EQ(ids, (std::vector<std::uint32_t>{9, 3, 2, 1}));
  ASSERT_EQ(store_->DeleteFamily(7), S_OK);
  EXPECT_TRUE(Names().empty());
}

// The process dies in the middle of writing the new record (the file-size
// limit kills it with SIGXFSZ); the previous record must survive whole.
TEST_F(BinaryFileTaskStoreTest, ACrashDuringASaveLeavesThePreviousFile) {
  auto family = MakeFamily(4);
  family->SetOption("note", std::string(100, 'n'));
  ASSERT_EQ(store_->SaveFamily(*family), S_OK);
  const fs::path file = store_->Folder() / "4.tsf";
  const std::string before = ReadText(file);
  family->SetOption("more", std::string(200, 'm'));

  pid_t child = ::fork();
  ASSERT_NE(child, -1);
  if (child == 0) {
    rlimit limit{1000, 1000};
    ::setrlimit(RLIMIT_FSIZE, &limit);
    (void)store_->SaveFamily(*family);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << "the save must die halfway";
  EXPECT_EQ(ReadText(file), before);
  FamilyMap families;
  ASSERT_EQ(store_->LoadAll(families), S_OK);
  ASSERT_EQ(families.count(4), 1u);
  EXPECT_EQ(families[4]->Options().size(), 1u);
  EXPECT_EQ(Names(), std::vector<std::string>{"4.tsf"}) << "the half-written temporary file is cleared";
}

TEST(BinaryFileTaskStoreNames, AccountFolderIsOneSafePathComponent) {
  const std::string longName(300, 'a');
  struct Case {
    std::string account, folder;
  } cases[] = {{"alice@demo", "alice@demo"}, {"../etc", "..%2Fetc"}, {".", "%2E"}, {"..", "%2E%2E"},
               {"", "%00"},                  {"a b%c", "a%20b%25c"}, {"张三@demo", "张三@demo"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.account);
    EXPECT_EQ(BinaryFileTaskStore::FolderNameForAccount(c.account), c.folder);
  }
  std::string folded = BinaryFileTaskStore::FolderNameForAccount(longName);
  EXPECT_LT(folded.size(), 255u);
  EXPECT_NE(folded, BinaryFileTaskStore::FolderNameForAccount(longName + "b")) << "cut names stay apart";
}

}  // namespace
}  // namespace korvex
