#include "platform/Paths.h"

#include <gtest/gtest.h>
#include <pwd.h>
#include <unistd.h>

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

TEST(Paths, FollowXdgAndKorvexHome) {
  struct Case {
    const char* name;
    const char *korvexHome, *xdgConfig, *xdgData, *tmp;
    const char *config, *machine, *data, *temp;
  };
  const Case cases[] = {
      {"defaults", nullptr, nullptr, nullptr, nullptr,  //
       "/home/tester/.config", "/etc", "/home/tester/.local/share", "/tmp"},
      {"xdg variables", nullptr, "/xdg/config", "/xdg/data", "/var/tmp/me",  //
       "/xdg/config", "/etc", "/xdg/data", "/var/tmp/me"},
      {"relative or empty values ignored", "", "relative/config", "", "",  //
       "/home/tester/.config", "/etc", "/home/tester/.local/share", "/tmp"},
      // The temporary folder is not redirected.
      {"KORVEX_HOME", "/srv/korvex", "/xdg/config", "/xdg/data", "/var/tmp/me",  //
       "/srv/korvex/config", "/srv/korvex/etc", "/srv/korvex/data", "/var/tmp/me"},
  };
  ScopedEnv home("HOME", "/home/tester");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScopedEnv k("KORVEX_HOME", c.korvexHome), x("XDG_CONFIG_HOME", c.xdgConfig), d("XDG_DATA_HOME", c.xdgData),
        t("TMPDIR", c.tmp);
    EXPECT_EQ(paths::UserConfigDir(), c.config);
    EXPECT_EQ(paths::MachineConfigDir(), c.machine);
    EXPECT_EQ(paths::AppDataDir(), c.data);
    EXPECT_EQ(paths::TempDir(), c.temp);
  }
}

TEST(Paths, HomeFallsBackToPasswordDatabase) {
  const passwd* entry = ::getpwuid(::getuid());
  ASSERT_TRUE(entry != nullptr && entry->pw_dir[0] == '/') << "needs an absolute home in the password database";
  const std::string expected = entry->pw_dir;
  for (const char* home : {static_cast<const char*>(nullptr), "", "relative/home"}) {
    SCOPED_TRACE(home ? home : "unset");
    ScopedEnv h("HOME", home);
    EXPECT_EQ(paths::HomeDir(), expected);
  }
}

}  // namespace
}  // namespace korvex
