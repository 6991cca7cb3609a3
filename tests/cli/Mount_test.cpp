// korvex mount against korvexd: a tree copied in comes out the same, random
// ranges read back right and a seek fetches only the blocks it needs, renames
// and removals reach the service, rights become EACCES, and a service killed
// during a read gives EIO without hanging, after which a new mount works.
// Every file operation on the mount runs bounded: a hung mount is killed,
// which fails its pending calls, and teardown always lazily unmounts.

#include "KorvexRun.h"
#include "support/KorvexdFixture.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <random>
#include <thread>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using korvex::testing::ReadText;
using korvex::testing::WriteText;

constexpr const char* kBlockPath = "^/file/downloadblock/";

bool IsMountPoint(const fs::path& dir) {
  struct stat inside {}, above {};
  return ::stat(dir.c_str(), &inside) == 0 && ::stat(dir.parent_path().c_str(), &above) == 0 &&
         inside.st_dev != above.st_dev;
}

/// `pread` of [offset, offset + size) with its errno.
struct Slice {
  std::string bytes;
  int error = 0;
};

Slice ReadSlice(const fs::path& file, off_t offset, std::size_t size) {
  Slice slice;
  const int fd = ::open(file.c_str(), O_RDONLY);
  if (fd < 0) return {{}, errno};
  slice.bytes.resize(size);
  const ssize_t n = ::pread(fd, slice.bytes.data(), size, offset);
  if (n < 0) slice.error = errno;
  slice.bytes.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
  ::close(fd);
  return slice;
}

class KorvexMount : public KorvexdTest {
 protected:
  void SetUp() override {
    if (::access("/dev/fuse", R_OK | W_OK) != 0 || ::access("/usr/bin/fusermount3", X_OK) != 0)
      GTEST_SKIP() << "korvex mount needs /dev/fuse and fusermount3 (package fuse3); neither is usable here";
    TempHomeTest::SetUp();
    // Never fires: it only counts block reads.
    ASSERT_NO_FATAL_FAILURE(StartKorvexd({"--seed-demo", "--fault", "delay=1,path=^/file/downloadblock/,nth=100000,ttl=3600"}));
    LogIn("alice", "alice-demo-1");
    mnt_ = Home() / "mnt";
    fs::create_directories(mnt_);
  }

  void TearDown() override {
    if (daemon_ > 0) ::kill(daemon_, SIGKILL);
    if (!mnt_.empty()) Unmount();
    if (!Home().empty()) TempHomeTest::TearDown();
  }

  void LogIn(const std::string& name, const std::string& password) {
    const KorvexRun login = RunKorvex({"login", name, "--domain", "demo", "--password-stdin"}, password + "\n");
    ASSERT_EQ(login.exitCode, 0) << login.err;
  }

