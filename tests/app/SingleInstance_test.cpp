// Starting korvexdata while it runs: the later process asks the running one
// to show itself and ends with 0; a client that crashed does not keep the
// next one from starting.

#include "foundation/LogMgr.h"
#include "foundation/Registry.h"
#include "support/TempHome.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace {

namespace fs = std::filesystem;
using korvex::testing::ScopedEnv;

constexpr int kStillRunning = -1;

pid_t StartClient() {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl(KORVEXDATA_PATH, KORVEXDATA_PATH, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  return pid;
}

// The exit code, or kStillRunning after `ms` milliseconds.
int WaitExit(pid_t pid, int ms) {
  for (int waited = 0; waited <= ms; waited += 50) {
    int status = 0;
    if (::waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return kStillRunning;
}

bool WaitUntil(const std::function<bool()>& done, int ms = 20000) {
  for (int waited = 0; waited <= ms && !done(); waited += 50) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  return done();
}

class SingleInstance : public korvex::testing::TempHomeTest {
 protected:
  void TearDown() override {
    for (const pid_t pid : running_) {
      ::kill(pid, SIGKILL);
      (void)WaitExit(pid, 10000);
    }
    TempHomeTest::TearDown();
  }

  pid_t Track(pid_t pid) {
    running_.push_back(pid);
    return pid;
  }

  std::vector<pid_t> running_;
  ScopedEnv platform_{"QT_QPA_PLATFORM", "offscreen"};
};

TEST_F(SingleInstance, LaterStartShowsTheRunningClientAndCrashesDoNotBlock) {
  ASSERT_TRUE(korvex::WriteDword(korvex::Hive::CurrentUser, korvex::kProductKey, "LogLevel", korvex::kLogInfo));
  const fs::path socket = Home() / "run" / "KorvexDataSMB.Running";
  const fs::path log = Home() / "data" / "KorvexDataSMB" / "KorvexDataSMB.log";

  const pid_t first = Track(StartClient());
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(socket); }));
  EXPECT_EQ(WaitExit(StartClient(), 20000), 0);
  EXPECT_TRUE(WaitUntil([&] {
    return fs::exists(log) && korvex::testing::ReadText(log).find("A later start asked for the login dialog") !=
                                  std::string::npos;
  }));
  EXPECT_EQ(WaitExit(first, 0), kStillRunning);

  // The crashed client's socket file stays behind; the next start is first.
  ::kill(first, SIGKILL);
  (void)WaitExit(first, 10000);
  running_.clear();
  ASSERT_TRUE(fs::exists(socket));
  const pid_t next = Track(StartClient());
  EXPECT_EQ(WaitExit(next, 4000), kStillRunning);
  EXPECT_EQ(WaitExit(StartClient(), 20000), 0);
}

}  // namespace
