#include "foundation/AutoStart.h"

#include <gtest/gtest.h>

#include "support/TempHome.h"
#include "foundation/Registry.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::WriteText;

class AutoStart : public testing::TempHomeTest {};

TEST_F(AutoStart, EnableWritesEntryAndDisableRemovesIt) {
  EXPECT_EQ(AutoStartEntryPath(), Home() / "config" / "autostart" / "korvexdata.desktop");
  EXPECT_FALSE(IsAutoStartEnabled());
  ASSERT_TRUE(SetAutoStart(true, "/old/korvexdata"));
  ASSERT_TRUE(SetAutoStart(true, "/opt/korvexdata/bin/korvexdata")) << "enabling again replaces the program";
  EXPECT_TRUE(IsAutoStartEnabled());
  const std::string text = ReadText(AutoStartEntryPath());
  EXPECT_EQ(text.rfind("[Desktop Entry]\n", 0), 0u);
  EXPECT_NE(text.find("\nType=Application\n"), std::string::npos);
  EXPECT_NE(text.find("\nExec=/opt/korvexdata/bin/korvexdata\n"), std::string::npos) << text;
  EXPECT_EQ(AutoStartProgram(), "/opt/korvexdata/bin/korvexdata");

  ASSERT_TRUE(SetAutoStart(false, ""));
  EXPECT_FALSE(fs::exists(AutoStartEntryPath()));
  EXPECT_FALSE(IsAutoStartEnabled());
  EXPECT_TRUE(SetAutoStart(false, "")) << "disabling twice is still success";
}

TEST_F(AutoStart, ExecQuotesReservedCharacters) {
  struct Case { std::string path; std::string exec; };
  const Case cases[] = {
      {"/home/me/My Apps/korvexdata", "\"/home/me/My Apps/korvexdata\""},
      {"/a/$HOME/`x`", "\"/a/\\\\$HOME/\\\\`x\\\\`\""},
      {"/a/\"q\"", "\"/a/\\\\\"q\\\\\"\""},
      {"/a/back\\slash", "\"/a/back\\\\\\\\slash\""},
      {"/a/100%", "/a/100%%"},
      {"/a/\xE4\xB8\xAD", "/a/\xE4\xB8\xAD"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(DesktopExecValue(c.path), c.exec);
    std::string back;
    ASSERT_TRUE(ParseDesktopExecProgram(c.exec, back));
    EXPECT_EQ(back, c.path);
  }
  // Only the first word names the program; an open quote names nothing.
  std::string program;
  ASSERT_TRUE(ParseDesktopExecProgram("/usr/bin/korvexdata --minimized %U", program));
  EXPECT_EQ(program, "/usr/bin/korvexdata");
  ASSERT_TRUE(ParseDesktopExecProgram("\"/a b/c\" arg", program));
  EXPECT_EQ(program, "/a b/c");
  EXPECT_FALSE(ParseDesktopExecProgram("\"/a b/c", program));
  EXPECT_TRUE(program.empty());
}

TEST_F(AutoStart, RefusesUnusableProgramsAndReportsFailedWrites) {
  for (const std::string& bad : {std::string(), std::string("korvexdata"), std::string("/a\nb")}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(SetAutoStart(true, bad));
  }
  EXPECT_FALSE(fs::exists(AutoStartEntryPath()));
  // A folder where the entry should be makes the final rename fail.
  fs::create_directories(AutoStartEntryPath() / "occupied");
  EXPECT_FALSE(SetAutoStart(true, "/usr/bin/korvexdata"));
  EXPECT_FALSE(SetAutoStart(false, "")) << "a folder cannot be removed as the entry";
}

TEST_F(AutoStart, EntrySwitchedOffByTheDesktopIsNotEnabled) {
  // The last one has Exec only outside the main group.
  for (const char* tail : {"Exec=/usr/bin/k\nHidden=true\n", "Exec=/usr/bin/k\nX-GNOME-Autostart-enabled=false\n",
                           "[Other]\nExec=/usr/bin/k\n"}) {
    SCOPED_TRACE(tail);
    WriteText(AutoStartEntryPath(), std::string("[Desktop Entry]\nType=Application\n") + tail);
    EXPECT_FALSE(IsAutoStartEnabled());
  }
}

TEST_F(AutoStart, RunValueOfTheRegistryMapsToTheEntry) {
  const std::string runKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
  EXPECT_FALSE(DeleteValue(Hive::CurrentUser, runKey, kRunValueName)) << "absent value";

  ASSERT_TRUE(WriteString(Hive::CurrentUser, runKey, "korvexdatavip_withsync", "/opt/k d/korvexdata"));
  EXPECT_TRUE(IsAutoStartEnabled());
  EXPECT_EQ(ReadString(Hive::CurrentUser, kRunKey, kRunValueName, ""), "/opt/k d/korvexdata");
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kRunKey, kRunValueName, 5), 5u);
  EXPECT_FALSE(WriteDword(Hive::CurrentUser, kRunKey, kRunValueName, 1));
  EXPECT_FALSE(fs::exists(Home() / "config" / "KorvexDataSMB" / "HKCU.reg")) << "the hive is not involved";

  EXPECT_TRUE(DeleteValue(Hive::CurrentUser, kRunKey, kRunValueName));
  EXPECT_FALSE(IsAutoStartEnabled());
  EXPECT_FALSE(WriteString(Hive::CurrentUser, kRunKey, kRunValueName, "relative/korvexdata"));

  // Other values of the Run key stay ordinary hive values.
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kRunKey, "SomethingElse", "x"));
  EXPECT_EQ(ReadString(Hive::CurrentUser, kRunKey, "SomethingElse", ""), "x");
  EXPECT_FALSE(fs::exists(AutoStartEntryPath()));
}

}  // namespace
}  // namespace korvex
