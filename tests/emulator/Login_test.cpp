// Login, cookies, refusal of calls without a session, and the process life.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "ServiceClient.h"

namespace korvex::test {
namespace {

class LoginTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error(); }
  KorvexdProcess korvexd_;
};

TEST_F(LoginTest, AccountLoginSetsBothCookiesAndStringFields) {
  httplib::Client http(korvexd_.Host(), korvexd_.Port());
  auto res = http.Post("/2nddomain/loginnorandom",
                       "loginname=alice&password=alice%2Ddemo%2D1&domain=demo&macaddr=00-11-22-33-44-55",
                       "application/x-www-form-urlencoded");
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  EXPECT_FALSE(SetCookieValue(*res, "AUTH_PRO").empty());
  EXPECT_FALSE(SetCookieValue(*res, "PHPSESSID").empty());
  EXPECT_NE(SetCookieValue(*res, "AUTH_PRO"), SetCookieValue(*res, "PHPSESSID"));
  Json j = Json::parse(res->body);
  EXPECT_EQ(j["result"], 1);
  ExpectTextFields(j, {"dirid", "secdirid", "filesize", "issubaccount", "status", "class", "name"});
  EXPECT_EQ(j["issubaccount"], "0");
  EXPECT_NE(j["dirid"], j["secdirid"]);
}

TEST_F(LoginTest, RefusesBadCredentialsWithTheirStates) {
  struct Case {
    const char* name;
    const char* password;
    const char* domain;
    long long state;
  } cases[] = {
      {"alice", "wrong", "demo", 1203},
      {"nobody", "alice-demo-1", "demo", 1212},
      {"alice", "alice-demo-1", "otherdomain", 1212},
      {"", "x", "demo", 1211},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.name) + "/" + c.domain);
    ServiceClient client(korvexd_);
    Json j = client.PostJson("/2nddomain/loginnorandom", std::string("loginname=") + Encode(c.name) +
                                                             "&password=" + Encode(c.password) +
                                                             "&domain=" + c.domain + "&macaddr=");
    EXPECT_EQ(j["result"], 0);
    EXPECT_EQ(StateOf(j), c.state);
    EXPECT_TRUE(j["state"].is_string());
  }
}

TEST_F(LoginTest, ApiChecksTheSessionWhichSurvivesRestart) {
  ServiceClient good(korvexd_);
  ASSERT_TRUE(good.Login("bob@demo", "bob-demo-1", "")) << "a name with its domain needs no domain field";
  std::string path = "/directory/listandcount/" + std::to_string(good.RootDir());
  for (const std::string& auth : {std::string(), std::string("00FF"), good.Auth() + "0"}) {
    SCOPED_TRACE("cookie '" + auth + "'");
    ServiceClient client(korvexd_);
    client.SetAuth(auth);
    Json j = client.GetJson(path);
    EXPECT_EQ(j["result"], 0);
    EXPECT_LT(StateOf(j), 0) << "a refusal the client passes through unchanged";
  }
  ASSERT_TRUE(korvexd_.Stop());
  ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error();
  ServiceClient again(korvexd_);
  again.SetAuth(good.Auth());
  EXPECT_EQ(again.GetJson(path)["result"], 1);
}

TEST_F(LoginTest, AccessCodeLoginNamesTheUploadDirectoryOnly) {
  ServiceClient visitor(korvexd_);
  auto res = visitor.PostForm("/accesscode/login", "code=DEMO2026");
  ASSERT_TRUE(res);
  Json j = Json::parse(res->body);
  ASSERT_EQ(j["result"], 1);
  ASSERT_TRUE(j["dirid"].is_string());
  visitor.SetAuth(SetCookieValue(*res, "AUTH_PRO"));
  // A code visitor may upload into the directory but not browse accounts.
  EXPECT_EQ(visitor.GetJson("/directory/listandcount/" + j["dirid"].get<std::string>())["result"], 0);

  Json bad = visitor.PostJson("/accesscode/login", "code=NOPE");
  EXPECT_EQ(bad["result"], 0);
  EXPECT_EQ(StateOf(bad), 6101);
}

