// One owner of an account's transfers across processes, against korvexd:
// two `put --background` started together both arrive under two ids; a
// foreground put while `korvex daemon` owns the transfers sends each group
// once and its finished record stays finished after the daemon ends; a
// put that follows a killed owner takes over; and a session the service
// ends during a put is renewed with the saved password, or stops the put
// with a message when there is none.

#include "KorvexRun.h"
#include "platform/Paths.h"
#include "session/TransferOwner.h"
#include "support/KorvexdFixture.h"
#include "tasks/BinaryFileTaskStore.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <thread>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using korvex::testing::ReadText;
using korvex::testing::WriteText;

class TransferOwnerTest : public KorvexdTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    // Slow chunk writes keep an upload under way long enough to meet it;
    // the fault on stream opens never fires and only counts them.
    ASSERT_NO_FATAL_FAILURE(StartKorvexd({"--seed-demo", "--fault",
                                          "delay=25,path=^/idtv1/stream/write/,count=10000,ttl=3600", "--fault",
                                          "delay=1,path=^/idtv1/stream/open/,nth=10000,ttl=3600"}));
  }

  void LogIn(bool rememberPassword) {
    std::vector<std::string> args{"login", "alice", "--domain", "demo", "--password-stdin"};
    if (rememberPassword) args.push_back("--remember-password");
    const KorvexRun login = RunKorvex(args, "alice-demo-1\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
  }

  /// Starts `korvex daemon` and waits, bounded, until it owns the transfers.
  void StartDaemon(KorvexChild& daemon) {
    ASSERT_TRUE(daemon.Start({"daemon"}, {}));
    const session::TransferOwner probe = Owner();
    for (int i = 0; i < 300 && probe.Holder().program != "korvex daemon"; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(probe.Holder().program, "korvex daemon");
  }

  session::TransferOwner Owner() const {
    return session::TransferOwner(korvex::paths::AppDataDir() / "KorvexDataSMB" / "TaskStore" /
                                      BinaryFileTaskStore::FolderNameForAccount("alice@demo"),
                                  "test");
  }

  /// The size korvexd holds for a complete file `name` of alice's disk; -1 when none.
  long long ServiceSize(const std::string& name) {
    httplib::Client client(korvexd_.BaseUrl());
    const auto tree = client.Get("/admin/tree/alice");
    if (!tree || tree->status != 200) return -1;
    long long size = -1;
    const std::function<void(const nlohmann::json&)> walk = [&](const nlohmann::json& node) {
      if (node.is_object()) {
        if (node.value("name", "") == name && node.contains("size") && node.value("complete", true))
          size = node["size"].get<long long>();
        for (const auto& [key, child] : node.items()) walk(child);
      } else if (node.is_array()) {
        for (const auto& child : node) walk(child);
      }
    };
    walk(nlohmann::json::parse(tree->body));
    return size;
  }

  void WaitForStreamOpens(int atLeast) {
    for (int i = 0; i < 3000 && StreamOpens() < atLeast; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }

  void EndSessions() {
    httplib::Client client(korvexd_.BaseUrl());
    const auto answer = client.Post("/admin/sessions/end", "", "text/plain");
    ASSERT_TRUE(answer && answer->status == 200);
  }

  /// The state `korvex transfers` lists for family `id`.
  static std::string ListedState(const std::string& listing, const std::string& id) {
    std::smatch match;
    if (std::regex_search(listing, match, std::regex("(^|\n)" + id + "\t([a-z]+)\t"))) return match[2];
    return "absent";
  }
};

TEST_F(TransferOwnerTest, TwoBackgroundPutsStartedTogetherBothArriveUnderTwoIds) {
  ASSERT_NO_FATAL_FAILURE(LogIn(false));
  WriteText(Home() / "one.bin", Pattern(1500000, 1));
  WriteText(Home() / "two.bin", Pattern(1300000, 2));
  KorvexChild first, second;
  ASSERT_TRUE(first.Start({"put", "--background", (Home() / "one.bin").string()}, {}));
  ASSERT_TRUE(second.Start({"put", "--background", (Home() / "two.bin").string()}, {}));
  const KorvexRun a = first.Finish(), b = second.Finish();
  ASSERT_EQ(a.exitCode, 0) << a.err;
  ASSERT_EQ(b.exitCode, 0) << b.err;
  std::smatch idA, idB;
  ASSERT_TRUE(std::regex_search(a.out, idA, std::regex("queued ([0-9]+)"))) << a.out;
  ASSERT_TRUE(std::regex_search(b.out, idB, std::regex("queued ([0-9]+)"))) << b.out;
  EXPECT_NE(idA[1], idB[1]);
  for (int i = 0; i < 600 && (ServiceSize("one.bin") < 0 || ServiceSize("two.bin") < 0); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(ServiceSize("one.bin"), 1500000);
  EXPECT_EQ(ServiceSize("two.bin"), 1300000);
  // A file is complete on the service a moment before its family is marked
  // completed on disk.
  KorvexRun list = RunKorvex({"transfers"});
  for (int i = 0; i < 100 && (ListedState(list.out, idA[1]) != "completed" ||
                              ListedState(list.out, idB[1]) != "completed"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    list = RunKorvex({"transfers"});
  }
  EXPECT_EQ(ListedState(list.out, idA[1]), "completed") << list.out;
  EXPECT_EQ(ListedState(list.out, idB[1]), "completed") << list.out;
}

TEST_F(TransferOwnerTest, AForegroundPutHandsItsFamilyToTheDaemonAndItStaysCompleted) {
  ASSERT_NO_FATAL_FAILURE(LogIn(false));
  KorvexChild daemon;
  ASSERT_NO_FATAL_FAILURE(StartDaemon(daemon));
  session::TransferOwner probe = Owner();

  WriteText(Home() / "big.bin", Pattern(std::size_t{3} << 20, 3));
  const int opensBefore = StreamOpens();
  const KorvexRun put = RunKorvex({"put", (Home() / "big.bin").string()});
  ASSERT_EQ(put.exitCode, 0) << put.err;
  EXPECT_NE(put.err.find("korvex daemon (pid"), std::string::npos) << put.err;
  EXPECT_EQ(StreamOpens() - opensBefore, 3) << "a group went twice";
  EXPECT_EQ(ServiceSize("big.bin"), 3 << 20);

  ::kill(probe.Holder().pid, SIGTERM);
  const KorvexRun ended = daemon.Finish(30000);
  EXPECT_EQ(ended.exitCode, 0) << ended.err;
  const KorvexRun list = RunKorvex({"transfers"});
  EXPECT_NE(list.out.find("\tcompleted\tput\t"), std::string::npos) << list.out;
  EXPECT_EQ(list.out.find("stopped"), std::string::npos) << list.out;
}

TEST_F(TransferOwnerTest, TheDaemonSaysWhyATransferRetriesOncePerReasonAndMinute) {
  ASSERT_NO_FATAL_FAILURE(LogIn(false));
  KorvexChild daemon;
  ASSERT_NO_FATAL_FAILURE(StartDaemon(daemon));
  session::TransferOwner probe = Owner();

  // Its own pattern: the fault counts the opens it refuses.
  ASSERT_TRUE(AddFault("http=500,path=^/idtv1/stream/open,count=100000,ttl=120"));
  WriteText(Home() / "later.bin", Pattern(40000, 9));
  const KorvexRun run = RunKorvex({"put", "--background", (Home() / "later.bin").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::smatch queued;
  ASSERT_TRUE(std::regex_search(run.out, queued, std::regex("queued ([0-9]+)"))) << run.out;
  // The first refusal and two retries after it, each reported again.
  for (int i = 0; i < 3000 && KorvexdFaultSeen(korvexd_, "^/idtv1/stream/open") < 3; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(ClearFaults());
  // Then it goes through, and the runner that follows it ends too.
  for (int i = 0; i < 3000 && ServiceSize("later.bin") != 40000; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ServiceSize("later.bin"), 40000);
  ::kill(probe.Holder().pid, SIGTERM);
  const KorvexRun ended = daemon.Finish(30000);
  EXPECT_EQ(ended.exitCode, 0) << ended.err;
  const std::string line = "korvex daemon: transfer " + queued[1].str() + " (put) retrying " +
                           (Home() / "later.bin").string() +
                           ": Internal server error,abnormal network status (0x804F01F4); next try in";
  const std::size_t told = ended.err.find(line);
  EXPECT_NE(told, std::string::npos) << ended.err;
  EXPECT_EQ(ended.err.find(line, told + 1), std::string::npos) << "told at every attempt: " << ended.err;
}

TEST_F(TransferOwnerTest, APutFollowingAKilledOwnerTakesOverAndTheRestResumes) {
  ASSERT_NO_FATAL_FAILURE(LogIn(false));
  WriteText(Home() / "first.bin", Pattern(std::size_t{5} << 20, 4));
  WriteText(Home() / "second.bin", Pattern(std::size_t{2} << 20, 5));
  // The first four chunk writes are held two seconds each, so the owner is
  // still busy with first.bin when the follower starts, however fast the machine.
  httplib::Client admin(korvexd_.BaseUrl());
  const auto held = admin.Post("/admin/faults", "delay=2000,path=^/idtv1/stream/write/,count=4,ttl=600", "text/plain");
  ASSERT_TRUE(held && held->status == 200);
  const int opensBefore = StreamOpens();
  KorvexChild owner, follower;
  ASSERT_TRUE(owner.Start({"put", (Home() / "first.bin").string()}, {}));
  WaitForStreamOpens(opensBefore + 1);
  ASSERT_TRUE(follower.Start({"put", (Home() / "second.bin").string()}, {}));
  // The follower's family reaches the owner, which runs both.
  WaitForStreamOpens(opensBefore + 3);
  session::TransferOwner probe = Owner();
  ASSERT_EQ(probe.Holder().program, "korvex");
  ::kill(probe.Holder().pid, SIGKILL);
  const KorvexRun second = follower.Finish(120000);
  EXPECT_EQ(second.exitCode, 0) << second.err;
  EXPECT_NE(second.err.find("korvex (pid"), std::string::npos) << second.err;
  EXPECT_EQ(ServiceSize("second.bin"), 2 << 20);

  const KorvexRun resumed = RunKorvex({"transfers", "resume"}, {}, 120000);
  EXPECT_EQ(resumed.exitCode, 0) << resumed.err;
  EXPECT_EQ(ServiceSize("first.bin"), 5 << 20);
  // 7 groups in all; at most the two under way at each change of owner go again.
  EXPECT_LE(StreamOpens() - opensBefore, 7 + 4);
}

// The second file's preparation is held back three seconds; the service ends
// every session meanwhile, when no upload of the first attempt is under way.
TEST_F(TransferOwnerTest, ASessionEndedDuringAPutIsRenewedOrStopsThePutWithAMessage) {
  const std::string holdSecondPreupload = "delay=3000,path=^/file/preupload,nth=2,ttl=3600";
  const auto putTree = [&](const std::string& name, unsigned seed) {
    const fs::path tree = Home() / name;
    for (unsigned i = 0; i < 3; ++i) WriteText(tree / (name + std::to_string(i) + ".bin"), Pattern(300000, seed + i));
    httplib::Client client(korvexd_.BaseUrl());
    const auto added = client.Post("/admin/faults", holdSecondPreupload, "text/plain");
    EXPECT_TRUE(added && added->status == 200);
    KorvexChild put;
    EXPECT_TRUE(put.Start({"put", tree.string()}, {}));
    // Gone from the list once it fired: the second preparation is held now.
    for (int i = 0; i < 600; ++i) {
      const auto faults = client.Get("/admin/faults");
      if (!faults || faults->body.find("preupload") == std::string::npos) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EndSessions();
    return put.Finish(60000);
  };

  ASSERT_NO_FATAL_FAILURE(LogIn(true));
  KorvexRun run = putTree("a", 10);
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("logged in again"), std::string::npos) << run.err;
  EXPECT_EQ(ServiceSize("a2.bin"), 300000) << run.err;

  // Without a saved password the put stops and says why, instead of retrying.
  ASSERT_EQ(RunKorvex({"accounts", "forget", "alice"}).exitCode, 0);
  ASSERT_NO_FATAL_FAILURE(LogIn(false));
  run = putTree("b", 20);
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("the service ended the session; run `korvex login`"), std::string::npos) << run.err;
  EXPECT_EQ(ServiceSize("b2.bin"), -1);
}

}  // namespace
}  // namespace korvex::test