  /// Starts `korvex mount` and waits (bounded) until the folder is mounted.
  void Mount(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args{"mount", mnt_.string(), "--cache-dir", (Home() / "cache").string()};
    args.insert(args.end(), extra.begin(), extra.end());
    mount_ = std::make_unique<KorvexChild>();
    ASSERT_TRUE(mount_->Start(args, {}));
    for (int i = 0; i < 200 && !IsMountPoint(mnt_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(IsMountPoint(mnt_)) << "not mounted after 10 s: " << mount_->Finish(1000).err;
  }

  /// Ends the mount with SIGTERM as Ctrl-C would; returns its run.
  KorvexRun Unmount() {
    KorvexRun run;
    if (mount_) {
      (void)std::system(("fusermount3 -u " + Quoted(mnt_) + " 2>/dev/null").c_str());
      run = mount_->Finish(20000);
      mount_.reset();
    }
    // Whatever happened, nothing stays mounted over the temporary home.
    if (IsMountPoint(mnt_)) (void)std::system(("fusermount3 -uz " + Quoted(mnt_)).c_str());
    return run;
  }

  static std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

  /// Runs a shell command line, at most `seconds`.
  static KorvexRun Shell(const std::string& line, int seconds = 60) {
    return RunKorvexAt("/bin/sh", {"-c", line}, seconds * 1000);
  }

  /// Runs `work` on a thread of its own for at most `seconds`; a mount that
  /// hangs is killed, which fails the pending calls and frees the thread.
  void Bounded(const std::function<void()>& work, int seconds = 60) {
    auto done = std::async(std::launch::async, work);
    if (done.wait_for(std::chrono::seconds(seconds)) == std::future_status::ready) return done.get();
    ADD_FAILURE() << "the mount did not answer within " << seconds << " s";
    mount_.reset();  // SIGKILL
    (void)std::system(("fusermount3 -uz " + Quoted(mnt_)).c_str());
    done.wait();
  }

  int BlockReads() { return KorvexdFaultSeen(korvexd_, kBlockPath); }

  fs::path mnt_;
  std::unique_ptr<KorvexChild> mount_;
  pid_t daemon_ = -1;
};

TEST_F(KorvexMount, TreeRoundTripsRangesReadRightAndEditsReachTheService) {
  const fs::path tree = Home() / "tree";
  const std::string big = Pattern((std::size_t{5} << 20) + 12345, 7);
  WriteText(tree / "big.bin", big);
  WriteText(tree / "a" / "one.txt", "one\n");
  WriteText(tree / "a" / "deep" / "two.txt", Pattern(70000, 2));
  WriteText(tree / "b" / "three.txt", "three\n");
  // Sent up before the mount, so that no read through it has cached a block.
  const std::string seek = Pattern(std::size_t{6} << 20, 8);
  WriteText(Home() / "seek.bin", seek);
  ASSERT_EQ(RunKorvex({"put", (Home() / "seek.bin").string(), "/"}).exitCode, 0);
  // More files than one page of the listing and one buffer of the kernel's.
  constexpr int kMany = 300;
  for (int i = 0; i < kMany; ++i) WriteText(Home() / "many" / ("f" + std::to_string(i) + ".txt"), "x");
  ASSERT_EQ(RunKorvex({"put", (Home() / "many").string(), "/"}, {}, 120000).exitCode, 0);
  ASSERT_NO_FATAL_FAILURE(Mount());
  const fs::path disk = mnt_ / "My Disk";
  for (const char* view : {"My Disk", "Share for Me", "My Backup", "VEZO Space"})
    EXPECT_TRUE(fs::is_directory(mnt_ / view)) << view;
  // `df` shows the account's quota (korvexd gives 10 GiB).
  KorvexRun df = Shell("stat -f -c '%b %S' " + Quoted(mnt_));
  EXPECT_EQ(df.out, std::to_string((std::uint64_t{10} << 30) / 4096) + " 4096\n") << df.err;

  KorvexRun listing = Shell("ls -l " + Quoted(disk / "many") + " | grep -c '^-rw'; ls " + Quoted(disk / "many") +
                            " | sort -u | wc -l");
  EXPECT_EQ(listing.out, std::to_string(kMany) + "\n" + std::to_string(kMany) + "\n") << listing.err;

  KorvexRun run = Shell("cp -r " + Quoted(tree) + " " + Quoted(disk / "tree") + " && diff -r " + Quoted(tree) + " " +
                        Quoted(disk / "tree"));
  ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
  // The writes went up as file tasks of the account.
  run = RunKorvex({"transfers"});
  EXPECT_NE(run.out.find("big.bin"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("running"), std::string::npos) << run.out;
  run = RunKorvex({"ls", "/tree/a/deep"});
  EXPECT_NE(run.out.find("two.txt"), std::string::npos) << run.out;

  // A seek reads only the block it lands in; the same range again is local.
  const fs::path remoteBig = disk / "tree" / "big.bin";
  Bounded([&] {
    const int before = BlockReads();
    const Slice slice = ReadSlice(disk / "seek.bin", (std::int64_t{3} << 20) + 100, 4096);
    EXPECT_EQ(slice.error, 0);
    EXPECT_EQ(slice.bytes, seek.substr((std::size_t{3} << 20) + 100, 4096));
    EXPECT_EQ(BlockReads(), before + 1);
    const Slice again = ReadSlice(disk / "seek.bin", (std::int64_t{3} << 20) + 5000, 4096);
    EXPECT_EQ(again.bytes, seek.substr((std::size_t{3} << 20) + 5000, 4096));
    EXPECT_EQ(BlockReads(), before + 1);
    // Readers at once, of one file, from both ends: each gets its own bytes.
    auto head = std::async(std::launch::async, [&] { return ReadText(disk / "seek.bin"); });
    auto tail = std::async(std::launch::async, [&] { return ReadSlice(disk / "seek.bin", 5 << 20, 2 << 20); });
    EXPECT_TRUE(head.get() == seek);
    EXPECT_TRUE(tail.get().bytes == seek.substr(5 << 20));
    // Random ranges, some across block ends and past the end of the file.
    std::mt19937 random(33);
    for (int i = 0; i < 60; ++i) {
      const std::size_t offset = random() % big.size();
      const std::size_t size = 1 + random() % 300000;
      SCOPED_TRACE(std::to_string(offset) + "+" + std::to_string(size));
      EXPECT_EQ(ReadSlice(remoteBig, static_cast<off_t>(offset), size).bytes, big.substr(offset, size));
    }
  });

  // Renames within and across folders, of files and folders.
  run = Shell("cd " + Quoted(disk / "tree") + " && mv a/one.txt b/uno.txt && mv b/three.txt b/tres.txt && mv a/deep b/");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadText(disk / "tree" / "b" / "uno.txt"), "one\n");
  EXPECT_EQ(ReadText(disk / "tree" / "b" / "deep" / "two.txt"), Pattern(70000, 2));
  run = RunKorvex({"ls", "/tree/b"});
  for (const char* name : {"uno.txt", "tres.txt", "deep"}) EXPECT_NE(run.out.find(name), std::string::npos) << name;
  // A rename onto a file replaces it, and leaves nothing else behind.
  WriteText(Home() / "spare.txt", "spare\n");
  run = Shell("cd " + Quoted(disk / "tree") + " && cp " + Quoted(Home() / "spare.txt") +
              " b/spare.txt && mv b/spare.txt b/uno.txt && ls -a b");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.out, ".\n..\ndeep\ntres.txt\nuno.txt\n");
  EXPECT_EQ(ReadText(disk / "tree" / "b" / "uno.txt"), "spare\n");

  // rmdir keeps a folder that is not empty; rm and rmdir remove on the service.
  run = Shell("rmdir " + Quoted(disk / "tree" / "b"));
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.err.find("not empty"), std::string::npos) << run.err;
  run = Shell("cd " + Quoted(disk / "tree") + " && rm b/deep/two.txt && rmdir b/deep a");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(RunKorvex({"ls", "/tree/a"}).exitCode, 1);
  EXPECT_EQ(RunKorvex({"ls", "/tree/b/deep"}).exitCode, 1);

