#include "TempHome.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "foundation/LogMgr.h"
#include "platform/Paths.h"

namespace korvex::testing {

namespace fs = std::filesystem;

std::string CaptureLogger::All() const {
  std::string text;
  for (const auto& l : lines_) text += l + "\n";
  return text;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  if (value) ::setenv(name, value, 1);
  else ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (old_) ::setenv(name_, old_->c_str(), 1);
  else ::unsetenv(name_);
}

void TempHomeTest::SetUp() {
  std::string pattern = (paths::TempDir() / "korvex-test-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << "cannot create a temporary folder";
  home_ = pattern;
  if (const char* old = std::getenv("KORVEX_HOME")) previous_ = old;
  ::setenv("KORVEX_HOME", home_.c_str(), 1);
  LogMgr::Get().Reset();
  log_ = new CaptureLogger;
  log_->AddRef();
  LogMgr::Get().AddLogger(log_);
  LogMgr::Get().SetThreshold(kLogWarn);
}

void TempHomeTest::TearDown() {
  LogMgr::Get().Reset();
  if (log_) log_->Release();
  if (previous_) ::setenv("KORVEX_HOME", previous_->c_str(), 1);
  else ::unsetenv("KORVEX_HOME");
  std::error_code ec;
  // Make folders set read-only by a test removable again.
  for (auto it = fs::recursive_directory_iterator(home_, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(home_, ec);
}

std::vector<std::string> TempHomeTest::Listing() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(home_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

}  // namespace korvex::testing
