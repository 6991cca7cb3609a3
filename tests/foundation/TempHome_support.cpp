#include "TempHome.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "platform/Paths.h"

namespace korvex::testing {

void TempHomeTest::SetUp() {
  std::string pattern = (paths::TempDir() / "korvex-test-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << "cannot create a temporary folder";
  home_ = pattern;
  if (const char* old = std::getenv("KORVEX_HOME")) previous_ = old;
  ::setenv("KORVEX_HOME", home_.c_str(), 1);
}

void TempHomeTest::TearDown() {
  if (previous_) ::setenv("KORVEX_HOME", previous_->c_str(), 1);
  else ::unsetenv("KORVEX_HOME");
  std::error_code ec;
  // Make folders set read-only by a test removable again.
  for (auto it = std::filesystem::recursive_directory_iterator(home_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
  }
  std::filesystem::remove_all(home_, ec);
}

std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

}  // namespace korvex::testing