  // Ended like Ctrl-C: the folder is free again and the process exits 0.
  run = Unmount();
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_FALSE(IsMountPoint(mnt_));
}

TEST_F(KorvexMount, ShareWithoutWriteRightAndReadOnlyMountRefuseChanges) {
  ASSERT_EQ(RunKorvex({"share", "/Projects", "bob", "--rights", "down"}).exitCode, 0);
  LogIn("bob", "bob-demo-1");
  ASSERT_NO_FATAL_FAILURE(Mount());
  fs::path shared;
  for (const auto& entry : fs::directory_iterator(mnt_ / "Share for Me"))
    if (entry.path().filename().string().starts_with("Projects")) shared = entry.path();
  ASSERT_FALSE(shared.empty());
  EXPECT_EQ(ReadText(shared / "2026" / "plan.txt").empty(), false);
  KorvexRun run = Shell("echo x > " + Quoted(shared / "new.txt"));
  EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
  run = Shell("mkdir " + Quoted(shared / "dir"));
  EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
  EXPECT_EQ(Unmount().exitCode, 0);

  ASSERT_NO_FATAL_FAILURE(Mount({"--read-only"}));
  const fs::path disk = mnt_ / "My Disk";
  for (const std::string& line : {"mkdir " + Quoted(disk / "x"), "cp /etc/hostname " + Quoted(disk / "h"),
                                  "rm " + Quoted(disk / "Private" / "diary.txt")}) {
    SCOPED_TRACE(line);
    run = Shell(line);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("Permission denied"), std::string::npos) << run.err;
  }
  EXPECT_FALSE(ReadText(disk / "Private" / "diary.txt").empty());
}

