#include "foundation/Registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/TempHome.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::WriteText;

constexpr std::string_view kCommon = "SOFTWARE\\KorvexDataSMB\\common";
constexpr const char* kHeader = "Windows Registry Editor Version 5.00\n";

class Registry : public testing::TempHomeTest {
 protected:
  std::vector<fs::path> CorruptCopies() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(UserHive().parent_path())) {
      if (entry.path().filename().string().rfind("HKCU.reg.corrupt-", 0) == 0) found.push_back(entry.path());
    }
    return found;
  }
};

TEST_F(Registry, MissingValuesAndValuesOfTheOtherTypeReadAsDefault) {
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kCommon, "FirstRun", 1), 1u);
  EXPECT_EQ(ReadDword(Hive::LocalMachine, kProductKey, "AutoUpdateResult", 0xFFFFFFFFu), 0xFFFFFFFFu);
  EXPECT_FALSE(DeleteValue(Hive::CurrentUser, kProductKey, "AutomaticLogin"));
  EXPECT_FALSE(fs::exists(UserHive())) << "reads and failed deletes create nothing";

  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "LogLevel", "0"));
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kCommon, "DisplayBanner", 1));
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "LogLevel", 6), 6u);
  EXPECT_EQ(ReadString(Hive::CurrentUser, kCommon, "DisplayBanner", "default"), "default");
}

TEST_F(Registry, WrittenValuesReadBackAndLandInTheHiveFile) {
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "common", "FirstRun", 0));
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "common", "DisplayBanner", "1"));
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "", "Sync_LastTime", "old"));
  ASSERT_TRUE(WriteString(Hive::CurrentUser, "software\\korvexdatasmb", "sync_lasttime", "C:\\\"q\""))
      << "names ignore case and keep their first spelling";
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "AutoUpdateResult", 0x80070005u));
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kCommon, "FirstRun", 1), 0u);
  EXPECT_EQ(ReadString(Hive::CurrentUser, kProductKey, "common", "DisplayBanner", "0"), "1");
  EXPECT_EQ(ReadString(Hive::CurrentUser, kProductKey, "Sync_LastTime", ""), "C:\\\"q\"")
      << "an empty subkey addresses the key itself";
  EXPECT_EQ(ReadText(UserHive()), std::string(kHeader) +
                                      "\n[HKEY_CURRENT_USER\\SOFTWARE\\KorvexDataSMB\\common]\n"
                                      "\"FirstRun\"=dword:00000000\n"
                                      "\"DisplayBanner\"=\"1\"\n"
                                      "\n[HKEY_CURRENT_USER\\SOFTWARE\\KorvexDataSMB]\n"
                                      "\"Sync_LastTime\"=\"C:\\\\\\\"q\\\"\"\n"
                                      "\"AutoUpdateResult\"=dword:80070005\n");
  struct stat st {};
  ASSERT_EQ(::stat(UserHive().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "hives may hold passwords";
}

TEST_F(Registry, DeleteValueReportsWhetherItExisted) {
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "AutomaticLogin", 1));
  const std::string before = ReadText(UserHive());
  EXPECT_FALSE(DeleteValue(Hive::CurrentUser, kProductKey, "AutomaticLoginUser"));
  EXPECT_EQ(ReadText(UserHive()), before);
  EXPECT_TRUE(DeleteValue(Hive::CurrentUser, "software\\korvexdatasmb", "automaticlogin")) << "names ignore case";
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "AutomaticLogin", 0), 0u);
  EXPECT_FALSE(DeleteValue(Hive::CurrentUser, kProductKey, "AutomaticLogin"));
}

