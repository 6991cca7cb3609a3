// Proxy settings: their registry round trip, resolution from the user's
// configuration, their libcurl form, and a request through a loopback proxy.
#include "net/ProxyConfigHelper.h"

#include <gtest/gtest.h>

#include "NetTestSupport.h"
#include "foundation/Registry.h"
#include "net/HttpRequestor.h"

namespace korvex {
namespace {

using testing::Completed;
using testing::LoopbackServer;
using testing::Recorder;
using testing::ScopedEnv;

using ProxyConfigHelperTest = testing::NetTest;

TEST_F(ProxyConfigHelperTest, ProxyListPicksTheEntryForTheScheme) {
  struct Case {
    const char* list;
    std::uint32_t accessType;
    const char* http;
    const char* https;
  };
  const Case cases[] = {
      {"proxy:8080", kProxyAccessNamedProxy, "proxy:8080", "proxy:8080"},
      {"http://proxy:8080", kProxyAccessNamedProxy, "http://proxy:8080", "http://proxy:8080"},
      {"http=a:1;https=b:2", kProxyAccessNamedProxy, "a:1", "b:2"},
      {"https=b:2 c:3", kProxyAccessNamedProxy, "c:3", "b:2"},
      {"http=a:1", kProxyAccessNamedProxy, "a:1", ""},
      {"", kProxyAccessNamedProxy, "", ""},
      {"proxy:8080", kProxyAccessNoProxy, "", ""},  // access type 1 never uses the list
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.list);
    const ProxySettings settings{c.accessType, c.list, ""};
    EXPECT_EQ(ProxyConfigHelper::CurlProxyFor(settings, "http"), c.http);
    EXPECT_EQ(ProxyConfigHelper::CurlProxyFor(settings, "https"), c.https);
  }
}

TEST_F(ProxyConfigHelperTest, BypassListBecomesLibcurlNoProxyList) {
  struct Case {
    const char* bypass;
    const char* expected;
  };
  const Case cases[] = {
      {"", ""},
      {"*.example.com", ".example.com"},
      {"a.example;b.example, c.example  d.example", "a.example,b.example,c.example,d.example"},
      {"<local>", "localhost,127.0.0.1,::1"},
      {"10.*;192.168.1.*", "10.0.0.0/8,192.168.1.0/24"},
      {"*", "*"},
      {"ab*cd", ""},  // no libcurl form: dropped rather than matched wrongly
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bypass);
    EXPECT_EQ(ProxyConfigHelper::CurlNoProxyList(c.bypass), c.expected);
  }
}

TEST_F(ProxyConfigHelperTest, LoadsDefaultsAndRoundTripsThroughTheRegistry) {
  EXPECT_EQ(ProxyConfigHelper::Load(), ProxySettings{});
  const ProxySettings saved{kProxyAccessNamedProxy, "http=a:1;https=b:2", "*.corp;<local>"};
  EXPECT_TRUE(ProxyConfigHelper::Save(saved));
  EXPECT_EQ(ProxyConfigHelper::Load(), saved);
  EXPECT_EQ(ReadDword(Hive::CurrentUser, kProductKey, "ProxyConfig_AccessType", 0), 3u);
  EXPECT_EQ(ReadString(Hive::CurrentUser, kProductKey, "ProxyConfig_Proxy", ""), saved.proxy);
  EXPECT_EQ(ReadString(Hive::CurrentUser, kProductKey, "ProxyConfig_ProxyBypass", ""), saved.bypass);
}

TEST_F(ProxyConfigHelperTest, ResolvesTheEnvironmentsProxyForTheWebSite) {
  {
    ProxySettings settings{kProxyAccessNamedProxy, "stale:1", "stale"};
    ASSERT_EQ(ProxyConfigHelper::QueryActiveUserProxyConfig("http://web.example/", settings), S_OK);
    EXPECT_EQ(settings, ProxySettings{}) << "no proxy configured means direct";
  }
  ScopedEnv http("http_proxy", "http://127.0.0.1:3128");
  ScopedEnv https("https_proxy", "http://127.0.0.1:3128");
  ScopedEnv noProxy("no_proxy", "intranet.example");
  ProxySettings settings;
  ASSERT_EQ(ProxyConfigHelper::QueryActiveUserProxyConfig("https://web.example/", settings), S_OK);
  EXPECT_EQ(settings.accessType, kProxyAccessNamedProxy);
  EXPECT_EQ(ProxyConfigHelper::CurlProxyFor(settings, "https"), "http://127.0.0.1:3128");
  EXPECT_EQ(settings.bypass, "intranet.example");

  ProxySettings untouched{kProxyAccessNamedProxy, "keep:1", ""};
  EXPECT_TRUE(Failed(ProxyConfigHelper::QueryActiveUserProxyConfig("no scheme", untouched)));
  EXPECT_EQ(untouched.proxy, "keep:1");
}