TEST_F(KorvexMount, ServiceKilledDuringAReadGivesEioAndARemountWorksUpToAFullDisk) {
  const std::string data = Pattern(std::size_t{3} << 20, 9);
  WriteText(Home() / "data.bin", data);
  ASSERT_EQ(RunKorvex({"put", (Home() / "data.bin").string(), "/"}).exitCode, 0);
  ASSERT_NO_FATAL_FAILURE(Mount());
  const fs::path file = mnt_ / "My Disk" / "data.bin";
  // Block reads now take a while: the service dies with one under way.
  ASSERT_TRUE(AddFault("delay=2000,path=^/file/downloadblock/,count=100000,ttl=3600"));
  Bounded([&] {
    auto read = std::async(std::launch::async, [&] { return ReadSlice(file, 1 << 20, 65536); });
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    korvexd_.Kill();
    const Slice slice = read.get();
    EXPECT_EQ(slice.error, EIO);
    // Still mounted and answering: a second read fails the same way.
    EXPECT_EQ(ReadSlice(file, 2 << 20, 100).error, EIO);
  });
  const KorvexRun ended = Unmount();
  EXPECT_EQ(ended.exitCode, 0);
  EXPECT_NE(ended.err.find("read /My Disk/data.bin: Input/output error"), std::string::npos) << ended.err;

  // korvexd is back on another port: the session is of the old address.
  // It comes back with room for little more than what the account holds.
  const std::string quota = std::string(KORVEXD_PATH) + " --data-dir " + Quoted(korvexd_.DataDir()) +
                            " set-quota alice demo " + std::to_string(6 << 20) + " > /dev/null";
  ASSERT_EQ(std::system(quota.c_str()), 0);
  env_.clear();
  ASSERT_NO_FATAL_FAILURE(StartKorvexd({}));
  LogIn("alice", "alice-demo-1");
  // This time from the background: the command returns once mounted.
  const KorvexRun detached =
      RunKorvex({"mount", mnt_.string(), "--daemon", "--cache-dir", (Home() / "cache").string()}, {}, 40000);
  ASSERT_EQ(detached.exitCode, 0) << detached.err;
  EXPECT_NE(detached.out.find("mounted on"), std::string::npos) << detached.out;
  ASSERT_TRUE(IsMountPoint(mnt_));
  EXPECT_EQ(RunKorvex({"mount", mnt_.string()}).exitCode, 2);
  Bounded([&] { EXPECT_EQ(ReadSlice(file, 2 << 20, 100).bytes, data.substr(2 << 20, 100)); });
  // A file the cloud disk has no room for fails as a full disk does.
  WriteText(Home() / "big.bin", Pattern(std::size_t{4} << 20, 3));
  const KorvexRun full = Shell("cp " + Quoted(Home() / "big.bin") + " " + Quoted(mnt_ / "My Disk" / "big.bin"));
  EXPECT_NE(full.exitCode, 0);
  EXPECT_NE(full.err.find("No space left on device"), std::string::npos) << full.err;
  (void)std::system(("fusermount3 -u " + Quoted(mnt_)).c_str());
  EXPECT_FALSE(IsMountPoint(mnt_));
}

TEST_F(KorvexMount, TheDaemonKeepsARememberedMountAndTakesItsUploads) {
  KorvexRun run = RunKorvex({"mount", mnt_.string(), "--remember", "--daemon"}, {}, 40000);
  ASSERT_EQ(run.exitCode, 0) << run.err;
  (void)std::system(("fusermount3 -u " + Quoted(mnt_)).c_str());
  ASSERT_FALSE(IsMountPoint(mnt_));
  const fs::path log = Home() / "daemon.log";
  run = Shell(std::string(KORVEX_PATH) + " daemon > " + Quoted(log) + " 2>&1 & echo $!");
  daemon_ = static_cast<pid_t>(std::atoi(run.out.c_str()));
  ASSERT_GT(daemon_, 0) << run.err;
  for (int i = 0; i < 200 && !IsMountPoint(mnt_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_TRUE(IsMountPoint(mnt_)) << ReadText(log);
  // The mount's upload is handed to the daemon, which owns the transfers.
  WriteText(Home() / "note.txt", "kept by the daemon\n");
  run = Shell("cp " + Quoted(Home() / "note.txt") + " " + Quoted(mnt_ / "My Disk" / "note.txt"));
  EXPECT_EQ(run.exitCode, 0) << run.err << ReadText(log);
  EXPECT_NE(RunKorvex({"ls", "/"}).out.find("note.txt"), std::string::npos);
  // A stopping daemon takes its mounts down with it.
  ::kill(daemon_, SIGTERM);
  // The shell that started it is gone: it is not this process's child.
  for (int i = 0; i < 300 && ::kill(daemon_, 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  daemon_ = -1;
  EXPECT_FALSE(IsMountPoint(mnt_)) << ReadText(log);
  EXPECT_EQ(RunKorvex({"mount", mnt_.string(), "--forget"}).exitCode, 0);
  EXPECT_EQ(ReadText(UserHive()).find(mnt_.string()), std::string::npos);
}

}  // namespace
}  // namespace korvex::test
