// A fresh KORVEX_HOME per test, so that hives, autostart entries, logs and
// data files never touch the real ones; removed with everything in it afterwards.
// It also clears the proxy variables, so that loopback traffic of a test never
// goes through the developer's proxy. Every test that builds a requestor or
// touches settings derives from TempHomeTest.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/LogMgr.h"
#include "foundation/Logger.h"
#include "platform/Paths.h"

namespace korvex::testing {

/// Keeps every line the log manager delivers (under the logger's own lock).
class CaptureLogger : public Logger {
 public:
  CaptureLogger() : Logger(kLogTrace) {}
  void WriteLine(std::string_view line) override { text_ += std::string(line) + "\n"; }
  bool Contains(std::string_view text) { return All().find(text) != std::string::npos; }
  /// A copy taken under the logger's lock: completions on I/O threads may
  /// still be writing while a test reads.
  std::string All() {
    Lock();
    std::string copy = text_;
    Unlock();
    return copy;
  }

 private:
  std::string text_;
};

/// Sets or clears one environment variable and puts it back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

/// Whole content of a file; empty when it cannot be read.
inline std::string ReadText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

/// Creates the folders above `path` and writes `text`; fails the test if it cannot.
inline void WriteText(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

/// Also routes warnings and above of the shared log manager into log_.
class TempHomeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (paths::TempDir() / "korvex-test-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << "cannot create a temporary folder";
    home_ = pattern;
    ::setenv("KORVEX_HOME", home_.c_str(), 1);
    LogMgr::Get().Reset();
    log_ = new CaptureLogger;
    log_->AddRef();
    LogMgr::Get().AddLogger(log_);
    LogMgr::Get().SetThreshold(kLogWarn);
  }
  void TearDown() override {
    LogMgr::Get().Reset();
    if (log_) log_->Release();
    std::error_code ec;
    // Make folders set read-only by a test removable again.
    namespace fs = std::filesystem;
    for (auto it = fs::recursive_directory_iterator(home_, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(home_, ec);
  }

  const std::filesystem::path& Home() const { return home_; }
  std::filesystem::path UserHive() const { return home_ / "config" / "KorvexDataSMB" / "HKCU.reg"; }
  std::filesystem::path MachineHive() const { return home_ / "etc" / "KorvexDataSMB" / "HKLM.reg"; }
  /// Sorted names in the home folder, to prove nothing was left behind.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(home_)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
  }

  CaptureLogger* log_ = nullptr;

 private:
  std::filesystem::path home_;
  ScopedEnv homeEnv_{"KORVEX_HOME", nullptr};  // restores the variable after the test
  ScopedEnv proxies_[8] = {{"http_proxy", nullptr},  {"https_proxy", nullptr}, {"HTTP_PROXY", nullptr},
                           {"HTTPS_PROXY", nullptr}, {"all_proxy", nullptr},   {"ALL_PROXY", nullptr},
                           {"no_proxy", nullptr},    {"NO_PROXY", nullptr}};
};

}  // namespace korvex::testing
