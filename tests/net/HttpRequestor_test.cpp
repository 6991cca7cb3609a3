// Requests against a real HTTP server on loopback: statuses, cookies,
// headers, size limits and transport failures.
#include "net/HttpRequestor.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

#include "NetTestSupport.h"
#include "foundation/Language.h"
#include "net/HttpErrorTable.h"

namespace korvex {
namespace {

using testing::Completed;
using testing::LoopbackServer;
using testing::Recorder;

// Above the size from which bodies get huge pages.
constexpr std::size_t kBigBody = 9 << 20;

/// Sends one request on `requestor` and returns its completion.
Completed Send(HttpRequestor& requestor, std::string_view path, std::string_view verb = "GET",
               std::string_view headers = "", std::string_view body = "",
               std::uint32_t sizeLimit = 0) {
  Recorder recorder;
  const HRESULT sent = requestor.SendRequest(path, verb, headers, body.data(), body.size(),
                                             &Recorder::OnComplete, &recorder, sizeLimit);
  EXPECT_EQ(sent, S_OK);
  return Failed(sent) ? Completed{sent, {}, {}, {}, {}} : recorder.Single();
}

void Set(httplib::Response& response, const std::vector<std::string>& cookies,
         const HttpHeaderMap& headers = {}) {
  for (const auto& cookie : cookies) response.set_header("Set-Cookie", cookie);
  for (const auto& [name, value] : headers) response.set_header(name, value);
}

class HttpRequestorTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    auto& routes = server_.Routes();
    routes.Get(R"(/status/(\d+))", [](const httplib::Request& request, httplib::Response& response) {
      response.status = std::stoi(request.matches[1]);
      if (response.status != 204) response.set_content("payload", "text/plain");
    });
    routes.Get("/redirect/start", [](const httplib::Request&, httplib::Response& response) {
      Set(response, {"first=1; Path=/"}, {{"x-korvexws-idt-status", "from-the-redirect"}});
      response.set_redirect("/redirect/middle");
    });
    routes.Get("/redirect/middle", [](const httplib::Request&, httplib::Response& response) {
      Set(response, {"second=2", "third=3"});
      response.set_redirect("/redirect/end", 301);
    });
    routes.Get("/redirect/end", [](const httplib::Request&, httplib::Response& response) {
      Set(response, {"AUTH_PRO=final-secret; HttpOnly"},
          {{"X-KorvexWS-IDT-Stream-Id", "S-17"}, {"x-korvexws-idt-chunk-sequence-next", "3"},
           {"x-korvexws-idt-chunk-range", "0-9"}, {"x-korvexws-idt-other", "not copied"}});
      response.set_content("done", "text/plain");
    });
    auto echo = [](const httplib::Request& request, httplib::Response& response) {
      std::string text = "method=" + request.method;
      for (const char* name : {"Cookie", "Accept-Language", "User-Agent", "Content-Type",
                               "X-Custom", "Expect"}) {
        text += std::string("\n") + name + "=" +
                (request.has_header(name) ? request.get_header_value(name) : "(none)");
      }
      response.set_content(text + "\nbody=" + request.body, "text/plain");
    };
    routes.Get("/echo", echo);
    routes.Post("/echo", echo);
    routes.Get("/path/.*", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.path, "text/plain");
    });
    routes.Get("/ten", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("0123456789", "text/plain");
    });
    routes.Get("/big", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(std::string(kBigBody, 'b'), "application/octet-stream");
    });
    routes.Get("/stall", [](const httplib::Request&, httplib::Response& response) {
      std::this_thread::sleep_for(std::chrono::milliseconds(3500));
      response.set_content("late", "text/plain");
    });
    routes.Get("/secret-failure", [](const httplib::Request&, httplib::Response& response) {
      response.status = 403;
      response.set_header("Set-Cookie", "PHPSESSID=do-not-log-me");
    });
    server_.Start();
  }

  /// Sends one request on a fresh requestor.
  Completed Fetch(std::string_view path, std::string_view verb = "GET",
                  std::string_view headers = "", std::string_view body = "",
                  std::uint32_t sizeLimit = 0) {
    HttpRequestor requestor;
    EXPECT_EQ(requestor.Init(server_.Url()), S_OK);
    return Send(requestor, path, verb, headers, body, sizeLimit);
  }

  static bool Has(const Completed& done, const std::string& line) {
    return done.body.find("\n" + line + "\n") != std::string::npos;
  }

  LoopbackServer server_;
};

