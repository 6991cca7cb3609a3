// korvex put, get and transfers as child processes against korvexd: a tree
// goes up and comes back, an encrypted upload killed in the middle resumes
// sending only its unfinished groups and decrypts to the original bytes, an
// existing name is replaced only on request, a background transfer runs
// on after its command returned, and a killed put or get of small files
// resumes without losing or doubling a file.

#include "KorvexRun.h"
#include "support/KorvexdFixture.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <thread>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using korvex::testing::ReadText;
using korvex::testing::WriteText;

class TransferCommands : public KorvexdTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    // Slow chunk writes leave time to kill an upload in the middle; the
    // fault on stream opens never fires and only counts them.
    ASSERT_NO_FATAL_FAILURE(StartKorvexd({"--seed-demo", "--fault",
                                          "delay=40,path=^/idtv1/stream/write/,count=100000,ttl=3600", "--fault",
                                          "delay=1,path=^/idtv1/stream/open/,nth=100000,ttl=3600"}));
    const KorvexRun login = RunKorvex({"login", "alice", "--domain", "demo", "--password-stdin"}, "alice-demo-1\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
  }
};

TEST_F(TransferCommands, TreesRoundTripAKilledEncryptedUploadResumesAndDecrypts) {
  const fs::path tree = Home() / "tree";
  WriteText(tree / "one.bin", Pattern(32769, 1));
  WriteText(tree / "empty.txt", "");
  WriteText(tree / "a" / "b.txt", "b");
  fs::create_directories(tree / "empty");
  const std::string big = Pattern(std::size_t{6} << 20, 2);
  WriteText(Home() / "big.bin", big);

  // The service stores no empty file: it is left out and named, the rest
  // goes up; alone, it fails the command with the service's reason.
  KorvexRun run = RunKorvex({"put", tree.string(), "/"});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("empty.txt: The uploaded file could not be null (0x80070BCC)"), std::string::npos) << run.err;
  run = RunKorvex({"put", (tree / "empty.txt").string(), "/"});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("The uploaded file could not be null"), std::string::npos) << run.err;

  const int opensBefore = StreamOpens();
  {
    KorvexChild put;
    ASSERT_TRUE(put.Start({"put", "--encrypt", "--password-stdin", (Home() / "big.bin").string()}, "pw-one\n"));
    for (int i = 0; i < 3000 && StreamOpens() < opensBefore + 3; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }  // killed with SIGKILL in the middle of its fourth group
  run = RunKorvex({"transfers"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("big.bin"), std::string::npos) << run.out;
  run = RunKorvex({"transfers", "resume"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("completed"), std::string::npos) << run.err;
  // 6 MiB and the 20-byte header make 7 groups; the two under way at the
  // kill (one being checked, the next on the wire) go again.
  EXPECT_LE(StreamOpens() - opensBefore, 7 + 2) << "finished groups were sent again";

  // The destination folder does not exist yet: it is made.
  const fs::path down = Home() / "down";
  run = RunKorvex({"get", "/tree", "/big.bin.lock", down.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadText(down / "tree" / "one.bin"), ReadText(tree / "one.bin"));
  EXPECT_EQ(ReadText(down / "tree" / "a" / "b.txt"), "b");
  EXPECT_FALSE(fs::exists(down / "tree" / "empty.txt"));
  EXPECT_TRUE(fs::is_directory(down / "tree" / "empty"));
  const std::string locked = ReadText(down / "big.bin.lock");
  EXPECT_EQ(locked.size(), big.size() + 20);

  WriteText(down / "big.bin.lock", "old");
  run = RunKorvex({"get", "/big.bin.lock", down.string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(ReadText(down / "big.bin.lock"), "old");
  run = RunKorvex({"get", "--overwrite", "/big.bin.lock", down.string()});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(ReadText(down / "big.bin.lock") == locked) << "the bytes differ";

  // A wrong password writes nothing and keeps the encrypted file.
  run = RunKorvex({"decrypt", "--password-stdin", (down / "big.bin.lock").string()}, "pw-two\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(fs::exists(down / "big.bin"));
  EXPECT_TRUE(ReadText(down / "big.bin.lock") == locked) << "the encrypted file changed";
  run = RunKorvex({"decrypt", "--password-stdin", (down / "big.bin.lock").string()}, "pw-one\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(ReadText(down / "big.bin") == big) << "the decrypted bytes differ";

  // --background returns at once; a detached runner finishes the transfer.
  fs::create_directories(Home() / "later");
  run = RunKorvex({"get", "--background", "/tree/one.bin", (Home() / "later").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (int i = 0; i < 600 && !fs::exists(Home() / "later" / "one.bin"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(ReadText(Home() / "later" / "one.bin"), ReadText(tree / "one.bin"));
}

// Small files are stored as queued and not again until each is done: a put
// or a get killed in the middle of one resumes with every file at the other
// end once and whole, fetches or sends again only the file that was on the
// wire, and leaves no partial file behind.
TEST_F(TransferCommands, AKilledPutAndGetOfSmallFilesResumeWithEveryFileOnce) {
  constexpr int kFiles = 24;
  const fs::path tree = Home() / "small";
  for (int i = 0; i < kFiles; ++i) WriteText(tree / ("f" + std::to_string(i) + ".bin"), Pattern(4096, 10 + i));
  const int opensBefore = StreamOpens();
  {
    KorvexChild put;
    ASSERT_TRUE(put.Start({"put", tree.string(), "/"}, ""));
    for (int i = 0; i < 3000 && StreamOpens() < opensBefore + kFiles / 2; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(StreamOpens(), opensBefore + kFiles / 2) << "the put did not get under way";
  }  // killed with SIGKILL while a file is on the wire
  KorvexRun run = RunKorvex({"transfers", "resume"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("completed"), std::string::npos) << run.err;
  EXPECT_LE(StreamOpens() - opensBefore, kFiles + 1) << "finished files were sent again";

  run = RunKorvex({"ls", "/small"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  int listed = 0;
  for (std::size_t at = run.out.find(".bin"); at != std::string::npos; at = run.out.find(".bin", at + 1)) ++listed;
  EXPECT_EQ(listed, kFiles) << run.out;

  // Slow reads leave time to kill the get while a file is on the wire.
  const std::string reads = "^/idtv1/stream/read/";
  ASSERT_TRUE(AddFault("delay=40,path=" + reads + ",count=100000,ttl=3600"));
  const fs::path down = Home() / "down";
  {
    KorvexChild get;
    ASSERT_TRUE(get.Start({"get", "/small", down.string()}, ""));
    for (int i = 0; i < 3000 && KorvexdFaultSeen(korvexd_, reads) < kFiles / 2; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_GE(KorvexdFaultSeen(korvexd_, reads), kFiles / 2) << "the get did not get under way";
  }  // killed with SIGKILL while a file is on the wire
  const int readsAtKill = KorvexdFaultSeen(korvexd_, reads);
  EXPECT_LT(readsAtKill, kFiles) << "the get ended before it was killed";
  run = RunKorvex({"transfers", "resume"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("completed"), std::string::npos) << run.err;
  EXPECT_LE(KorvexdFaultSeen(korvexd_, reads), kFiles + 1) << "finished files were fetched again";
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(down / "small")) names.insert(entry.path().filename().string());
  std::set<std::string> expected;
  for (int i = 0; i < kFiles; ++i) expected.insert("f" + std::to_string(i) + ".bin");
  EXPECT_EQ(names, expected) << "a file is missing, doubled or left partial";
  for (int i = 0; i < kFiles; ++i) {
    const std::string name = "f" + std::to_string(i) + ".bin";
    EXPECT_TRUE(ReadText(down / "small" / name) == Pattern(4096, 10 + i)) << name << " differs";
  }
}

}  // namespace
}  // namespace korvex::test