TEST_F(Registry, RefusesWhatTheTextFormCannotHold) {
  EXPECT_FALSE(WriteString(Hive::CurrentUser, kProductKey, "ProxyConfig_Proxy", "a\nb"));
  EXPECT_FALSE(WriteString(Hive::CurrentUser, kProductKey, "bad\nname", "x"));
  EXPECT_FALSE(WriteDword(Hive::CurrentUser, "", "x", 1));
  EXPECT_FALSE(WriteDword(Hive::CurrentUser, "SOFTWARE\\", "x", 1));
  EXPECT_FALSE(WriteDword(Hive::CurrentUser, kProductKey, "a\\\\b", "x", 1));
  EXPECT_EQ(ReadDword(Hive::CurrentUser, "", "x", 9), 9u);
  EXPECT_FALSE(fs::exists(UserHive()));
}

TEST_F(Registry, WriteKeepsHandEditedValues) {
  WriteText(UserHive(), std::string("\xEF\xBB\xBF") + kHeader +
                            "\r\n; tuned by the administrator\r\n"
                            "[HKEY_CURRENT_USER\\Software\\KorvexDataSMB]\r\n"
                            "\"LogLevel\"=dword:00000002\r\n");
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "AutomaticLogin", 1));
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "LogLevel", 6), 2u);
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "AutomaticLogin", 0), 1u);
}

TEST_F(Registry, ValuesOfOtherTypesAreSkippedReportedOnceAndKept) {
  // As registry exports write them, long ones continued over lines.
  const std::string unread =
      "\"Favourites\"=hex(7):61,00,00,00,\\\n  62,00,00,00,00,00\n"
      "\"Blob\"=hex:01,02,ff\n"
      "\"Broken\"=dword:123456789\n"
      "@=\"unterminated\n"
      "\"Cut\"=hex:01,\\\n";  // a continuation that never comes
  WriteText(UserHive(), std::string(kHeader) + "[HKEY_CURRENT_USER\\SOFTWARE\\KorvexDataSMB]\n" + unread +
                            "\"AutomaticLogin\"=dword:00000001\n");
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "AutomaticLogin", 0), 1u) << "read after continued lines";
  EXPECT_EQ(ReadString(Hive::CurrentUser, kProductKey, "Favourites", "-"), "-");
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "LastLoginUser", "alice"));
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "AutomaticLogin", 0), 1u);
  EXPECT_NE(ReadText(UserHive()).find(unread), std::string::npos) << ReadText(UserHive());
  EXPECT_TRUE(CorruptCopies().empty());
  const std::string warning = "value \"Favourites\" of key [SOFTWARE\\KorvexDataSMB]";
  const std::string& log = log_->All();
  ASSERT_NE(log.find(warning), std::string::npos) << log;
  EXPECT_EQ(log.find(warning, log.find(warning) + 1), std::string::npos) << "one warning, not one per read";
  // A value the client stores takes the place of the unread one.
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "blob", "text"));
  EXPECT_EQ(ReadText(UserHive()).find("hex:01,02"), std::string::npos);
}

TEST_F(Registry, CorruptHiveIsKeptAsideLoggedAndDefaultsUsed) {
  const std::string garbage = std::string("PK\x03\x04") + kHeader + "[HKEY_CURRENT_USER\\SOFTWARE]\n";
  // Found by a read, then by a write: both keep the damaged text aside.
  for (bool byWrite : {false, true}) {
    SCOPED_TRACE(byWrite ? "write" : "read");
    WriteText(UserHive(), garbage);
    for (const fs::path& copy : CorruptCopies()) fs::remove(copy);
    if (byWrite) {
      ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, "Language", "zh"));
      EXPECT_EQ(ReadString(Hive::CurrentUser, kProductKey, "Language", ""), "zh");
    } else {
      EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "LogLevel", 6), 6u);
    }
    const std::vector<fs::path> copies = CorruptCopies();
    ASSERT_EQ(copies.size(), 1u);
    EXPECT_EQ(ReadText(copies[0]), garbage);
    if (!byWrite) { EXPECT_TRUE(log_->Contains("Registry")) << log_->All(); }
  }
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, "LogLevel", 3));
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "LogLevel", 6), 3u);
  EXPECT_EQ(CorruptCopies().size(), 1u) << "the fresh hive is not set aside again";
}

