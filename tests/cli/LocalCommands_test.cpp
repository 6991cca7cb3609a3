// korvex run as a child process for what needs no service: start-up, usage
// and exit codes, version, and decrypting a downloaded ".lock" file.

#include "KorvexRun.h"
#include "foundation/EncryptingBlockEncoder.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace korvex::test {
namespace {

namespace fs = std::filesystem;
using korvex::testing::ReadText;
using korvex::testing::WriteText;

class KorvexLocal : public korvex::testing::TempHomeTest {};

TEST_F(KorvexLocal, StartsUpAndAnswersUsageWithExitCodes) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    std::string inOut, inErr;
  };
  const Case cases[] = {
      {{"--version"}, 0, "korvex 1.", ""},
      {{"version", "--json"}, 0, "{\"version\":\"1.", ""},
      {{"--help"}, 0, "decrypt", ""},
      {{"decrypt", "--help"}, 0, "--password-stdin", ""},
      {{"-v", "version"}, 0, "korvex 1.", "Logger Started"},
      {{}, 2, "", "korvex: "},
      {{"--lang", "fr", "version"}, 2, "", "--lang"},
      {{"--web-url", "ftp://x", "version"}, 2, "", "not an http(s) URL"},
      {{"decrypt"}, 2, "", "FILE"},
      {{"no-such-command"}, 2, "", "korvex: "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const KorvexRun run = RunKorvex(c.args);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_NE(run.out.find(c.inOut), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(c.inErr), std::string::npos) << run.err;
  }
  // Start-up ran as the client's first act: first-run defaults and the log.
  EXPECT_NE(ReadText(UserHive()).find("\"FirstRun\"=dword:00000000"), std::string::npos);
  EXPECT_NE(ReadText(Home() / "data" / "KorvexDataSMB" / "KorvexDataSMB.verbose.log").find("Logger Started"),
            std::string::npos);
}

TEST_F(KorvexLocal, DecryptWritesPlaintextOnlyForTheRightPassword) {
  const fs::path plain = Home() / "files" / "report.pdf";
  const fs::path locked = Home() / "files" / "report.pdf.lock";
  std::string content(40000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7 + 3);
  WriteText(plain, content);
  const auto encrypt = [&] {
    EncryptingBlockEncoder encoder;
    ASSERT_EQ(encoder.Init("pa;ss word"), S_OK);
    ASSERT_EQ(encoder.EncryptFile(plain, locked), S_OK);
  };
  encrypt();
  fs::remove(plain);

  struct Case {
    std::vector<std::string> args;
    std::string password;
    int exitCode;
    std::string inErr;
  };
  const Case refusals[] = {
      {{"decrypt", locked.string(), "--password-stdin"}, "wrong\n", 1,
       "The password you entered to not match. Please re-enter."},
      {{"--lang", "zh", "decrypt", locked.string(), "--password-stdin"}, "wrong\n", 1, "密码不匹配"},
      {{"decrypt", locked.string(), "--password-stdin"}, "", 1, "korvex: "},
      {{"decrypt", (Home() / "files").string() + "/missing.lock", "--password-stdin"}, "x\n", 1, "(0x80070002)"},
  };
  for (const Case& c : refusals) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    const KorvexRun run = RunKorvex(c.args, c.password);
    EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
    EXPECT_NE(run.err.find(c.inErr), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(plain));
    EXPECT_TRUE(fs::exists(locked));
  }

  KorvexRun run = RunKorvex({"decrypt", locked.string(), "--password-stdin"}, "pa;ss word\n");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadText(plain), content);
  EXPECT_FALSE(fs::exists(locked));

  // A name without ".lock" is not cut short, and an existing plaintext is
  // replaced only on request.
  run = RunKorvex({"decrypt", plain.string(), "--password-stdin"}, "pa;ss word\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find(".lock"), std::string::npos) << run.err;
  encrypt();
  WriteText(plain, "newer work");
  run = RunKorvex({"decrypt", locked.string(), "--password-stdin"}, "pa;ss word\n");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(ReadText(plain), "newer work");
  run = RunKorvex({"decrypt", locked.string(), "--password-stdin", "--overwrite", "--json"}, "pa;ss word\n");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(ReadText(plain), content);
  EXPECT_NE(run.out.find("\"decrypted\":"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace korvex::test
