// The login's wire texts and the check of typed input before sending.
#include "net/LoginForm.h"
#include "net/LoginInputCheck.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

TEST(LoginForm, EncodesFieldsSoTheFormCannotBeAltered) {
  LoginInput input;
  input.loginName = "j\xC3\xA4ger bauer";  // blank and a-umlaut
  input.password = "p&w=1;%";
  input.domain = "a&password=x";
  const std::string mac = "00-11-22-33-44-55";
  struct Case {
    std::string_view format;
    std::string expected;
  };
  const Case cases[] = {
      {kDefaultAccountLoginFormat,
       "loginname=j%C3%A4ger%20bauer&password=p%26w%3D1%3B%25&domain=a%26password%3Dx"
       "&macaddr=00-11-22-33-44-55"},
      {"u=%1%&p=%2%&d=%3%", "u=j%C3%A4ger%20bauer&p=p%26w%3D1%3B%25&d=a%26password%3Dx"},
      {"u=%1%&p=%2%", "u=j%C3%A4ger%20bauer&p=p%26w%3D1%3B%25"},
      {"u=%1%&p=%2%&x=%5%", ""},  // unusable replacement format
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.format);
    EXPECT_EQ(FormatAccountLoginBody(c.format, input, mac), c.expected);
  }
  EXPECT_EQ(EncodeLoginDomain("acme-1.korvex_data.com"), "acme-1.korvex_data.com");
  input.accessCode = "DEMO 2026";
  EXPECT_EQ(FormatAccessCodeLoginBody(input), "code=DEMO%202026");
}

TEST(LoginForm, MacListAndCookiesAndAccountName) {
  const std::vector<std::vector<std::uint8_t>> adapters = {
      {0x00, 0x1a, 0x2B, 0xc3, 0xd4, 0xFF}, {}, {0x0a, 0x0b}};
  EXPECT_EQ(FormatMacAddressList(adapters), "00-1A-2B-C3-D4-FF,0A-0B");
  EXPECT_EQ(FormatMacAddressList({}), "");
  const std::string local = MacAddressList();
  EXPECT_EQ(local.find_first_not_of("0123456789ABCDEF-,"), std::string::npos) << local;

  const std::deque<std::string> cookies = {"TOKEN=t; path=/", "auth_pro=abc; Path=/; HttpOnly",
                                           "AUTH_PRO=second", "PHPSESSID=p1; path=/"};
  EXPECT_EQ(SetCookieValue(cookies, "AUTH_PRO"), "abc");
  EXPECT_EQ(SetCookieValue(cookies, "PHPSESSID"), "p1");
  EXPECT_EQ(SetCookieValue(cookies, "MISSING"), "");
  EXPECT_EQ(SetCookieValue({"AUTH_PROX=1; AUTH_PRO=2"}, "AUTH_PRO"), "");  // parts must start with it

  EXPECT_EQ(AccountName("alice", "demo"), "alice@demo");
  EXPECT_EQ(AccountName("bob@demo", ""), "bob@demo");
}

TEST(LoginInputCheck, ReducesTheDomainAndRefusesWhatCannotWork) {
  constexpr std::string_view kService = "korvexdata.com";
  struct Case {
    const char* name;
    const char* domain;
    unsigned message;
    const char* domainAfter;
  };
  const std::string longName(101, 'n');
  const std::string longestName = [] {
    std::string text;
    for (int i = 0; i < 100; ++i) text += "\xC3\xA4";  // 200 bytes, 100 UTF-16 units
    return text;
  }();
  const Case cases[] = {
      {"alice", "https://www.korvexdata.com/acme", 0, "acme"},
      {"alice", "http://acme.korvexdata.com/", 0, "acme"},
      {"alice", "HTTPS://Acme.KorvexData.com", 0, "Acme"},
      {"alice", "acme.korvexdata.com", 0, "acme"},
      {"alice", "acme", 0, "acme"},
      {"alice", "acme.example.org", 0, "acme.example.org"},
      {"alice", "a&password=x", 0, "a&password=x"},
      {"alice", "https://acme", kIdsLoginNoHttpsPrefix, "https://acme"},
      {"alice", "https://acme.example.org", kIdsLoginNoHttpsPrefix, "https://acme.example.org"},
      {"alice", "", kIdsLoginDomainRequired, ""},
      {"alice@acme", "", 0, ""},
      {"", "acme", kIdsLoginNameRequired, "acme"},
      {longName.c_str(), "acme", kIdsLoginNameTooLong, "acme"},
      {longestName.c_str(), "acme", 0, "acme"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name).substr(0, 12) + " / " + c.domain);
    LoginInput input{LoginMode::Account, c.name, "secret", c.domain, ""};
    EXPECT_EQ(CheckLoginInput(input, kService), c.message);
    EXPECT_EQ(input.domain, c.domainAfter);
  }
  LoginInput code{LoginMode::AccessCode, "", "", "", ""};
  EXPECT_EQ(CheckLoginInput(code, kService), kIdsLoginCodeRequired);
  code.accessCode = "DEMO2026";
  EXPECT_EQ(CheckLoginInput(code, kService), 0u);

  for (const unsigned id : {kIdsLoginNoHttpsPrefix, kIdsLoginDomainRequired}) {
    const std::string text = LoginInputMessage(id, kService);
    EXPECT_NE(text.find("korvexdata.com"), std::string::npos) << text;
    EXPECT_EQ(text.find("%1%"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace korvex
