#include "platform/Paths.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace korvex {
namespace {

/// Sets or clears one environment variable for the scope of a test.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) ::setenv(name, value, 1);
    else ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_) ::setenv(name_.c_str(), old_->c_str(), 1);
    else ::unsetenv(name_.c_str());
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

TEST(Paths, FollowXdgWithoutKorvexHome) {
  ScopedEnv home("KORVEX_HOME", nullptr);
  ScopedEnv h("HOME", "/home/tester");
  ScopedEnv c("XDG_CONFIG_HOME", nullptr);
  ScopedEnv d("XDG_DATA_HOME", nullptr);
  ScopedEnv t("TMPDIR", nullptr);
  EXPECT_EQ(paths::UserConfigDir(), "/home/tester/.config");
  EXPECT_EQ(paths::AppDataDir(), "/home/tester/.local/share");
  EXPECT_EQ(paths::MachineConfigDir(), "/etc");
  EXPECT_EQ(paths::TempDir(), "/tmp");
}

TEST(Paths, XdgVariablesWinOverHomeDefaults) {
  ScopedEnv home("KORVEX_HOME", nullptr);
  ScopedEnv h("HOME", "/home/tester");
  ScopedEnv c("XDG_CONFIG_HOME", "/xdg/config");
  ScopedEnv d("XDG_DATA_HOME", "/xdg/data");
  ScopedEnv t("TMPDIR", "/var/tmp/me");
  EXPECT_EQ(paths::UserConfigDir(), "/xdg/config");
  EXPECT_EQ(paths::AppDataDir(), "/xdg/data");
  EXPECT_EQ(paths::TempDir(), "/var/tmp/me");
}

TEST(Paths, RelativeOrEmptyXdgValuesAreIgnored) {
  ScopedEnv home("KORVEX_HOME", "");
  ScopedEnv h("HOME", "/home/tester");
  ScopedEnv c("XDG_CONFIG_HOME", "relative/config");
  ScopedEnv d("XDG_DATA_HOME", "");
  ScopedEnv t("TMPDIR", "");
  EXPECT_EQ(paths::UserConfigDir(), "/home/tester/.config");
  EXPECT_EQ(paths::AppDataDir(), "/home/tester/.local/share");
  EXPECT_EQ(paths::TempDir(), "/tmp");
}

TEST(Paths, KorvexHomeRedirectsUserAndMachineFolders) {
  ScopedEnv home("KORVEX_HOME", "/srv/korvex");
  ScopedEnv c("XDG_CONFIG_HOME", "/xdg/config");
  ScopedEnv d("XDG_DATA_HOME", "/xdg/data");
  ScopedEnv t("TMPDIR", "/var/tmp/me");
  EXPECT_EQ(paths::UserConfigDir(), "/srv/korvex/config");
  EXPECT_EQ(paths::MachineConfigDir(), "/srv/korvex/etc");
  EXPECT_EQ(paths::AppDataDir(), "/srv/korvex/data");
  EXPECT_EQ(paths::TempDir(), "/var/tmp/me") << "the temporary folder is not redirected";
}

TEST(Paths, HomeFallsBackToPasswordDatabase) {
  ScopedEnv h("HOME", nullptr);
  std::filesystem::path home = paths::HomeDir();
  EXPECT_TRUE(home.is_absolute()) << home;
}

}  // namespace
}  // namespace korvex