TEST_F(ProxyConfigHelperTest, RequestorReplacesRegistrySettingsAndSavesWhatItUsed) {
  // An earlier run saved a proxy; the user has none now.
  ASSERT_TRUE(ProxyConfigHelper::Save({kProxyAccessNamedProxy, "old-proxy:8080", "old"}));
  {
    HttpRequestor requestor;
    EXPECT_EQ(requestor.Proxy(), (ProxySettings{kProxyAccessNamedProxy, "old-proxy:8080", "old"}));
    ASSERT_EQ(requestor.Init("http://127.0.0.1:9/"), S_OK);
    EXPECT_EQ(requestor.Proxy(), ProxySettings{});
  }
  EXPECT_EQ(ProxyConfigHelper::Load(), ProxySettings{});
}

TEST_F(ProxyConfigHelperTest, RequestorKeepsRegistrySettingsWhenResolutionFails) {
  const ProxySettings saved{kProxyAccessNamedProxy, "saved-proxy:8080", ""};
  ASSERT_TRUE(ProxyConfigHelper::Save(saved));
  CaptureLog(kLogWarn);
  {
    HttpRequestor requestor;
    requestor.SetProxyQueryUrl("not an address");
    ASSERT_EQ(requestor.Init("http://127.0.0.1:9/"), S_OK) << "a proxy failure never fails Init";
    EXPECT_EQ(requestor.Proxy(), saved);
  }
  EXPECT_EQ(CountLog("WARN", "QueryActiveUserProxyConfig Failed: hr = 0x80070057"), 1);
  EXPECT_EQ(ProxyConfigHelper::Load(), saved);
}

class ProxiedRequestTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    // A forward proxy sees the absolute form "GET http://host:port/path".
    proxy_.Routes().Get(".*", [this](const httplib::Request& request, httplib::Response& response) {
      {
        std::lock_guard lock(mutex_);
        seen_.push_back(request.target);
      }
      response.set_content("answered by the proxy", "text/plain");
    });
    proxy_.Start();
  }

  std::vector<std::string> Seen() {
    std::lock_guard lock(mutex_);
    return seen_;
  }

  std::mutex mutex_;
  std::vector<std::string> seen_;
  LoopbackServer proxy_;
};

TEST_F(ProxiedRequestTest, RequestsGoThroughTheProxyUnlessSwitchedOffOrBypassed) {
  testing::HangUpServer origin;  // answers nobody: only the proxy can answer
  const std::string originUrl = origin.Url();
  ScopedEnv http("http_proxy", proxy_.Url().c_str());
  auto send = [](HttpRequestor& requestor, const char* path) {
    Recorder recorder;
    EXPECT_EQ(requestor.SendRequest(path, "GET", "", nullptr, 0, &Recorder::OnComplete, &recorder, 0),
              S_OK);
    return recorder.Single();
  };
  {
    HttpRequestor requestor;
    ASSERT_EQ(requestor.Init(originUrl), S_OK);
    ASSERT_EQ(requestor.Proxy().accessType, kProxyAccessNamedProxy);
    EXPECT_TRUE(requestor.UseProxy());
    const Completed proxied = send(requestor, "/file?id=7");
    EXPECT_EQ(proxied.status, S_OK);
    EXPECT_EQ(proxied.body, "answered by the proxy");
    EXPECT_EQ(Seen(), std::vector<std::string>{originUrl + "/file?id=7"});

    requestor.SetUseProxy(false);
    EXPECT_EQ(send(requestor, "/file?id=8").status, HResultFromHttp(kHttpErrorConnectionReset));
    EXPECT_EQ(Seen().size(), 1u);
  }
  ScopedEnv noProxy("no_proxy", "127.0.0.1");
  HttpRequestor bypassing;
  bypassing.SetProxyQueryUrl("http://web.example/");  // the web site itself is not bypassed
  ASSERT_EQ(bypassing.Init(originUrl), S_OK);
  ASSERT_EQ(bypassing.Proxy().accessType, kProxyAccessNamedProxy);
  EXPECT_EQ(send(bypassing, "/x").status, HResultFromHttp(kHttpErrorConnectionReset));
  EXPECT_EQ(Seen().size(), 1u);
}

}  // namespace
}  // namespace korvex
