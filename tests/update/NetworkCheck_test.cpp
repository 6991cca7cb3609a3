// The network check with the real check module against korvexd: the newest
// usable module chosen and kept up to date from the web site, a service
// fault reported, a cancel, and a module that cannot be loaded.

#include "update/NetworkCheck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "support/KorvexdProcess.h"
#include "support/TempHome.h"
#include "update/PublishedImages.h"
#include "update/KddAutoUpdater.h"
#include "update/UpdateTexts.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

class NetworkCheckTest : public testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    fs::create_directories(Home() / "tmp");
    tmp_.emplace("TMPDIR", (Home() / "tmp").c_str());
  }
  std::optional<testing::ScopedEnv> tmp_;
};

TEST_F(NetworkCheckTest, ReportsAServiceFaultWithTheInstalledModule) {
  // Older than the module built beside this test, which is the installed one.
  const std::string older = "0.9.0.0";
  ASSERT_EQ(older.size(), ProgramVersion().size());
  const fs::path published = Home() / "published";
  testing::WriteText(published / "KorvexDiagnosis.xml", test::Description(older));
  testing::WriteText(published / DiagnosisBinaryPath().substr(1),
                     test::WithVersion(testing::ReadText(KORVEX_DIAGNOSIS_PATH), older));
  test::KorvexdProcess korvexd;
  ASSERT_TRUE(korvexd.Start({"--update-dir", published.string(), "--fault", "http=503,path=^/ZEPH300\\.xml$"}))
      << korvexd.Error();

  NetworkCheckOptions options;
  options.webUrl = korvexd.BaseUrl();
  options.targets = korvexd.BaseUrl();
  NetworkCheckResult result = RunNetworkCheck(options, nullptr);
  EXPECT_FALSE(fs::exists(UserDiagnosisLibraryPath())) << "an older module was fetched";
  EXPECT_EQ(result.modulePath, fs::path(KORVEX_DIAGNOSIS_PATH));
  EXPECT_EQ(result.status, HResultFromHttp(503)) << result.report;
  EXPECT_EQ(result.message, "The network check found a problem (0x804F01F7):");
  for (const char* line : {"resolve 127.0.0.1: OK", "connect 127.0.0.1:", "GET /ZEPH300.xml: FAILED (0x804F01F7)",
                           "Result: FAILED (0x804F01F7)"}) {
    EXPECT_NE(result.report.find(line), std::string::npos) << line << "\n" << result.report;
  }

  // The fault is spent.
  result = RunNetworkCheck(options, nullptr);
  EXPECT_EQ(result.status, S_OK) << result.report;
  EXPECT_EQ(result.message, "Your connection is OK.");
  EXPECT_NE(result.report.find("GET /ZEPH300.xml: OK (HTTP 404"), std::string::npos) << result.report;
}

// The per-user copy is kept newest and usable: a refused download leaves it
// as it was, a damaged copy is replaced, and one that will not load is
// passed over and then fetched again.
TEST_F(NetworkCheckTest, KeepsTheNewestUsableModule) {
  const std::string newer = test::NewerVersionText(std::string(ProgramVersion()));
  const std::string module = test::WithVersion(testing::ReadText(KORVEX_DIAGNOSIS_PATH), newer);
  const fs::path published = Home() / "published";
  const fs::path served = published / DiagnosisBinaryPath().substr(1);
  testing::WriteText(published / "KorvexDiagnosis.xml", test::Description(newer));
  test::KorvexdProcess korvexd;
  ASSERT_TRUE(korvexd.Start({"--update-dir", published.string()})) << korvexd.Error();
  NetworkCheckOptions options;
  options.webUrl = korvexd.BaseUrl();
  options.targets = korvexd.BaseUrl();
  const fs::path userCopy = UserDiagnosisLibraryPath();
  testing::WriteText(userCopy, "damaged");

  testing::WriteText(served, "#!/bin/sh\n");
  NetworkCheckResult result = RunNetworkCheck(options, nullptr);
  EXPECT_EQ(result.status, S_OK) << result.report;
  EXPECT_EQ(result.modulePath, fs::path(KORVEX_DIAGNOSIS_PATH));
  EXPECT_EQ(result.moduleUpdate, "The downloaded " + served.filename().string() +
                                     " was deleted because it is not a program for this computer. "
                                     "The installed file is unchanged.");
  EXPECT_EQ(testing::ReadText(userCopy), "damaged");

  testing::WriteText(served, module);
  result = RunNetworkCheck(options, nullptr);
  EXPECT_EQ(result.status, S_OK) << result.report;
  EXPECT_EQ(result.moduleUpdate, "");
  EXPECT_EQ(result.modulePath, userCopy);
  EXPECT_EQ(testing::ReadText(userCopy), module);

  // A program, not a module: whole and of the newest version, but the
  // loader refuses it.
  testing::WriteText(userCopy, test::WithVersion(testing::ReadText(KORVEX_PATH), newer));
  result = RunNetworkCheck(options, nullptr);
  EXPECT_EQ(result.status, S_OK) << result.report;
  EXPECT_EQ(result.modulePath, fs::path(KORVEX_DIAGNOSIS_PATH));
  result = RunNetworkCheck(options, nullptr);
  EXPECT_EQ(result.modulePath, userCopy);
  EXPECT_EQ(testing::ReadText(userCopy), module);
}

TEST_F(NetworkCheckTest, CancelStopsTheRunningModuleOnce) {
  test::KorvexdProcess korvexd;
  ASSERT_TRUE(korvexd.Start({"--fault", "delay=20000,path=^/ZEPH300\\.xml$"})) << korvexd.Error();
  LogMgr::Get().SetThreshold(kLogTrace);
  NetworkCheckOptions options;
  options.library = KORVEX_DIAGNOSIS_PATH;
  options.targets = korvexd.BaseUrl();
  NetworkCheck check(options);
  std::promise<NetworkCheckResult> done;
  ASSERT_TRUE(check.StartCheck([&done](const NetworkCheckResult& result) { done.set_value(result); }));
  EXPECT_FALSE(check.StartCheck({})) << "a second check started while one runs";
  for (int i = 0; i < 300 && !log_->Contains("KDD_StartDiagnosis"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ASSERT_TRUE(log_->Contains("KDD_StartDiagnosis"));
  check.CancelCheck();
  std::future<NetworkCheckResult> future = done.get_future();
  ASSERT_EQ(future.wait_for(std::chrono::seconds(15)), std::future_status::ready);
  const NetworkCheckResult result = future.get();
  EXPECT_EQ(result.status, E_ABORT);
  EXPECT_EQ(result.message, "You canceled the check progress.");
  const std::string log = log_->All();
  const std::size_t first = log.find("canceling by user");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(log.find("canceling by user", first + 1), std::string::npos);
  korvexd.Kill();  // its answer is still held back by the delay
}

TEST_F(NetworkCheckTest, AMissingModuleIsReported) {
  NetworkCheckOptions options;
  options.library = (Home() / "libKorvexDiagnosis.so").string();
  const NetworkCheckResult result = RunNetworkCheck(options, nullptr);
  EXPECT_EQ(result.status, HR_FILE_NOT_FOUND);
  EXPECT_EQ(result.message, "Load check program failed.");
  // The report says where the module was looked for and why it failed there.
  EXPECT_NE(result.report.find(options.library + ": "), std::string::npos) << result.report;
  EXPECT_NE(result.report.find("No such file"), std::string::npos) << result.report;
}

}  // namespace
}  // namespace korvex
