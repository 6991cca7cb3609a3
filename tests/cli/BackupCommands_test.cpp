// korvex backup as child processes against korvexd: a pair is added once,
// the daily time is checked and kept, a run sends the folder with the pair
// listed as run, and a paused pair is left alone.

#include "KorvexRun.h"
#include "support/KorvexdProcess.h"
#include "support/TempHome.h"
#include "platform/Event.h"
#include "platform/Paths.h"
#include "sync/BackupRunnerLock.h"
#include "tasks/BinaryFileTaskStore.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using korvex::testing::ScopedEnv;
using korvex::testing::WriteText;

class BackupCommands : public korvex::testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error();
    for (const char* name : {"KORVEX_WEB_URL", "KORVEX_API_URL", "KORVEX_DATA_URL"})
      env_.push_back(std::make_unique<ScopedEnv>(name, korvexd_.BaseUrl().c_str()));
    const KorvexRun login = RunKorvex({"login", "alice", "--domain", "demo", "--password-stdin"}, "alice-demo-1\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
  }
  KorvexdProcess korvexd_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

TEST_F(BackupCommands, PairsScheduleAndRunsFromTheCommandLine) {
  const fs::path docs = Home() / "docs";
  WriteText(docs / "a.txt", "a");
  WriteText(docs / "sub" / "b.txt", "bb");
  KorvexRun run = RunKorvex({"backup", "add", docs.string(), "/Docs"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  run = RunKorvex({"backup", "add", docs.string() + "/", "/Elsewhere"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("already exists"), std::string::npos) << run.err;
  EXPECT_EQ(RunKorvex({"backup", "add", (Home() / "none").string(), "/None"}).exitCode, 1);

  for (const char* bad : {"25:00", "7", "12:60", "1:2:3"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(RunKorvex({"backup", "schedule", bad}).exitCode, 2);
  }
  ASSERT_EQ(RunKorvex({"backup", "schedule", "02:30"}).exitCode, 0);
  EXPECT_EQ(RunKorvex({"backup", "schedule"}).out, "02:30\n");

  run = RunKorvex({"backup", "run"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  run = RunKorvex({"ls", "/Docs/sub"});
  EXPECT_NE(run.out.find("b.txt"), std::string::npos) << run.out << run.err;
  run = RunKorvex({"backup", "list"});
  EXPECT_NE(run.out.find("daily at 02:30"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("last run never"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("active\t"), std::string::npos) << run.out;

  // While another program runs the account's backups, `backup run` asks it
  // to run one instead of uploading the same files beside it.
  korvex::Event* asked = korvex::SyncNowSignalEvent();
  korvex::BackupRunnerLock desktop(korvex::paths::AppDataDir() / "KorvexDataSMB" / "TaskStore" /
                                   korvex::BinaryFileTaskStore::FolderNameForAccount("alice@demo"));
  ASSERT_EQ(desktop.TryAcquire("korvexdata"), korvex::S_OK);
  run = RunKorvex({"backup", "run"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("run by korvexdata"), std::string::npos) << run.out;
  EXPECT_TRUE(asked->Wait(5000));
  desktop.Release();

  ASSERT_EQ(RunKorvex({"backup", "pause", docs.string()}).exitCode, 0);
  WriteText(docs / "late.txt", "late");
  run = RunKorvex({"backup", "run"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("nothing to back up"), std::string::npos) << run.out;
  EXPECT_EQ(RunKorvex({"ls", "/Docs"}).out.find("late.txt"), std::string::npos);
  ASSERT_EQ(RunKorvex({"backup", "remove", docs.string()}).exitCode, 0);
  EXPECT_EQ(RunKorvex({"backup", "remove", docs.string()}).exitCode, 1);
}

}  // namespace
}  // namespace korvex::test
