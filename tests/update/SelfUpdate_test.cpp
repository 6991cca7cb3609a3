// The self-update against korvexd publishing update files: the check, the
// download and what it accepts, the replacement of an installed copy of
// korvex and the result recorded for the next start.

#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <string>

#include "cli/KorvexRun.h"
#include "foundation/Registry.h"
#include "platform/VersionMarker.h"
#include "support/KorvexdProcess.h"
#include "support/TempHome.h"
#include "update/KorvexDataAutoUpdater.h"
#include "update/PublishedImages.h"
#include "update/UpdateFileCheck.h"
#include "update/UpdateInstall.h"
#include "update/UpdateTexts.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;
using testing::ReadText;
using testing::WriteText;

using test::Description;
using test::NewerVersionText;

class SelfUpdate : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    fs::create_directories(Home() / "tmp");
    fs::create_directories(Updates());
    tmp_.emplace("TMPDIR", (Home() / "tmp").c_str());
    ASSERT_TRUE(korvexd_.Start({"--update-dir", Updates().string()})) << korvexd_.Error();
    web_.emplace("KORVEX_WEB_URL", korvexd_.BaseUrl().c_str());
  }
  fs::path Updates() const { return Home() / "published"; }
  void Publish(const std::string& name, const std::string& content) { WriteText(Updates() / name, content); }

  test::KorvexdProcess korvexd_;
  std::optional<testing::ScopedEnv> tmp_, web_;
};

TEST_F(SelfUpdate, ChecksAgainstTheInstalledFile) {
  const std::string installed(ProgramVersion());
  const std::string newer = NewerVersionText(installed);
  ASSERT_NE(newer, installed);
  struct Case {
    std::string published;
    fs::path target;
    HRESULT due;
  };
  const fs::path program = KORVEX_PATH;
  const Case cases[] = {
      {Description(newer), program, S_OK},
      {Description(installed), program, kNoUpdateDue},
      {"<root><version>1.2</version></root>", program, E_INVALIDARG},
      // Nothing installed: the update is due whatever the version.
      {Description("0.0.0.1"), Home() / "not-installed", S_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.published);
    Publish("ZEPH300.xml", c.published);
    KorvexDataAutoUpdater updater(korvexd_.BaseUrl(), CommandLineBinaryPath(), c.target);
    UpdateDescription published;
    EXPECT_EQ(updater.CheckForUpdate(published, nullptr), c.due);
  }
  fs::remove(Updates() / "ZEPH300.xml");
  KorvexDataAutoUpdater updater(korvexd_.BaseUrl(), CommandLineBinaryPath(), program);
  UpdateDescription published;
  EXPECT_EQ(updater.CheckForUpdate(published, nullptr), HResultFromHttp(404));

  // An empty answer must not replace an earlier download.
  WriteText(updater.DownloadPath(), "earlier download");
  Publish(CommandLineBinaryPath().substr(1), "");
  EXPECT_EQ(updater.Download(nullptr), E_INVALIDARG);
  EXPECT_EQ(ReadText(updater.DownloadPath()), "earlier download");
}

