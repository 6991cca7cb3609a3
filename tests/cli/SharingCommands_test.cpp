// korvex's sharing, link, access-code, preview, count and upload commands,
// run as child processes against korvexd, checked on both users' side and
// in what korvexd recorded.

#include "KorvexRun.h"
#include "support/KorvexdProcess.h"
#include "support/TempHome.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

namespace korvex::test {
namespace {

using korvex::testing::ScopedEnv;
using Json = nlohmann::json;

class KorvexSharing : public korvex::testing::TempHomeTest {
 protected:
  void SetUp() override {
    TempHomeTest::SetUp();
    ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error();
    for (const char* name : {"KORVEX_WEB_URL", "KORVEX_API_URL", "KORVEX_DATA_URL"})
      env_.push_back(std::make_unique<ScopedEnv>(name, korvexd_.BaseUrl().c_str()));
  }

  // Runs korvex; its standard output when it exits with `exitCode`.
  static std::string Korvex(const std::vector<std::string>& args, int exitCode = 0, const std::string& input = {}) {
    const KorvexRun run = RunKorvex(args, input);
    EXPECT_EQ(run.exitCode, exitCode) << ::testing::PrintToString(args) << "\n" << run.out << run.err;
    return exitCode == 0 ? run.out : run.err;
  }
  static void LogIn(const std::string& name, const std::string& password) {
    Korvex({"login", name, "--domain", "demo", "--password-stdin"}, 0, password + "\n");
  }

  Json Admin(const std::string& path) {
    httplib::Client client(korvexd_.BaseUrl());
    auto answer = client.Get(path);
    return answer && answer->status == 200 ? Json::parse(answer->body, nullptr, false) : Json();
  }

  KorvexdProcess korvexd_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
};

TEST_F(KorvexSharing, OwnerSharesLinksAndHandsOutCodesAndAVisitorUploads) {
  LogIn("alice", "alice-demo-1");
  EXPECT_NE(Korvex({"share", "/Projects", "bob", "--rights", "updown"}).find("bob"), std::string::npos);
  Json users = Json::parse(Korvex({"share", "list", "/Projects", "--json"}));
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0]["user"], "bob");
  EXPECT_EQ(users[0]["rights"], "Upload/Download");
  EXPECT_NE(Korvex({"share", "/Projects", "nobody"}, 1).find("(0x800704BC)"), std::string::npos);
  EXPECT_NE(Korvex({"contacts"}).find("bob"), std::string::npos);

  const std::string url = Korvex({"link", "create", "/readme.txt", "--days", "3"});
  EXPECT_EQ(url.rfind(korvexd_.BaseUrl() + "/link/", 0), 0u) << url;
  Json detail = Json::parse(Korvex({"link", "show", "/readme.txt", "--json"}));
  EXPECT_EQ(detail["daysLeft"], 3);
  EXPECT_EQ(detail["downloads"], 0);
  Korvex({"link", "send", "/readme.txt", "bob@demo", "--message", "Q&A 100% + more"});
  EXPECT_EQ(Admin("/admin/mails")["list"].back()["body"]["content"], "Q&A 100% + more");
  Korvex({"link", "remove", "/readme.txt"});
  Korvex({"link", "send", "/readme.txt", "bob@demo"}, 1);

  Json made = Json::parse(Korvex({"code", "create", "/Inbox", "--json"}));
  ASSERT_EQ(made.size(), 1u);
  const std::string id = made[0]["id"], code = made[0]["code"];
  Korvex({"code", "send", id, "bob@demo", "--dir", "/Inbox"});
  EXPECT_EQ(Admin("/admin/mails")["list"].back()["body"]["code"], code);
  Korvex({"code", "edit", id, "2031-02-03"});
  EXPECT_NE(Korvex({"code", "list", "/Inbox"}).find("2031-02-03"), std::string::npos);

  EXPECT_EQ(Korvex({"count", "/Documents"}), "2\n");
  EXPECT_EQ(Korvex({"preview", "/Photos/sunset.jpg"}).rfind(korvexd_.BaseUrl() + "/preview/", 0), 0u);
  Korvex({"preview", "/readme.txt"}, 1);

  // bob sees the share with his rights and gives it up.
  LogIn("bob", "bob-demo-1");
  EXPECT_NE(Korvex({"ls", "shares:/"}).find("Projects(Upload/Download)"), std::string::npos);
  Korvex({"share", "cancel", "shares:/Projects"});
  EXPECT_EQ(Korvex({"ls", "shares:/"}).find("Projects"), std::string::npos);

  // A visitor with the new code puts a file into alice's Inbox.
  Korvex({"login", "--code", code});
  const std::filesystem::path local = Home() / "Q&A 100%+.txt";
  korvex::testing::WriteText(local, std::string(70000, 'q'));
  Korvex({"put", local.string()});
  Korvex({"mkdir", "upload:/x"}, 1);
  bool arrived = false;
  const Json tree = Admin("/admin/tree/alice");
  for (const Json& dir : tree["tree"]["dirs"]) {
    if (dir["name"] != "Inbox") continue;
    for (const Json& file : dir["files"]) arrived |= file["name"] == local.filename().string() && file["size"] == 70000;
  }
  EXPECT_TRUE(arrived) << tree.dump();
  Korvex({"code", "delete", id}, 1);  // a visitor manages no codes
}

}  // namespace
}  // namespace korvex::test