TEST_F(Registry, HiveThatCannotBeReadIsNeverReplaced) {
  fs::create_directories(UserHive() / "inside");
  EXPECT_FALSE(WriteDword(Hive::CurrentUser, "A", "w", 2));
  EXPECT_EQ(ReadDword(Hive::CurrentUser, "A", "w", 7), 7u);
  EXPECT_TRUE(fs::is_directory(UserHive() / "inside"));
  EXPECT_TRUE(CorruptCopies().empty());
  if (::geteuid() == 0) return;  // root reads any file, so an unreadable hive cannot be made

  fs::remove_all(UserHive());
  const std::string content = std::string(kHeader) + "[HKEY_CURRENT_USER\\A]\n\"v\"=dword:00000001\n";
  WriteText(UserHive(), content);
  ASSERT_EQ(::chmod(UserHive().c_str(), 0), 0);
  EXPECT_FALSE(WriteDword(Hive::CurrentUser, "A", "w", 2));
  EXPECT_EQ(ReadDword(Hive::CurrentUser, "A", "v", 7), 7u);
  ASSERT_EQ(::chmod(UserHive().c_str(), 0600), 0);
  EXPECT_EQ(ReadText(UserHive()), content);
}

TEST_F(Registry, MachineHiveIsReadButNeverWritten) {
  const std::string content = std::string(kHeader) +
                              "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KorvexDataSMB\\common]\n\"DisplayBanner\"=\"0\"\n";
  WriteText(MachineHive(), content);
  EXPECT_EQ(ReadString(Hive::LocalMachine, kCommon, "DisplayBanner", "1"), "0");
  EXPECT_EQ(ReadString(Hive::CurrentUser, kCommon, "DisplayBanner", "1"), "1") << "hives are separate";
  EXPECT_FALSE(WriteString(Hive::LocalMachine, kCommon, "DisplayBanner", "1"));
  EXPECT_FALSE(WriteDword(Hive::LocalMachine, kCommon, "x", 1));
  EXPECT_FALSE(DeleteValue(Hive::LocalMachine, kCommon, "DisplayBanner"));
  EXPECT_EQ(ReadText(MachineHive()), content);
  EXPECT_FALSE(fs::exists(MachineHive().string() + ".lock"));

  // Even a corrupt machine hive stays in place.
  WriteText(MachineHive(), "garbage");
  EXPECT_EQ(ReadString(Hive::LocalMachine, kCommon, "DisplayBanner", "1"), "1");
  EXPECT_EQ(ReadText(MachineHive()), "garbage");
}

// Two processes of two threads each: the file lock orders the processes, and
// the threads of one process must not overwrite each other's update either.
TEST_F(Registry, ConcurrentWritersInTwoProcessesKeepEveryValue) {
  constexpr int kWrites = 20;
  const char* const prefixes[2][2] = {{"A", "B"}, {"C", "D"}};
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = ::fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) {
      std::atomic<bool> ok{true};
      auto writer = [&](const char* prefix) {
        for (int i = 0; i < kWrites; ++i) {
          const std::string name = prefix + std::to_string(i);
          if (!WriteDword(Hive::CurrentUser, kProductKey, name, static_cast<std::uint32_t>(i)) ||
              !WriteString(Hive::CurrentUser, kProductKey, "shared", name, name)) {
            ok = false;
          }
        }
      };
      std::thread a(writer, prefixes[p][0]), b(writer, prefixes[p][1]);
      a.join();
      b.join();
      ::_exit(ok ? 0 : 1);
    }
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write reported failure";
  }
  for (int i = 0; i < kWrites; ++i) {
    for (const char* prefix : {"A", "B", "C", "D"}) {
      const std::string name = prefix + std::to_string(i);
      SCOPED_TRACE(name);
      EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, name, 0xFFFFFFFFu), static_cast<std::uint32_t>(i));
      EXPECT_EQ(ReadString(Hive::CurrentUser, kProductKey, "shared", name, ""), name);
    }
  }
  EXPECT_TRUE(CorruptCopies().empty());
}

}  // namespace
}  // namespace korvex