TEST_F(HttpRequestorTest, OnlyTheFiveSuccessStatusesSucceedAndFailuresHaveNoBody) {
  const std::pair<int, HRESULT> cases[] = {
      {200, S_OK}, {201, S_OK}, {202, S_OK}, {203, S_OK}, {206, S_OK},
      {204, MakeHResult(0x804F00CCu)},
      {404, MakeHResult(0x804F0194u)},
      {500, MakeHResult(0x804F01F4u)},
      {302, MakeHResult(0x804F012Eu)},  // a redirect without a target is the final answer
  };
  for (const auto& [status, expected] : cases) {
    SCOPED_TRACE("HTTP " + std::to_string(status));
    const Completed done = Fetch("/status/" + std::to_string(status));
    EXPECT_EQ(done.status, expected);
    EXPECT_EQ(done.body, Succeeded(expected) ? "payload" : "");
  }
}

TEST_F(HttpRequestorTest, CollectsSetCookieOfEveryRedirectResponseInArrivalOrder) {
  const Completed done = Fetch("/redirect/start");
  ASSERT_EQ(done.status, S_OK);
  EXPECT_EQ(done.body, "done");
  const std::deque<std::string> expected = {"first=1; Path=/", "second=2", "third=3",
                                            "AUTH_PRO=final-secret; HttpOnly"};
  EXPECT_EQ(done.cookies, expected);
  // Stream headers are those of the final answer only, under lower-case names.
  const HttpHeaderMap headers = {{"x-korvexws-idt-stream-id", "S-17"},
                                 {"x-korvexws-idt-chunk-sequence-next", "3"},
                                 {"x-korvexws-idt-chunk-range", "0-9"}};
  EXPECT_EQ(done.headers, headers);
}

TEST_F(HttpRequestorTest, CookieHeaderCarriesTheSessionValuesExactly) {
  struct Case {
    const char* authPro;
    const char* phpSession;
    const char* expected;
  };
  const Case cases[] = {
      {"", "", "(none)"},
      {"", "sess", "(none)"},  // no AUTH_PRO, no cookie at all
      {"tok", "", "AUTH_PRO=tok"},
      {"tok", "sess", "AUTH_PRO=tok;PHPSESSID=sess"},
      {"to\r\nX-Injected: 1", "", "AUTH_PRO=toX-Injected: 1"},  // line breaks cannot split the header
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("AUTH_PRO=") + c.authPro + " PHPSESSID=" + c.phpSession);
    HttpRequestor requestor;
    ASSERT_EQ(requestor.Init(server_.Url()), S_OK);
    requestor.SetAuthPro(c.authPro);
    requestor.SetPhpSessionId(c.phpSession);
    const Completed done = Send(requestor, "/echo");
    EXPECT_TRUE(Has(done, std::string("Cookie=") + c.expected)) << done.body;
  }
}

TEST_F(HttpRequestorTest, PostSendsBodyExtraHeadersAndUserAgent) {
  const std::string form = "name=a%20b&size=3";
  const Completed done =
      Fetch("/echo", "POST", "Content-Type: application/x-www-form-urlencoded\r\nX-Custom: 42\r\n",
            form);
  ASSERT_EQ(done.status, S_OK);
  EXPECT_TRUE(done.body.starts_with("method=POST\n")) << done.body;
  for (const char* line : {"Content-Type=application/x-www-form-urlencoded", "X-Custom=42",
                           "User-Agent=KorvexdDataVIP Http Agent 1.0", "Expect=(none)"}) {
    EXPECT_TRUE(Has(done, line)) << line;
  }
  EXPECT_TRUE(done.body.ends_with("\nbody=" + form));

  // Raw bytes (a block or chunk upload) are not labelled as a form.
  const Completed raw = Fetch("/echo", "POST", "x-korvex-range:bytes=0-3", "\x01\x02\x03");
  ASSERT_EQ(raw.status, S_OK);
  EXPECT_TRUE(Has(raw, "Content-Type=(none)")) << raw.body;

  // Large enough that libcurl would otherwise ask "Expect: 100-continue".
  const std::string large(2 << 20, 'x');
  const Completed big = Fetch("/echo", "POST", "Content-Type: application/octet-stream", large);
  ASSERT_EQ(big.status, S_OK);
  EXPECT_TRUE(Has(big, "Expect=(none)"));
  EXPECT_EQ(big.body.size() - big.body.find("\nbody=") - 6, large.size());
}

TEST_F(HttpRequestorTest, AcceptLanguageOnlyWhenTheInterfaceIsChinese) {
  const std::pair<LanguageId, const char*> cases[] = {
      {kLanguageUnset, "(none)"}, {kLanguageEnglish, "(none)"}, {kLanguageChinese, "zh"}};
  for (const auto& [language, expected] : cases) {
    SCOPED_TRACE(static_cast<int>(language));
    SetCurrentLanguage(language);
    const Completed done = Fetch("/echo");
    EXPECT_TRUE(Has(done, std::string("Accept-Language=") + expected)) << done.body;
  }
}

