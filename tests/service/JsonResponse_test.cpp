#include "service/JsonResponse.h"

#include "service/RequestText.h"
#include "service/RequestType.h"

#include <gtest/gtest.h>

#include <string>

namespace korvex {
namespace {

TEST(JsonResponse, ResultOneSucceedsWithoutReadingTheRest) {
  JsonResponse response;
  ASSERT_EQ(CheckJsonResponse(R"({"result":1,"errmsg":"ignored","state":5,"id":"7"})", response), S_OK);
  EXPECT_TRUE(response.succeeded);
  EXPECT_EQ(response.errmsg, "");
  EXPECT_EQ(response.state, 0);
  ASSERT_NE(response.object, nullptr);
  EXPECT_EQ(*FindString(*response.object, "id"), "7");
}

TEST(JsonResponse, RefusalCarriesMessageAndState) {
  struct Case {
    const char* body;
    const char* errmsg;
    std::int32_t state;
    HRESULT mapped;
  } cases[] = {
      {R"({"result":0,"errmsg":"exists","state":"3009"})", "exists", 3009, HR_ALREADY_EXISTS},
      {R"({"result":0,"state":3017})", "", 3017, HR_ALREADY_EXISTS},
      {R"({"result":0,"state":2013})", "", 2013, HR_ALREADY_EXISTS},
      {R"({"result":0,"state":"2006"})", "", 2006, HR_ALREADY_EXISTS},
      {R"({"result":0,"errmsg":"no"})", "no", 0, MakeHResult(0x804F0000u)},
      {R"({"result":0,"errmsg":12,"state":-5})", "", -5, -5},  // errmsg is read only as text
      {R"({"result":0,"errmsg":"\u540d\u79f0","state":"-5"})", "\xE5\x90\x8D\xE7\xA7\xB0", -5, -5},
      {R"({"result":0,"state":7})", "", 7, MakeHResult(0x80070007u)},
      {R"({"result":0,"state":"12abc"})", "", 12, MakeHResult(0x8007000Cu)},
      {R"({"result":0,"state":"abc"})", "", 0, MakeHResult(0x804F0000u)},
      {R"({"result":0,"state":true})", "", 0, MakeHResult(0x804F0000u)},
      {R"({"result":0,"state":70000})", "", 70000, MakeHResult(0x80071170u)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    JsonResponse response;
    EXPECT_EQ(CheckJsonResponse(c.body, response), E_INVALIDARG);
    EXPECT_FALSE(response.succeeded);
    EXPECT_EQ(response.errmsg, c.errmsg);
    EXPECT_EQ(response.state, c.state);
    EXPECT_EQ(RefusalStatus(response.state), c.mapped);
  }
}

TEST(JsonResponse, MalformedEnvelopesFail) {
  const char* bodies[] = {
      "",                         // empty body
      "[1]",                      // not an object
      "{\"result\":1",            // truncated
      "<html>error</html>",       // not JSON
      "{}",                       // no result
      R"({"result":"1"})",        // result as text
      R"({"result":1.0})",        // result as float
      R"({"result":true})",
      R"({"result":2})",          // out of range
      R"({"result":-1})",
  };
  for (const char* body : bodies) {
    SCOPED_TRACE(body);
    JsonResponse response;
    EXPECT_EQ(CheckJsonResponse(body, response), E_INVALIDARG);
    EXPECT_FALSE(response.succeeded);
  }
}

TEST(RequestText, EncodesEveryByteButLettersAndDigits) {
  struct Case {
    const char* name;
    const char* encoded;
  } cases[] = {
      {"AZaz09", "AZaz09"},
      {"a b.txt", "a%20b%2Etxt"},
      {"-._~", "%2D%2E%5F%7E"},
      {"100%&=+/?", "100%25%26%3D%2B%2F%3F"},
      {"\xE6\x96\x87", "%E6%96%87"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(EncodeName(c.name), c.encoded);
  }
}

TEST(RequestText, FillsNumberedPlaceholders) {
  EXPECT_EQ(FillTemplate("/file/listrandom/%1%/%2%/%3%/%4%/%5%", std::uint64_t{18446744073709551615u}, "LOGO",
                         SortKeyName(0), 0u, 100u),
            "/file/listrandom/18446744073709551615/LOGO//0/100");
  EXPECT_EQ(FillTemplate("fileid=%1%&override=%2%%%", 5, true), "fileid=5&override=1%");
}

}  // namespace
}  // namespace korvex

#include "LogCapture_support.h"

namespace korvex {
namespace {

using testing::ScopedLogCapture;

TEST(JsonResponseLog, WarnsWithTheBodyForEachKindOfFailure) {
  struct Case {
    const char* body;
    std::string line;
  } cases[] = {
      {"[1]", "JsonResponse|Invalid Json Response: [1]"},
      {"", "JsonResponse|Invalid Json Response: "},
      {R"({"result":"1"})", R"(JsonResponse|Invalid Json Response, No result field found: {"result":"1"})"},
      {R"({"result":2})", R"(JsonResponse|Invalid Json Response, result not in [0,1]: {"result":2})"},
      {R"({"result":0,"errmsg":"bad","state":"3009"})",
       R"(JsonResponse|Json Response Error: errmsg = bad, state = 3009 : {"result":0,"errmsg":"bad","state":"3009"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    ScopedLogCapture capture(kLogWarn);
    JsonResponse response;
    EXPECT_EQ(CheckJsonResponse(c.body, response), E_INVALIDARG);
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{c.line});
  }
}

TEST(JsonResponseLog, TracesTheBodyOnlyAtTrace) {
  {
    ScopedLogCapture capture(kLogTrace);
    JsonResponse response;
    ASSERT_EQ(CheckJsonResponse(R"({"result":1})", response), S_OK);
    EXPECT_EQ(capture.Lines(), std::vector<std::string>{R"(JsonResponse|unescaped response: {"result":1})"});
  }
  {
    ScopedLogCapture capture(kLogError);
    JsonResponse response;
    EXPECT_EQ(CheckJsonResponse("[1]", response), E_INVALIDARG);
    EXPECT_TRUE(capture.Lines().empty());
  }
}

}  // namespace
}  // namespace korvex

#include "net/LoginForm.h"
#include "service/AnswerLookup.h"

namespace korvex {
namespace {

TEST(AnswerLookup, FindsCookiesAndHeaderAttributes) {
  std::deque<std::string> cookies = {"lang=en; Path=/", "auth_pro=first; HttpOnly", "AUTH_PRO=second",
                                     "PHPSESSID=; Path=/", "x=1;PHPSESSID=late"};
  EXPECT_EQ(SetCookieValue(cookies, "AUTH_PRO"), "first");  // case ignored, first wins
  EXPECT_EQ(SetCookieValue(cookies, "PHPSESSID"), "");      // present but empty
  EXPECT_EQ(SetCookieValue(cookies, "lang"), "en");
  EXPECT_EQ(SetCookieValue(cookies, "Path"), "");            // " Path" starts with a blank
  EXPECT_EQ(SetCookieValue(cookies, "missing"), "");
  EXPECT_EQ(SetCookieValue({}, "AUTH_PRO"), "");

  EXPECT_EQ(HeaderAttributeValue("code=4001;message=bad range", "Code"), "4001");
  EXPECT_EQ(HeaderAttributeValue("code=4001;message=bad range", "message"), "bad range");
  EXPECT_EQ(HeaderAttributeValue("codes=1;code=2", "code"), "2");
  EXPECT_EQ(HeaderAttributeValue("", "code"), "");
}

}  // namespace
}  // namespace korvex
