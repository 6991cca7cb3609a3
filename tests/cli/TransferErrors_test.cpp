// korvex put, get and transfers against korvexd when things go wrong: a
// name the service refuses fails that file alone and the command lists it;
// a service failing for ever is given up on in bounded time and the
// transfer resumes later; a refused token and a vanished partial download
// are recovered; messages name the file and escape what the service sent;
// --json errors stay JSON.

#include "KorvexRun.h"
#include "store/LocalFileSystem.h"
#include "support/KorvexdFixture.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using korvex::testing::ReadText;
using korvex::testing::WriteText;

class TransferErrors : public KorvexdTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    // Slow chunk reads leave time to kill a download in the middle.
    ASSERT_NO_FATAL_FAILURE(
        StartKorvexd({"--seed-demo", "--fault", "delay=30,path=^/idtv1/stream/read/,count=10000,ttl=3600"}));
    const KorvexRun login = RunKorvex({"login", "alice", "--domain", "demo", "--password-stdin"}, "alice-demo-1\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
  }

};

TEST_F(TransferErrors, RefusedNamesFailAloneAndEveryStopSaysWhy) {
  const fs::path tree = Home() / "tree";
  WriteText(tree / "a.txt", "a");
  WriteText(tree / "back\\slash.txt", "b");
  WriteText(tree / "tab\tname.txt", "t");
  WriteText(tree / "sub" / "c.txt", "c");
  KorvexRun run = RunKorvex({"put", tree.string(), "/"});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("2 of 4 files failed:"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("back\\slash.txt: the service refuses this name (0x800700A1)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("tab\\tname.txt"), std::string::npos) << "the tab is shown escaped: " << run.err;
  EXPECT_EQ(run.err.find('\t'), std::string::npos) << run.err;

  // The other files arrived, the later ones included.
  const fs::path down = Home() / "down";
  run = RunKorvex({"get", "/tree", down.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadText(down / "tree" / "a.txt"), "a");
  EXPECT_EQ(ReadText(down / "tree" / "sub" / "c.txt"), "c");

  run = RunKorvex({"transfers"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("completed with errors\tput"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("completed\tget"), std::string::npos) << run.out;
  run = RunKorvex({"--json", "transfers", "list"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const nlohmann::json listed = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(listed.is_array()) << run.out;
  EXPECT_EQ(listed.size(), 2u);

  // More than the account's 10 GiB: refused before a byte is read, and said in words.
  const fs::path huge = Home() / "huge.bin";
  WriteText(huge, "");
  fs::resize_file(huge, std::uintmax_t{11} << 30);
  run = RunKorvex({"put", huge.string()});
  EXPECT_EQ(run.exitCode, 1) << run.err;
  EXPECT_NE(run.err.find("huge.bin: the cloud disk is full (0x804F0007)"), std::string::npos) << run.err;

  run = RunKorvex({"put", "/dev/null"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("/dev/null: not a regular file or folder"), std::string::npos) << run.err;

  run = RunKorvex({"transfers", "resume", "999"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("no such transfer: 999"), std::string::npos) << run.err;

  // A failure with --json is one JSON object on standard output.
  run = RunKorvex({"--json", "get", "/missing.txt", down.string()});
  EXPECT_EQ(run.exitCode, 1);
  const nlohmann::json error = nlohmann::json::parse(run.out, nullptr, false);
  ASSERT_TRUE(error.is_object()) << run.out;
  EXPECT_TRUE(error["error"].is_string());
  EXPECT_TRUE(error["code"].get<std::string>().starts_with("0x")) << run.out;
}

TEST_F(TransferErrors, AServiceFailingForeverIsGivenUpAndTheTransferResumesLater) {
  const std::string data = Pattern((std::size_t{2} << 20) + 7, 3);
  WriteText(Home() / "big.bin", data);
  ASSERT_TRUE(AddFault("http=500,path=^/idtv1/stream/open/,count=100000,ttl=120"));
  KorvexRun run = RunKorvex({"put", "--retry-for", "2s", (Home() / "big.bin").string()});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("gave up retrying at " + (Home() / "big.bin").string()), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("(0x804F01F4)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("korvex transfers resume"), std::string::npos) << run.err;

  run = RunKorvex({"transfers"});
  EXPECT_NE(run.out.find("stopped\tput"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("(0x804F01F4)"), std::string::npos) << run.out;

  ASSERT_TRUE(ClearFaults());
  run = RunKorvex({"transfers", "resume"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const fs::path down = Home() / "down";
  run = RunKorvex({"get", "/big.bin", down.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(ReadText(down / "big.bin") == data) << "the bytes differ";

  run = RunKorvex({"put", "--retry-for", "soon", (Home() / "big.bin").string()});
  EXPECT_EQ(run.exitCode, 2) << run.err;

  // A transfer that stopped can be removed, and is listed no more.
  WriteText(Home() / "other.bin", Pattern(70000, 4));
  ASSERT_TRUE(AddFault("http=500,path=^/idtv1/stream/open/,count=100000,ttl=120"));
  run = RunKorvex({"put", "--retry-for", "1s", (Home() / "other.bin").string()});
  EXPECT_EQ(run.exitCode, 1);
  const std::size_t hint = run.err.find("korvex transfers resume ");
  ASSERT_NE(hint, std::string::npos) << run.err;
  const std::string id = std::to_string(std::stoul(run.err.substr(hint + 24)));
  run = RunKorvex({"transfers", "remove", id});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  run = RunKorvex({"transfers"});
  EXPECT_EQ(run.out.find("other.bin"), std::string::npos) << run.out;
}

TEST_F(TransferErrors, ARefusedTokenAndAVanishedPartialDownloadAreRecovered) {
  const std::string data = Pattern((std::size_t{5} << 20) + 11, 5);
  WriteText(Home() / "big.bin", data);
  KorvexRun run = RunKorvex({"put", (Home() / "big.bin").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  // The service refuses the token of the second stream: a new preparation
  // fetches one and the download completes.
  const fs::path first = Home() / "first";
  ASSERT_TRUE(AddFault("stream=4003,path=^/idtv1/stream/read/,nth=40"));
  run = RunKorvex({"get", "/big.bin", first.string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(ReadText(first / "big.bin") == data) << "the bytes differ";

  // A download killed in its third group whose partial file is then
  // deleted starts again from its first group.
  const fs::path second = Home() / "second";
  KorvexChild get;
  ASSERT_TRUE(get.Start({"get", "/big.bin", second.string()}, ""));
  // The download's own partial file, whatever its name.
  const auto partialFile = [&second] {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(second, ec))
      if (localfs::IsPartialFileName(entry.path().filename().string())) return entry.path();
    return fs::path();
  };
  fs::path partial;
  std::error_code ec;
  for (int i = 0; i < 3000; ++i) {
    partial = partialFile();
    if (!partial.empty() && fs::file_size(partial, ec) >= (std::size_t{2} << 20)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  const KorvexRun killed = get.Finish(1);  // killed in the middle of the transfer
  ASSERT_FALSE(partial.empty()) << killed.err;
  ASSERT_TRUE(fs::exists(partial)) << killed.err;
  fs::remove(partial);
  run = RunKorvex({"transfers", "resume"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(ReadText(second / "big.bin") == data) << "the bytes differ";
}

TEST_F(TransferErrors, ASourceThatShrankGoesUpAsItNowIs) {
  // The file shrinks after the upload measured it and before any group was
  // read: the upload starts again from the file as it now is.
  const fs::path file = Home() / "shrinking.bin";
  WriteText(file, Pattern(std::size_t{3} << 20, 7));
  // The second fault never fires: it counts the preparations.
  ASSERT_TRUE(AddFault("delay=1,path=^/file/preupload,nth=100000"));
  ASSERT_TRUE(AddFault("delay=3000,path=^/file/preupload"));
  KorvexChild put;
  ASSERT_TRUE(put.Start({"put", "--retry-for", "20s", file.string()}, ""));
  for (int i = 0; i < 1500 && KorvexdFaultSeen(korvexd_, "^/file/preupload") < 1; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(KorvexdFaultSeen(korvexd_, "^/file/preupload"), 1) << "the upload was not prepared";
  const std::string shrunk = Pattern(500000, 8);
  WriteText(file, shrunk);
  KorvexRun run = put.Finish(60000);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("488.3 KiB / 488.3 KiB  100%"), std::string::npos) << "the total follows the file: " << run.err;
  run = RunKorvex({"get", "/shrinking.bin", (Home() / "down").string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(ReadText(Home() / "down" / "shrinking.bin") == shrunk) << "the bytes differ";
}

}  // namespace
}  // namespace korvex::test