TEST_F(HttpRequestorTest, PathsWithBlanksAndNonAsciiNamesAreEscaped) {
  const Completed done = Fetch("/path/a b/#1 \xE5\x90\x8D%41.txt?x=1");
  ASSERT_EQ(done.status, S_OK);
  EXPECT_EQ(done.body, "/path/a b/#1 \xE5\x90\x8D" "A.txt");
}

TEST_F(HttpRequestorTest, SizeLimitStopsReadingAndCompletesWithSuccess) {
  const Completed small = Fetch("/ten", "GET", "", "", 4);
  EXPECT_EQ(small.status, S_OK);
  EXPECT_TRUE(small.body.starts_with("0123")) << small.body;

  const Completed cut = Fetch("/big", "GET", "", "", 1000);
  EXPECT_EQ(cut.status, S_OK);
  EXPECT_GE(cut.body.size(), 1000u);
  EXPECT_LT(cut.body.size(), kBigBody);

  EXPECT_EQ(Fetch("/big").body.size(), kBigBody);
  EXPECT_EQ(Fetch("/ten", "GET", "", "", 100).body, "0123456789");
}

// Bulk bodies stay in the caller's memory: an answer lands in its buffer
// (never beyond it), and a body it hands over is sent from where it lies
// for as long as the request needs it.
TEST_F(HttpRequestorTest, BodiesPlacedByTheCallerAreReadAndSentInPlace) {
  HttpRequestor requestor;
  ASSERT_EQ(requestor.Init(server_.Url()), S_OK);
  const struct {
    const char* path;
    std::size_t capacity;
    std::size_t expected;
  } kReads[] = {{"/ten", 16, 10}, {"/ten", 10, 10}, {"/big", 1000, 1000}};
  for (const auto& read : kReads) {
    SCOPED_TRACE(std::string(read.path) + " into " + std::to_string(read.capacity));
    std::vector<std::uint8_t> buffer(read.capacity + 8, 0xEE);
    std::size_t received = 99;
    HttpBodyPlace place;
    place.receiveInto = buffer.data();
    place.receiveCapacity = read.capacity;
    place.received = &received;
    Recorder recorder;
    ASSERT_EQ(requestor.SendRequest(read.path, "GET", "", nullptr, 0, &Recorder::OnComplete, &recorder, 0, {}, place),
              S_OK);
    const Completed done = recorder.Single();
    EXPECT_EQ(done.status, S_OK);
    EXPECT_TRUE(done.body.empty()) << "the answer was copied as well";
    ASSERT_EQ(received, read.expected);
    const std::string got(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(received));
    EXPECT_EQ(got, read.expected == 10 ? std::string("0123456789") : std::string(read.expected, 'b'));
    EXPECT_EQ(buffer[read.capacity], 0xEE) << "written past the buffer";
  }

  auto owned = std::make_shared<std::string>(3 << 20, 'u');
  HttpBodyPlace place;
  place.sendOwner = owned;
  const std::weak_ptr<std::string> watch = owned;
  Recorder recorder;
  ASSERT_EQ(requestor.SendRequest("/echo", "POST", "Content-Type: application/octet-stream", owned->data(),
                                  owned->size(), &Recorder::OnComplete, &recorder, 0, {}, place),
            S_OK);
  // From here on only the request holds the body.
  owned.reset();
  place.sendOwner.reset();
  const Completed sent = recorder.Single();
  ASSERT_EQ(sent.status, S_OK);
  EXPECT_TRUE(sent.body.ends_with("\nbody=" + std::string(3 << 20, 'u')));
  for (int i = 0; i < 200 && !watch.expired(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_TRUE(watch.expired()) << "the request kept the body after it ended";
}

TEST_F(HttpRequestorTest, TransportFailuresCarryTheirTransportNumbers) {
  // A port that was just free: nothing listens there.
  LoopbackServer closed;
  closed.Start();
  const std::string closedUrl = closed.Url();
  closed.Stop();
  testing::HangUpServer hangUp;

  struct Case {
    const char* name;
    std::string baseUrl;
    const char* path;
    HRESULT expected;
  };
  const Case cases[] = {
      {"refused", closedUrl, "/", MakeHResult(0x804F2EFDu)},                  // 12029
      {"hung up", hangUp.Url(), "/", MakeHResult(0x804F2EFEu)},               // 12030
      {"no progress", server_.Url(), "/stall", MakeHResult(0x804F2EE2u)},     // 12002
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HttpRequestor requestor;
    requestor.SetTimeouts({.connectMs = 10'000, .stallSeconds = 1});
    ASSERT_EQ(requestor.Init(c.baseUrl), S_OK);
    EXPECT_EQ(Send(requestor, c.path).status, c.expected);
  }
}

// Failures that loopback cannot produce, pinned at the mapping itself: the
// status-message table names these numbers.
TEST(HttpErrorTable, MapsLibcurlFailuresToTransportNumbers) {
  const std::pair<CURLcode, std::uint32_t> cases[] = {
      {CURLE_COULDNT_RESOLVE_HOST, 12007}, {CURLE_COULDNT_RESOLVE_PROXY, 12007},
      {CURLE_OPERATION_TIMEDOUT, 12002},   {CURLE_URL_MALFORMAT, 12005},
      {CURLE_SSL_CONNECT_ERROR, 12175},    {CURLE_PEER_FAILED_VERIFICATION, 12175},
      {CURLE_RECV_ERROR, 12030},           {CURLE_ABORTED_BY_CALLBACK, 12017},
      {CURLE_OUT_OF_MEMORY, 12004},        {CURLE_TOO_MANY_REDIRECTS, 12004},
  };
  for (const auto& [code, number] : cases) {
    SCOPED_TRACE(curl_easy_strerror(code));
    EXPECT_EQ(HttpErrorFromCurl(code), number);
  }
}

TEST_F(HttpRequestorTest, RefusesBadUrlsAndArgumentsWithoutCallingTheCompletion) {
  for (const std::string url : {"", "not a url", "ftp://host/", "http://", "file:///etc/passwd"}) {
    SCOPED_TRACE(url);
    HttpRequestor requestor;
    EXPECT_EQ(requestor.Init(url), HResultFromWin32(kHttpErrorInvalidUrl));
  }
  HttpRequestor tooLong;
  EXPECT_TRUE(Failed(tooLong.Init("http://" + std::string(300, 'a') + ".example/")));

  HttpRequestor requestor;
  Recorder recorder;
  auto send = [&](const char* path, const char* verb, std::size_t length, HttpCompletion done) {
    return requestor.SendRequest(path, verb, "", nullptr, length, done, &recorder, 0);
  };
  EXPECT_EQ(send("/ten", "GET", 0, &Recorder::OnComplete), E_UNEXPECTED);  // before Init
  ASSERT_EQ(requestor.Init(server_.Url() + "/ignored/base/path"), S_OK);
  EXPECT_EQ(requestor.Init(server_.Url()), E_UNEXPECTED);
  EXPECT_EQ(send("ten", "GET", 0, &Recorder::OnComplete), E_INVALIDARG);
  EXPECT_EQ(send("/ten", "GET", 0, nullptr), E_INVALIDARG);
  EXPECT_EQ(send("/ten", "POST", 5, &Recorder::OnComplete), E_INVALIDARG);
  // The base URL's own path is not part of request URLs.
  ASSERT_EQ(send("/ten", "GET", 0, &Recorder::OnComplete), S_OK);
  EXPECT_EQ(recorder.Single().body, "0123456789");
}

TEST_F(HttpRequestorTest, SynchronousRequestorReturnsAfterTheCompletionRan) {
  HttpRequestor requestor;
  ASSERT_EQ(requestor.Init(server_.Url(), /*async=*/false), S_OK);
  Recorder recorder;
  ASSERT_EQ(requestor.SendRequest("/ten", "GET", "", nullptr, 0, &Recorder::OnComplete, &recorder, 0),
            S_OK);
  EXPECT_EQ(recorder.Count(), 1u);
  const Completed done = recorder.Single();
  EXPECT_EQ(done.body, "0123456789");
  EXPECT_NE(done.thread, std::this_thread::get_id());
}

TEST_F(HttpRequestorTest, LogsMissingCookieAtTraceAndNeverLogsCookieValuesAboveIt) {
  CaptureLog(kLogTrace);
  const Completed done = Fetch("/secret-failure");
  EXPECT_EQ(done.status, MakeHResult(0x804F0193u));
  EXPECT_EQ(done.cookies.size(), 1u);  // the caller still gets the value

  EXPECT_EQ(CountLog("TRACE", "|HttpRequestor|No Cookie: GET " + server_.Url() + "/secret-failure"), 1);
  bool sawFailure = false;
  for (const auto& line : LogLines()) {
    sawFailure |= line.find("Http Response Error:") != std::string::npos &&
                  line.find("Http Status Code = 403") != std::string::npos;
    EXPECT_TRUE(line.starts_with("TRACE") || line.find("do-not-log-me") == std::string::npos) << line;
  }
  EXPECT_TRUE(sawFailure);
}

}  // namespace
}  // namespace korvex
