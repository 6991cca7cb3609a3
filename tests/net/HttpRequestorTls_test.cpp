// Certificate checking against a TLS server whose CA the test generates.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>

#include "NetTestSupport.h"
#include "foundation/Registry.h"
#include "net/HttpRequestor.h"
#include "net/TlsSettings.h"

namespace korvex {
namespace {

using testing::Completed;
using testing::LoopbackServer;
using testing::Recorder;

const HRESULT kSecureFailure = HResultFromHttp(kHttpErrorSecureFailure);

class HttpRequestorTlsTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    std::string error;
    ASSERT_TRUE(testing::CreateTestPki(Home(), pki_, error)) << error;
    server_ = std::make_unique<LoopbackServer>(pki_.certFile, pki_.keyFile);
    server_->Routes().Get("/hello", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("hello over tls", "text/plain");
    });
    // A login form posted here is sent on, body and all, to RedirectTarget().
    server_->Routes().Post("/login", [this](const httplib::Request&, httplib::Response& response) {
      response.set_redirect(RedirectTarget(), 307);
    });
    server_->Routes().Post("/landing", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content("landed:" + request.body, "text/plain");
    });
    server_->Start();
  }

  std::string RedirectTarget() {
    std::lock_guard lock(mutex_);
    return redirectTarget_;
  }
  void SetRedirectTarget(std::string target) {
    std::lock_guard lock(mutex_);
    redirectTarget_ = std::move(target);
  }

  void TearDown() override {
    SetTlsCommandLineOverride(std::nullopt, std::nullopt);
    server_.reset();
    NetTest::TearDown();
  }

  /// One GET of /hello; `tls` unset means the requestor's own default policy.
  Completed Hello(const std::string& host, std::optional<TlsSettings> tls = std::nullopt) {
    HttpRequestor requestor;
    if (tls) requestor.SetTlsSettings(*tls);
    EXPECT_EQ(requestor.Init(server_->Url(host)), S_OK);
    EXPECT_TRUE(requestor.IsSecure());
    Recorder recorder;
    EXPECT_EQ(requestor.SendRequest("/hello", "GET", "", nullptr, 0, &Recorder::OnComplete,
                                    &recorder, 0),
              S_OK);
    return recorder.Single();
  }

  testing::TestPki pki_;
  std::unique_ptr<LoopbackServer> server_;
  std::mutex mutex_;  // the server thread reads the target
  std::string redirectTarget_;
};