TEST(KorvexdCommandLine, AddUserAndSetQuotaThenLogin) {
  KorvexdProcess korvexd;
  ASSERT_TRUE(korvexd.Start()) << korvexd.Error();
  ASSERT_TRUE(korvexd.Stop());
  std::string command = std::string(KORVEXD_PATH) + " --data-dir " + korvexd.DataDir().string() +
                        " add-user carol 'carol pw;1' acme > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_NE(std::system(command.c_str()), 0) << "a second user of the same name is refused";
  const std::string quota = std::string(KORVEXD_PATH) + " --data-dir " + korvexd.DataDir().string() + " set-quota ";
  ASSERT_EQ(std::system((quota + "carol acme 5000 > /dev/null").c_str()), 0);
  EXPECT_NE(std::system((quota + "carol nowhere 5000 2> /dev/null").c_str()), 0) << "no such account";
  EXPECT_NE(std::system((quota + "carol acme 5k 2> /dev/null").c_str()), 0) << "not a size";
  ASSERT_TRUE(korvexd.Start()) << korvexd.Error();
  ServiceClient client(korvexd);
  ASSERT_TRUE(client.Login("carol", "carol pw;1", "acme"));
  EXPECT_EQ(client.GetJson("/account/getspace")["totalspace"], "5000");
  EXPECT_NE(client.PreUpload(client.RootDir(), "fits.bin", 4000).first.find('.'), std::string::npos);
  EXPECT_EQ(client.PreUpload(client.RootDir(), "too-big.bin", 6000).first.find('.'), std::string::npos)
      << "the quota set offline holds";
  EXPECT_TRUE(korvexd.Stop()) << "SIGTERM ends korvexd with exit code 0";
}

TEST(KorvexdCommandLine, RejectsBadArguments) {
  std::string base = std::string(KORVEXD_PATH);
  EXPECT_NE(std::system((base + " 2>/dev/null").c_str()), 0) << "no data folder";
  EXPECT_NE(std::system((base + " --data-dir /nonexistent/korvexd --port 70000 2>/dev/null").c_str()), 0);
  EXPECT_NE(std::system((base + " --data-dir /nonexistent/korvexd --fault bogus 2>/dev/null").c_str()), 0);
  EXPECT_NE(std::system((base + " --data-dir /nonexistent/korvexd --tls-cert x 2>/dev/null").c_str()), 0);
}

TEST(KorvexdStartOptions, ServesHttpsAndThePublishedUpdateFilesIgnoringTheQuery) {
  const std::string dir =
      (std::filesystem::temp_directory_path() / ("korvexd-options-" + std::to_string(getpid()))).string();
  std::filesystem::create_directories(dir);
  std::ofstream(dir + "/ZEPH300.xml") << "<root><version>1.2.2.23</version></root>";
  std::ofstream(dir + "/ZEPH300.exe", std::ios::binary) << std::string("MZ\0\1binary", 10);
  std::string make = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -keyout " + dir +
                     "/key.pem -out " + dir + "/cert.pem > /dev/null 2>&1";
  ASSERT_EQ(std::system(make.c_str()), 0) << "openssl could not make a test certificate";
  KorvexdProcess korvexd;
  ASSERT_TRUE(korvexd.Start({"--seed-demo", "--update-dir", dir, "--tls-cert", dir + "/cert.pem", "--tls-key",
                             dir + "/key.pem"}))
      << korvexd.Error();
  EXPECT_EQ(korvexd.BaseUrl().rfind("https://", 0), 0u) << korvexd.BaseUrl();
  httplib::SSLClient https(korvexd.Host(), korvexd.Port());
  https.set_ca_cert_path((dir + "/cert.pem").c_str());
  https.enable_server_certificate_verification(true);
  auto res = https.Post("/2nddomain/loginnorandom", "loginname=alice&password=alice%2Ddemo%2D1&domain=demo",
                        "application/x-www-form-urlencoded");
  ASSERT_TRUE(res) << httplib::to_string(res.error());
  EXPECT_EQ(Json::parse(res->body)["result"], 1);
  EXPECT_FALSE(SetCookieValue(*res, "AUTH_PRO").empty());

  auto xml = https.Get("/ZEPH300.xml?123456");
  ASSERT_TRUE(xml);
  EXPECT_NE(xml->body.find("<version>1.2.2.23</version>"), std::string::npos);
  // The digest of each published file, and of nothing else in the folder.
  EXPECT_NE(xml->body.find("<sha256 file=\"ZEPH300.exe\">"
                           "8c6914c12916b610419394cea58876307e4a9582f610385d4c81485262d3a36c</sha256></root>"),
            std::string::npos)
      << xml->body;
  EXPECT_EQ(xml->body.find(".pem"), std::string::npos) << xml->body;
  EXPECT_EQ(https.Get("/ZEPH300.exe?99")->body, std::string("MZ\0\1binary", 10));
  EXPECT_EQ(https.Get("/KorvexDiagnosis.dll?1")->status, 404);
  EXPECT_EQ(https.Get("/..%2Fetc%2Fpasswd.xml")->status, 404);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace korvex::test
