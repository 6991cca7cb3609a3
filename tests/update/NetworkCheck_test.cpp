// The network check with the real check module against korvexd: kept up to
// date from the web site, a service fault reported, a cancel, and a module
// that cannot be loaded.

#include "update/NetworkCheck.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include "support/KorvexdProcess.h"
#include "support/TempHome.h"
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

TEST_F(NetworkCheckTest, UpdatesTheModuleAndReportsAServiceFault) {
  const fs::path published = Home() / "published";
  testing::WriteText(published / "KorvexDiagnosis.xml", "<root><version>1.0.0.0</version></root>");
  fs::create_directories(published);
  fs::copy_file(KORVEX_DIAGNOSIS_PATH, published / DiagnosisBinaryPath().substr(1));
  test::KorvexdProcess korvexd;
  ASSERT_TRUE(korvexd.Start({"--update-dir", published.string(), "--fault", "http=503,path=^/ZEPH300\\.xml$"}))
      << korvexd.Error();

  NetworkCheckOptions options;
  options.webUrl = korvexd.BaseUrl();
  options.targets = korvexd.BaseUrl();
  // Only the updated per-user copy can be found by this name.
  NetworkCheckResult result = RunNetworkCheck(options, nullptr);
  EXPECT_TRUE(fs::exists(UserDiagnosisLibraryPath()));
  EXPECT_EQ(result.status, HResultFromHttp(503)) << result.report;
  EXPECT_EQ(result.message, "The network check found a problem (0x804F01F7):");
  for (const char* line : {"resolve 127.0.0.1: OK", "connect 127.0.0.1:", "GET /ZEPH300.xml: FAILED (0x804F01F7)",
                           "Result: FAILED (0x804F01F7)"}) {
    EXPECT_NE(result.report.find(line), std::string::npos) << line << "\n" << result.report;
  }

  // The fault is spent; the installed module is current and is not fetched again.
  fs::remove(published / DiagnosisBinaryPath().substr(1));
  result = RunNetworkCheck(options, nullptr);
  EXPECT_EQ(result.status, S_OK) << result.report;
  EXPECT_EQ(result.message, "Your connection is OK.");
  EXPECT_NE(result.report.find("GET /ZEPH300.xml: OK (HTTP 404"), std::string::npos) << result.report;
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
}

}  // namespace
}  // namespace korvex
