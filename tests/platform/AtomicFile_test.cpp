#include "platform/AtomicFile.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "platform/Paths.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(AtomicFile, ReplacesWithTheGivenModeAndLeavesOnlyTheTarget) {
  std::string pattern = (paths::TempDir() / "korvex-atomic-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern, file = dir / "settings";
  ASSERT_EQ(WriteFileAtomically(file, "first", 0644), S_OK);
  ASSERT_EQ(WriteFileAtomically(file, std::string("sec\0ond", 7)), S_OK);
  EXPECT_EQ(Read(file), std::string("sec\0ond", 7));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  EXPECT_EQ(WriteFileAtomically(dir / "missing" / "f", "x"), HR_FILE_NOT_FOUND);
  // Renaming a file over a non-empty folder fails after the temporary file was written.
  fs::create_directories(dir / "occupied" / "child");
  EXPECT_TRUE(Failed(WriteFileAtomically(dir / "occupied", "x")));
  EXPECT_TRUE(fs::is_directory(dir / "occupied" / "child"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 2) << "no temporary file may remain";
  fs::remove_all(dir);
}

TEST(AtomicFile, ABatchReplacesEveryFileOrLeavesWhatItCouldNotRenameUntouched) {
  std::string pattern = (paths::TempDir() / "korvex-atomic-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
  const fs::path dir = pattern;
  ASSERT_EQ(WriteFileAtomically(dir / "a", "old a"), S_OK);
  const AtomicFileWrite both[] = {{dir / "a", "new a"}, {dir / "b", "new b"}};
  ASSERT_EQ(WriteFilesAtomically(both, 0640), S_OK);
  EXPECT_EQ(Read(dir / "a"), "new a");
  EXPECT_EQ(Read(dir / "b"), "new b");
  struct stat st {};
  ASSERT_EQ(::stat((dir / "b").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);

  // The second rename fails: the first file is replaced whole, the third
  // is never touched, and no temporary file remains.
  fs::create_directories(dir / "occupied" / "child");
  const AtomicFileWrite broken[] = {{dir / "a", "third a"}, {dir / "occupied", "x"}, {dir / "b", "third b"}};
  EXPECT_TRUE(Failed(WriteFilesAtomically(broken)));
  EXPECT_EQ(Read(dir / "a"), "third a");
  EXPECT_EQ(Read(dir / "b"), "new b");
  EXPECT_TRUE(fs::is_directory(dir / "occupied" / "child"));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 3) << "no temporary file may remain";
  EXPECT_EQ(WriteFilesAtomically({}), S_OK);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace korvex