TEST_F(SelfUpdate, KorvexReplacesItselfAndReportsTheResultOnce) {
  const std::string installed(ProgramVersion());
  const std::string newer = NewerVersionText(installed);
  const std::string image = test::WithVersion(ReadText(KORVEX_PATH), newer);
  Publish(CommandLineBinaryPath().substr(1), image);
  Publish("ZEPH300.xml", Description(newer));
  const fs::path program = Home() / "installed" / "korvex";
  fs::create_directories(program.parent_path());
  fs::copy_file(KORVEX_PATH, program);

  test::KorvexRun run = test::RunKorvexAt(program, {"update", "--check", "--json"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("\"update\":true"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("\"version\":\"" + newer + "\""), std::string::npos) << run.out;

  run = test::RunKorvexAt(program, {"update"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Update successfully"), std::string::npos) << run.out;
  EXPECT_EQ(ReadText(program), image);
  EXPECT_TRUE(fs::status(program).permissions() == fs::status(KORVEX_PATH).permissions());
  EXPECT_FALSE(fs::exists(Home() / "tmp" / "korvex")) << "the downloaded copy is left behind";
  // Read once: the value is gone after the report.
  EXPECT_EQ(ReadText(UserHive()).find(kAutoUpdateResultName), std::string::npos);

  run = test::RunKorvexAt(program, {"update", "--check"});
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("newest version (" + newer + ")"), std::string::npos) << run.out;
}

// Whatever the web site serves, only the published version of a whole
// program for this machine is kept, with or without a published SHA-256.
TEST_F(SelfUpdate, KeepsOnlyTheProgramThatWasPublished) {
  const std::string newer = NewerVersionText(std::string(ProgramVersion()));
  // The check module stands in for the published program: the updater only
  // asks for a whole file of this machine, and it is a tenth of korvex's size.
  const std::string genuine = test::WithVersion(ReadText(KORVEX_DIAGNOSIS_PATH), newer);
  const fs::path ran = Home() / "script-ran";
  const std::string script = "#!/bin/sh\ntouch " + ran.string() + "\n";
  std::string otherMachine = genuine;
  otherMachine[18] = static_cast<char>(otherMachine[18] ^ 0x7F);  // e_machine
  const std::string name = CommandLineBinaryPath().substr(1);
  const std::string wrongDigest = "<sha256 file=\"" + name + "\">" + std::string(64, 'a') + "</sha256>";
  const fs::path program = Home() / "installed" / "korvex";
  fs::create_directories(program.parent_path());
  fs::copy_file(KORVEX_PATH, program);
  const std::string installedImage = ReadText(program);
  test::KorvexdProcess noDigests;
  ASSERT_TRUE(noDigests.Start({"--update-dir", Updates().string(), "--no-update-digests"})) << noDigests.Error();

  struct Case {
    const char* what;
    std::string body;
    std::string extra;  // in the description
    bool cut;
    HRESULT status;
    std::string reason;
  };
  const Case cases[] = {
      {"a shell script", script, "", false, kHrNotAProgram, "it is not a program for this computer"},
      {"a program for another machine", otherMachine, "", false, kHrNotAProgram,
       "it is not a program for this computer"},
      {"a cut file", genuine, "", true, kHrNotAProgram, "it is incomplete (only 1000000 bytes arrived)"},
      {"the installed version", ReadText(KORVEX_DIAGNOSIS_PATH), "", false, kHrOtherVersion,
       "it is version " + std::string(ProgramVersion()) + ", but version " + newer + " was published"},
      {"a wrong digest", genuine, wrongDigest, false, kHrDigestMismatch,
       "its SHA-256 does not match the published one"},
      {"the published program", genuine, "", false, S_OK, ""},
  };
  for (test::KorvexdProcess* site : {&korvexd_, &noDigests}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.what) + (site == &noDigests ? " without digests" : " with digests"));
      Publish(name, c.body);
      Publish("ZEPH300.xml", Description(newer, c.extra));
      if (c.cut) {
        httplib::Client admin(site->BaseUrl());
        auto posted = admin.Post("/admin/faults", "cut=1000000,path=^/korvex-", "text/plain");
        ASSERT_TRUE(posted && posted->status == 200);
      }
      KorvexDataAutoUpdater updater(site->BaseUrl(), CommandLineBinaryPath(), program);
      fs::remove(updater.DownloadPath());
      UpdateDescription published;
      ASSERT_EQ(updater.CheckForUpdate(published, nullptr), S_OK);
      EXPECT_EQ(published.digests.empty(), site == &noDigests && c.extra.empty());
      EXPECT_EQ(updater.Download(nullptr), c.status) << updater.RefusalMessage();
      if (Succeeded(c.status)) {
        EXPECT_EQ(ReadText(updater.DownloadPath()), genuine);
        EXPECT_EQ(updater.RefusalMessage(), "");
        continue;
      }
      EXPECT_FALSE(fs::exists(updater.DownloadPath()));
      EXPECT_EQ(updater.RefusalMessage(), "The downloaded " + name + " was deleted because " + c.reason +
                                              ". The installed file is unchanged.");
    }
  }

  // End to end: korvex says why and keeps itself.
  fs::remove(Home() / "tmp" / "korvex");
  Publish(name, script);
  Publish("ZEPH300.xml", Description(newer));
  const test::KorvexRun run = test::RunKorvexAt(program, {"update"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("because it is not a program for this computer"), std::string::npos) << run.err;
  EXPECT_EQ(ReadText(program), installedImage);
  EXPECT_FALSE(fs::exists(ran));
  EXPECT_FALSE(fs::exists(Home() / "tmp" / "korvex"));
}

TEST_F(SelfUpdate, AFailingReplacementRecordsItsLastErrorAfterEveryAttempt) {
  WriteText(Home() / "new", "new program");
  // Not a folder: every attempt to write beside the target fails, for root too.
  WriteText(Home() / "blocker", "a file");
  const fs::path target = Home() / "blocker" / "korvex";
  LogMgr::Get().SetThreshold(kLogWarn);
  InstallOptions options;
  options.pause = std::chrono::milliseconds(1);
  options.startTarget = false;
  const HRESULT result = InstallUpdate(Home() / "new", target, options);
  EXPECT_EQ(result, HResultFromWin32(3)) << std::hex << result;  // ERROR_PATH_NOT_FOUND, from ENOTDIR
  EXPECT_TRUE(log_->Contains("(attempt 10)"));
  EXPECT_FALSE(log_->Contains("(attempt 11)"));

  const std::optional<HRESULT> recorded = TakeAutoUpdateResult();
  ASSERT_TRUE(recorded.has_value());
  EXPECT_EQ(*recorded, result);
  EXPECT_FALSE(TakeAutoUpdateResult().has_value());

  // Only a copy of this program is ever replaced.
  WriteText(Home() / "other" / "korvex", "a document");
  EXPECT_TRUE(IsInstallTarget(Home() / "none" / "korvex", "/tmp/korvex"));
  EXPECT_TRUE(IsInstallTarget(KORVEX_PATH, "/tmp/korvex"));
  EXPECT_FALSE(IsInstallTarget(Home() / "other" / "korvex", "/tmp/korvex"));
  EXPECT_FALSE(IsInstallTarget(Home() / "none" / "korvexdata", "/tmp/korvex"));
  EXPECT_FALSE(IsInstallTarget("none/korvex", "/tmp/korvex"));

  EXPECT_EQ(UpdateResultMessage(S_OK), "Update successfully");
  EXPECT_EQ(UpdateResultMessage(E_ACCESSDENIED), "Update failed: no priviledge to overwrite old file.");
  EXPECT_EQ(UpdateResultMessage(result), "Update failed: error code(0x80070003)");
}

}  // namespace
}  // namespace korvex
