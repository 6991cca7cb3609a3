// korvex backup as child processes against korvexd: a pair is added once,
// the daily time is checked and kept, a run sends the folder with the pair
// listed as run, and a paused pair is left alone; the daemon logs in again
// when the service ends its session.

#include "KorvexRun.h"
#include "support/KorvexdProcess.h"
#include "support/TempHome.h"
#include "platform/Event.h"
#include "platform/Paths.h"
#include "sync/BackupRunnerLock.h"
#include "tasks/BinaryFileTaskStore.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <chrono>
#include <filesystem>
#include <thread>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using korvex::testing::ScopedEnv;
using korvex::testing::WriteText;

class BackupCommands : public korvex::testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    StartService({"--seed-demo"});
  }
  /// korvexd anew with `args`, and alice logged in with her password saved.
  void StartService(const std::vector<std::string>& args) {
    ASSERT_TRUE(korvexd_.Start(args)) << korvexd_.Error();
    env_.clear();
    for (const char* name : {"KORVEX_WEB_URL", "KORVEX_API_URL", "KORVEX_DATA_URL"})
      env_.push_back(std::make_unique<ScopedEnv>(name, korvexd_.BaseUrl().c_str()));
    const KorvexRun login = RunKorvex({"login", "alice", "--domain", "demo", "--password-stdin", "--remember-password"},
                                      "alice-demo-1\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
  }
  KorvexdProcess korvexd_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

// A backup sends the whole folder, hidden and ".tmp" files too; what the
// service cannot store (an empty file, a second name differing only in
// case) is left out and named, and the rest is backed up.
TEST_F(BackupCommands, ARunSendsEveryFileItCanAndNamesTheRest) {
  const fs::path docs = Home() / "mixed";
  for (const char* name : {".env", ".config/settings", "draft.tmp", "Report.txt", "report.txt"}) WriteText(docs / name, name);
  WriteText(docs / "empty", "");
  ASSERT_EQ(RunKorvex({"backup", "add", docs.string(), "/Mixed"}).exitCode, 0);
  const KorvexRun run = RunKorvex({"backup", "run"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("not backed up: " + (docs / "empty").string() + ": The uploaded file could not be null"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("txt: its name differs only in case"), std::string::npos) << run.err;
  httplib::Client client(korvexd_.BaseUrl());
  const auto tree = client.Get("/admin/tree/alice");
  ASSERT_TRUE(tree && tree->status == 200);
  for (const char* name : {"\".env\"", "\"settings\"", "\"draft.tmp\""})
    EXPECT_NE(tree->body.find(name), std::string::npos) << name;
  const bool upper = tree->body.find("\"Report.txt\"") != std::string::npos;
  const bool lower = tree->body.find("\"report.txt\"") != std::string::npos;
  EXPECT_TRUE(upper != lower) << "exactly one of the two names is backed up";
  EXPECT_EQ(tree->body.find("\"empty\""), std::string::npos);
}

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
  EXPECT_NE(run.out.find("\tdone, 2 uploaded\t"), std::string::npos) << run.out;

  // A service folder inside another pair's is refused; one below missing
  // folders is taken, and the first run makes them.
  const fs::path other = Home() / "other";
  fs::create_directories(other);
  run = RunKorvex({"backup", "add", other.string(), "/Docs/sub"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("overlaps the backup " + docs.string()), std::string::npos) << run.err;
  run = RunKorvex({"backup", "add", other.string(), "/Deep/er/Other"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("/Deep is missing on the service; the first run makes it"), std::string::npos) << run.out;
  fs::remove(other);
  run = RunKorvex({"backup", "list"});
  EXPECT_NE(run.out.find("missing\t-\tnever run\t" + other.string()), std::string::npos) << run.out;
  ASSERT_EQ(RunKorvex({"backup", "remove", other.string()}).exitCode, 0);

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

// The service ends the daemon's session while it waits for the next run; the
// daemon logs in again with the saved password and the run still goes up.
TEST_F(BackupCommands, TheDaemonLogsInAgainWhenTheServiceEndsItsSession) {
  ASSERT_NO_FATAL_FAILURE(StartService({"--seed-demo", "--session-idle", "3"}));
  const fs::path docs = Home() / "docs";
  fs::create_directories(docs);
  // A name the service refuses is skipped and told, never retried for ever.
  WriteText(docs / "bad\\name.txt", "refused");
  ASSERT_EQ(RunKorvex({"backup", "add", docs.string(), "/Docs"}).exitCode, 0);
  KorvexChild daemon;
  ASSERT_TRUE(daemon.Start({"daemon"}, {}));
  const korvex::BackupRunnerLock runner(korvex::paths::AppDataDir() / "KorvexDataSMB" / "TaskStore" /
                                        korvex::BinaryFileTaskStore::FolderNameForAccount("alice@demo"));
  for (int i = 0; i < 300 && runner.Holder().program != "korvex daemon"; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_EQ(runner.Holder().program, "korvex daemon");
  std::this_thread::sleep_for(std::chrono::seconds(8));  // the session ends unused
  WriteText(docs / "late.txt", "late");
  ::kill(runner.Holder().pid, SIGUSR1);
  httplib::Client service(korvexd_.BaseUrl());
  bool backedUp = false;
  for (int i = 0; i < 900 && !backedUp; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto tree = service.Get("/admin/tree/alice");
    backedUp = tree && tree->body.find("late.txt") != std::string::npos;
  }
  const fs::path runs = korvex::paths::AppDataDir() / "KorvexDataSMB" / "alice@demo" / "backup-runs";
  for (int i = 0; i < 100 && korvex::testing::ReadText(runs).find("skip\t") == std::string::npos; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ::kill(runner.Holder().pid, SIGTERM);
  const KorvexRun run = daemon.Finish(30000);
  EXPECT_TRUE(backedUp) << run.err;
  EXPECT_NE(run.err.find("logged in again"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("korvex daemon: warning: backup of " + docs.string() + " skipped 1 file"),
            std::string::npos) << run.err;
}

}  // namespace
}  // namespace korvex::test
