// The mount's block cache and its status mapping: the cache stays under its
// limit dropping the least recently used blocks, counts what an earlier
// mount left (and drops half-written blocks), and keys blocks so that a file
// replaced on the service never reads old bytes.

#include "mount/BlockCache.h"
#include "mount/ErrnoMap.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace korvex::mount {
namespace {

namespace fs = std::filesystem;
using korvex::testing::TempHomeTest;
using korvex::testing::WriteText;

std::vector<std::uint8_t> Bytes(std::size_t size, std::uint8_t fill) { return std::vector<std::uint8_t>(size, fill); }

class MountBlockCache : public TempHomeTest {};

TEST_F(MountBlockCache, KeepsUnderItsLimitDroppingTheLeastRecentlyUsed) {
  BlockCache cache(Home() / "blocks", 3000);
  ASSERT_EQ(cache.Open(), S_OK);
  cache.Put("1-aa", 0, Bytes(1000, 1));
  cache.Put("1-aa", 1, Bytes(1000, 2));
  cache.Put("2-bb", 0, Bytes(1000, 3));
  std::vector<std::uint8_t> data;
  // Block 0 of file 1 is used again: block 1 is now the oldest.
  ASSERT_TRUE(cache.Get("1-aa", 0, data));
  EXPECT_EQ(data, Bytes(1000, 1));
  cache.Put("3-cc", 0, Bytes(1000, 4));
  EXPECT_EQ(cache.TotalBytes(), 3000u);
  EXPECT_FALSE(cache.Get("1-aa", 1, data));
  EXPECT_FALSE(fs::exists(Home() / "blocks" / "1-aa" / "1"));
  EXPECT_TRUE(cache.Get("1-aa", 0, data));
  EXPECT_TRUE(cache.Get("3-cc", 0, data));
  // Storing a block again replaces it rather than counting it twice.
  cache.Put("3-cc", 0, Bytes(500, 5));
  EXPECT_EQ(cache.TotalBytes(), 2500u);
  ASSERT_TRUE(cache.Get("3-cc", 0, data));
  EXPECT_EQ(data, Bytes(500, 5));
  // A block larger than the whole cache is not kept; nothing else goes for it.
  cache.Put("4-dd", 0, Bytes(4000, 6));
  EXPECT_FALSE(cache.Get("4-dd", 0, data));
  EXPECT_EQ(cache.TotalBytes(), 2500u);
}

TEST_F(MountBlockCache, ReopenedCountsWhatWasLeftAndDropsHalfWrittenBlocks) {
  {
    BlockCache cache(Home() / "blocks", 10000);
    ASSERT_EQ(cache.Open(), S_OK);
    cache.Put("7-ee", 0, Bytes(2000, 7));
    cache.Put("7-ee", 1, Bytes(2000, 8));
  }
  WriteText(Home() / "blocks" / "7-ee" / "2.15.part", std::string(100, 'x'));
  BlockCache smaller(Home() / "blocks", 3000);
  ASSERT_EQ(smaller.Open(), S_OK);
  EXPECT_LE(smaller.TotalBytes(), 3000u);
  EXPECT_FALSE(fs::exists(Home() / "blocks" / "7-ee" / "2.15.part"));
  std::vector<std::uint8_t> data;
  EXPECT_TRUE(smaller.Get("7-ee", 0, data) != smaller.Get("7-ee", 1, data));
}

TEST(MountBlockKey, ChangesWithTheFileContentNotItsName) {
  EXPECT_EQ(BlockCache::KeyOf(5, "ABCDEF0123456789ABCDEF0123456789", 10, 20),
            BlockCache::KeyOf(5, "abcdef0123456789abcdef0123456789", 99, 99));
  EXPECT_NE(BlockCache::KeyOf(5, "abcdef0123456789abcdef0123456789", 10, 20),
            BlockCache::KeyOf(5, "00000000000000000000000000000000", 10, 20));
  // Without an MD5 from the service, size and time tell versions apart.
  EXPECT_NE(BlockCache::KeyOf(5, "", 10, 20), BlockCache::KeyOf(5, "", 10, 21));
  EXPECT_NE(BlockCache::KeyOf(5, "", 10, 20), BlockCache::KeyOf(6, "", 10, 20));
}

TEST(MountSizes, ParsesUnitsAndRefusesTheRest) {
  const struct {
    const char* text;
    bool ok;
    std::uint64_t bytes;
  } cases[] = {{"1048576", true, 1048576}, {"512K", true, 512u << 10}, {"256M", true, 256u << 20},
               {"2G", true, std::uint64_t{2} << 30}, {"1GB", true, std::uint64_t{1} << 30},
               {"3t", true, std::uint64_t{3} << 40}, {"", false, 0}, {"M", false, 0}, {"-1G", false, 0},
               {"12Q", false, 0}, {"99999999999999999999", false, 0}, {"20000000T", false, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::uint64_t bytes = 0;
    EXPECT_EQ(ParseByteSize(c.text, bytes), c.ok);
    if (c.ok) {
      EXPECT_EQ(bytes, c.bytes);
    }
  }
}

TEST(MountErrno, MapsStoreFailuresToWhatProgramsExpect) {
  const struct {
    HRESULT status;
    int error;
  } cases[] = {{S_OK, 0},
               {HR_FILE_NOT_FOUND, ENOENT},
               {E_ACCESSDENIED, EACCES},
               {HR_ALREADY_EXISTS, EEXIST},
               {kQuotaExceeded, ENOSPC},
               {kFolderNotEmpty, ENOTEMPTY},
               {E_INVALIDARG, EINVAL},
               {MakeHResult(0x80072EFDu), EIO},  // could not connect
               {E_FAIL, EIO}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    EXPECT_EQ(ErrnoOf(c.status), c.error);
  }
}

class MountFailureLog : public TempHomeTest {};

TEST_F(MountFailureLog, TellsEachFailureOfAFileOnce) {
  std::vector<std::string> told;
  FailureLog failures([&told](const std::string& line) { told.push_back(line); });
  for (int i = 0; i < 3; ++i) EXPECT_EQ(failures.Report("read", "/My Disk/a.bin", E_FAIL), -EIO);
  EXPECT_EQ(failures.Report("read", "/My Disk/b.bin", E_FAIL), -EIO);
  EXPECT_EQ(failures.Report("read", "/My Disk/a.bin", E_ACCESSDENIED), -EACCES);
  const std::string text = log_->All();
  std::size_t lines = 0;
  for (std::size_t at = text.find("read /My Disk/a.bin: 0x80004005"); at != std::string::npos;
       at = text.find("read /My Disk/a.bin: 0x80004005", at + 1))
    ++lines;
  EXPECT_EQ(lines, 1u) << text;
  EXPECT_NE(text.find("read /My Disk/b.bin: 0x80004005"), std::string::npos) << text;
  EXPECT_NE(text.find("read /My Disk/a.bin: 0x80070005"), std::string::npos) << text;
  EXPECT_EQ(told, (std::vector<std::string>{"read /My Disk/a.bin: Input/output error (0x80004005)",
                                            "read /My Disk/b.bin: Input/output error (0x80004005)",
                                            "read /My Disk/a.bin: Permission denied (0x80070005)"}));
}

}  // namespace
}  // namespace korvex::mount