TEST_F(HttpRequestorTlsTest, CertificatesAreCheckedUnlessExplicitlySwitchedOff) {
  std::ofstream(Home() / "garbage.pem") << "not a certificate";
  const std::string ca = pki_.caFile.string();
  struct Case {
    const char* name;
    const char* host;
    std::optional<TlsSettings> tls;  // nullopt: nothing configured at all
    HRESULT expected;
  };
  const Case cases[] = {
      {"nothing configured: unknown CA refused", "localhost", std::nullopt, kSecureFailure},
      {"trusted CA file", "localhost", TlsSettings{ca, false}, S_OK},
      {"trusted CA, wrong host name", "127.0.0.1", TlsSettings{ca, false}, kSecureFailure},
      {"missing CA file", "localhost", TlsSettings{(Home() / "missing.pem").string(), false},
       kSecureFailure},
      {"unreadable CA file", "localhost", TlsSettings{(Home() / "garbage.pem").string(), false},
       kSecureFailure},
      {"insecure: unknown CA accepted", "localhost", TlsSettings{"", true}, S_OK},
      {"insecure: wrong host accepted", "127.0.0.1", TlsSettings{"", true}, S_OK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Completed done = Hello(c.host, c.tls);
    EXPECT_EQ(done.status, c.expected);
    EXPECT_EQ(done.body, Succeeded(c.expected) ? "hello over tls" : "");
  }
}

TEST_F(HttpRequestorTlsTest, InsecureModeWarnsOnEveryInit) {
  CaptureLog(kLogWarn);
  for (const TlsSettings& tls : {TlsSettings{"", true}, TlsSettings{"", true},
                                 TlsSettings{pki_.caFile.string(), false}}) {
    HttpRequestor requestor;
    requestor.SetTlsSettings(tls);
    ASSERT_EQ(requestor.Init(server_->Url()), S_OK);
  }
  EXPECT_EQ(CountLog("WARN", "Certificate verification is OFF"), 2);
}

TEST_F(HttpRequestorTlsTest, RegistryValuesAndCommandLineDecideThePolicy) {
  // Nothing stored: verify against the system store only.
  EXPECT_EQ(EffectiveTlsSettings(), TlsSettings{});

  // The machine hive names the CA; requestors without explicit settings use it.
  std::filesystem::create_directories(Home() / "etc" / "KorvexDataSMB");
  std::ofstream(Home() / "etc" / "KorvexDataSMB" / "HKLM.reg")
      << ("Windows Registry Editor Version 5.00\n\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\KorvexDataSMB]\n"
          "\"TrustedCAFile\"=\"" + pki_.caFile.string() + "\"\n"
          "\"InsecureSkipCertificateCheck\"=dword:00000001\n");
  EXPECT_EQ(EffectiveTlsSettings(), (TlsSettings{pki_.caFile.string(), true}));

  // The user's hive overrides the machine's, also to switch checking back on.
  ASSERT_TRUE(WriteDword(Hive::CurrentUser, kProductKey, kInsecureSkipCertificateCheckValue, 0));
  EXPECT_EQ(EffectiveTlsSettings(), (TlsSettings{pki_.caFile.string(), false}));
  EXPECT_EQ(Hello("localhost").status, S_OK);
  EXPECT_EQ(Hello("127.0.0.1").status, kSecureFailure);

  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, kInsecureSkipCertificateCheckValue, "1"));
  EXPECT_TRUE(EffectiveTlsSettings().insecure);
  ASSERT_TRUE(WriteString(Hive::CurrentUser, kProductKey, kInsecureSkipCertificateCheckValue, "true"));
  EXPECT_FALSE(EffectiveTlsSettings().insecure) << "only the text \"1\" means on";

  // Command-line flags win over both hives.
  SetTlsCommandLineOverride(std::string(), true);
  EXPECT_EQ(EffectiveTlsSettings(), (TlsSettings{"", true}));
  EXPECT_EQ(Hello("127.0.0.1").status, S_OK);
  SetTlsCommandLineOverride(std::nullopt, false);
  EXPECT_EQ(EffectiveTlsSettings(), (TlsSettings{pki_.caFile.string(), false}));
}

TEST_F(HttpRequestorTlsTest, RedirectsNeverLeaveHttpsForHttp) {
  std::atomic<int> clearTextPosts{0};
  LoopbackServer plain;
  plain.Routes().Post("/landing", [&](const httplib::Request&, httplib::Response&) { ++clearTextPosts; });
  plain.Start();
  const std::string secureUrl = server_->Url("localhost"), form = "loginname=alice&password=secret";
  // A redirect that keeps the body (307, 308) keeps it at its origin: not
  // to plain http, not to another host.
  for (const auto& [target, expected] : {std::pair{plain.Url(), HResultFromHttp(kHttpErrorRedirectRefused)},
                                         std::pair{server_->Url("127.0.0.1"), HResultFromHttp(kHttpErrorRedirectRefused)},
                                         std::pair{secureUrl, S_OK}}) {
    SCOPED_TRACE(target);
    SetRedirectTarget(target + "/landing");
    HttpRequestor requestor;
    requestor.SetTlsSettings(TlsSettings{pki_.caFile.string(), false});
    ASSERT_EQ(requestor.Init(secureUrl), S_OK);
    Recorder recorder;
    ASSERT_EQ(requestor.SendRequest("/login", "POST", "Content-Type: application/x-www-form-urlencoded", form.data(),
                                    form.size(), &Recorder::OnComplete, &recorder, 0),
              S_OK);
    const Completed done = recorder.Single();
    EXPECT_EQ(done.status, expected);
    EXPECT_EQ(done.body, Succeeded(expected) ? "landed:" + form : "");
  }
  EXPECT_EQ(clearTextPosts.load(), 0);
}

}  // namespace
}  // namespace korvex
