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

class AtomicFile : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (paths::TempDir() / "korvex-atomic-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string Read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::size_t Entries() { return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {})); }
  fs::path dir_;
};

TEST_F(AtomicFile, CreatesAndReplacesWithTheGivenMode) {
  const fs::path file = dir_ / "settings";
  ASSERT_EQ(WriteFileAtomically(file, "first", 0644), S_OK);
  EXPECT_EQ(Read(file), "first");
  ASSERT_EQ(WriteFileAtomically(file, std::string("sec\0ond", 7)), S_OK);
  EXPECT_EQ(Read(file), std::string("sec\0ond", 7));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_EQ(Entries(), 1u) << "no temporary file may remain";
}

TEST_F(AtomicFile, FailureLeavesOldContentAndNoTemporaryFile) {
  EXPECT_EQ(WriteFileAtomically(dir_ / "missing" / "f", "x"), HR_FILE_NOT_FOUND);
  // Renaming a file over a non-empty folder fails after the temporary file was written.
  fs::create_directories(dir_ / "occupied" / "child");
  EXPECT_TRUE(Failed(WriteFileAtomically(dir_ / "occupied", "x")));
  EXPECT_TRUE(fs::is_directory(dir_ / "occupied" / "child"));
  EXPECT_EQ(Entries(), 1u);
}

}  // namespace
}  // namespace korvex
