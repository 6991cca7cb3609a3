// Shares, contacts, links, access codes with the visitor's upload, and the
// informational requests.
#include <gtest/gtest.h>

#include "ServiceClient.h"

namespace korvex::test {
namespace {

using SharingTest = KorvexdTest;

TEST_F(SharingTest, ShareLifecycleChangesWhatTheRecipientMayDo) {
  std::int64_t priv = SubDir(*bob_, bob_->RootDir(), "Private");
  std::string dir = "dirid=" + std::to_string(priv);
  EXPECT_EQ(StateOf(bob_->PostJson("/share/addsharedir", dir + "&userid=carol&privilege=2208")), 1212);
  EXPECT_EQ(StateOf(bob_->PostJson("/share/addsharedir", dir + "&userid=bob&privilege=2208")), 5001);
  EXPECT_EQ(StateOf(alice_->PostJson("/share/addsharedir", dir + "&userid=alice&privilege=2208")), 2005);
  ASSERT_EQ(bob_->PostJson("/share/addsharedir", dir + "&userid=alice&privilege=2208")["result"], 1);  // 0x8A0

  Json shared = alice_->GetJson("/directory/listandcount/" + std::to_string(alice_->ShareDir()));
  ASSERT_EQ(shared["list"].size(), 2u);
  EXPECT_EQ(alice_->GetJson("/file/listrandom/" + std::to_string(priv) + "/LOGO/title/0/10")["list"].size(), 1u);
  EXPECT_EQ(StateOf(alice_->PostJson("/directory/create", "parentid=" + std::to_string(priv) + "&dirname=x")), 2014)
      << "download only: no new directory";

  ASSERT_EQ(bob_->PostJson("/share/editsharedir", dir + "&userid=alice&privilege=2272")["result"], 1);
  EXPECT_GT(alice_->MakeDir(priv, "x"), 0) << "upload and download now";

  Json users = bob_->PostJson("/share/diraccess/" + std::to_string(priv) + "/LOGO/timedesc/1/10", "");
  ASSERT_EQ(users["list"].size(), 1u);
  ExpectTextFields(users["list"][0],
                   {"id", "uid", "dirid", "uname", "directoryname", "privilege", "domain", "isrevert", "sharetime"});
  EXPECT_EQ(users["list"][0]["privilege"], "2272");
  EXPECT_EQ(users["pagesum"], 1);

  // The recipient gives up the share; the owner's other share stays.
  ASSERT_EQ(alice_->PostJson("/share/removeshare", dir)["result"], 1);
  EXPECT_EQ(StateOf(alice_->GetJson("/directory/listandcount/" + std::to_string(priv))), 2005);
  std::int64_t team = SubDir(*bob_, bob_->RootDir(), "Team Share");
  ASSERT_EQ(bob_->PostJson("/share/cancelsharedir", "dirid=" + std::to_string(team))["result"], 1);
  EXPECT_TRUE(alice_->GetJson("/directory/listandcount/" + std::to_string(alice_->ShareDir()))["list"].empty());
}

TEST_F(SharingTest, ContactsArePagedAndComplete) {
  for (int i = 0; i < 5; ++i) {
    std::string cmd = std::string(KORVEXD_PATH) + " --data-dir " + korvexd_.DataDir().string() + " add-user u" +
                      std::to_string(i) + " pw demo > /dev/null";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }
  Json all = alice_->PostJson("/contact/list/LOGO/timedesc/0/0", "");
  ASSERT_EQ(all["list"].size(), 6u) << "everyone in the domain but alice";
  ExpectTextFields(all["list"][0], {"userid", "name", "domain", "jointime", "email", "msn", "photo"});
  Json page = alice_->PostJson("/contact/list/LOGO/timedesc/3/2", "");
  EXPECT_EQ(page["pagesum"], 3);
  ASSERT_EQ(page["list"].size(), 2u);
  EXPECT_EQ(page["list"][1]["name"], all["list"][5]["name"]);
  EXPECT_TRUE(alice_->PostJson("/contact/list/LOGO/timedesc/9/2", "")["list"].empty());
}

TEST_F(SharingTest, LinksAreMadeChangedReadAndRemoved) {
  std::string readme = FileId(*alice_, alice_->RootDir(), "readme.txt");
  Json link = alice_->GetJson("/file/getcodes/" + readme + "/7");
  ASSERT_EQ(link["result"], 1);
  std::string url = link["url"];
  ASSERT_EQ(url.rfind(korvexd_.BaseUrl() + "/link/", 0), 0u) << url;
  EXPECT_EQ(alice_->GetJson("/file/getcodes/" + readme + "/7")["url"], url) << "one link per file";

  httplib::Client anyone(korvexd_.Host(), korvexd_.Port());
  auto got = anyone.Get(url.substr(korvexd_.BaseUrl().size()).c_str());
  ASSERT_TRUE(got);
  EXPECT_EQ(got->body, "Welcome to KorvexData, Alice!\n");

  Json detail = alice_->GetJson("/file/clientlinkdetail/" + readme);
  EXPECT_EQ(detail["used"], "1");
  EXPECT_EQ(detail["overtime"], "7");
  EXPECT_EQ(alice_->PostJson("/file/changecodes/" + readme, "overdate=2030-01-01")["result"], 1);
  EXPECT_EQ(alice_->GetJson("/file/clientlinkdetail/" + readme)["dist"], "2030-01-01");
  EXPECT_EQ(StateOf(alice_->PostJson("/file/changecodes/" + readme, "overdate=someday")), 3000);

  Json listing = alice_->GetJson("/file/listrandom/" + std::to_string(alice_->RootDir()) + "/LOGO/sharedesc/0/10");
  EXPECT_TRUE(listing["list"][0]["linkid"].is_string());

  std::string budget = FileId(*alice_, SubDir(*alice_, alice_->ShareDir(), "Team Share"), "budget.csv");
  EXPECT_EQ(StateOf(alice_->GetJson("/file/getcodes/" + budget + "/1")), 6003) << "links only on own files";

  ASSERT_EQ(alice_->GetJson("/file/removecodes/" + readme)["result"], 1);
  EXPECT_EQ(anyone.Get(url.substr(korvexd_.BaseUrl().size()).c_str())->status, 404);
  EXPECT_EQ(StateOf(alice_->GetJson("/file/removecodes/" + readme)), 3001);

  ASSERT_EQ(alice_->PostJson("/file/sendlink", "email=bob@example.com&link=" + url + "&filename=readme.txt")["result"], 1);
  ASSERT_EQ(alice_->PostJson("/file/sendtoemail", "id=" + readme + "&mailAddress=x@y.z&content=hello")["result"], 1);
  EXPECT_EQ(StateOf(alice_->PostJson("/file/sendlink", "link=x")), 1001);
  Json mails = Admin("/admin/mails");
  ASSERT_EQ(mails["list"].size(), 2u);
  EXPECT_EQ(mails["list"][0]["to"], "bob@example.com");
  EXPECT_EQ(mails["list"][1]["body"]["content"], "hello");
}

TEST_F(SharingTest, AccessCodesAreMadeListedChangedAndDeleted) {
  std::int64_t inbox = SubDir(*alice_, alice_->RootDir(), "Inbox");
  Json made = alice_->GetJson("/accesscode/createcode/" + std::to_string(inbox));
  ASSERT_EQ(made["result"], 1);
  ExpectTextFields(made, {"id", "expiretime", "code", "ownerid"});
  Json codes = alice_->GetJson("/accesscode/listsingle/" + std::to_string(inbox) + "/TEXT/timedesc");
  ASSERT_EQ(codes["list"].size(), 2u);  // the demo code and the new one
  EXPECT_EQ(codes["list"][0]["code"], made["code"]);
  EXPECT_EQ(codes["list"][0]["isexpired"], "0");
  EXPECT_EQ(StateOf(bob_->GetJson("/accesscode/createcode/" + std::to_string(inbox))), 2005);

  ServiceClient visitor(korvexd_);
  std::string code = made["code"];
  EXPECT_EQ(StateOf(Json::parse(visitor.PostForm("/accesscode/preupload", "code=WRONG&filename=a&size=1")->body)), 6101);

  ASSERT_EQ(alice_->PostJson("/accesscode/editcode", "codeid=" + made["id"].get<std::string>() +
                                                          "&expiration=2000-01-01")["result"], 1);
  EXPECT_EQ(StateOf(visitor.PostJson("/accesscode/login", "code=" + code)), 6101) << "expired";
  ASSERT_EQ(alice_->PostJson("/accesscode/sendtoemail", "code=" + code + "&emailvalue=v@x.y&content=hi&codeid=1")["result"], 1);
  ASSERT_EQ(alice_->PostJson("/accesscode/delete", "codeids=" + made["id"].get<std::string>())["result"], 1);
  EXPECT_EQ(StateOf(alice_->PostJson("/accesscode/delete", "codeids=" + made["id"].get<std::string>())), 3001);
}

TEST_F(SharingTest, SpaceCountsPreviewsAndReports) {
  Json space = alice_->GetJson("/account/getspace");
  ASSERT_TRUE(space["space"].is_string());
  EXPECT_GT(std::stoll(space["space"].get<std::string>()), 0);
  EXPECT_EQ(space["totalspace"], std::to_string(10LL << 30));
  EXPECT_EQ(alice_->GetJson("/directory/countfiles/" + std::to_string(alice_->RootDir()))["total"], 5);

  std::int64_t photos = SubDir(*alice_, alice_->RootDir(), "Photos");
  Json pic = alice_->GetJson("/file/getpicpreview/" + FileId(*alice_, photos, "sunset.jpg"));
  ASSERT_EQ(pic["result"], 1);
  std::string url = pic["url"];
  auto bytes = alice_->Get(url.substr(korvexd_.BaseUrl().size()));
  ASSERT_TRUE(bytes);
  EXPECT_EQ(bytes->status, 200);
  EXPECT_EQ(bytes->body.size(), 9000u);
  EXPECT_EQ(alice_->GetJson("/file/getvideopreview/" + FileId(*alice_, photos, "sunset.jpg"))["result"], 0);

  std::string log = "log=OS=6.1\tBrowser=client\tFlashVer=1.2.2.22\tTaskState=Completed\tRetryCount=0\t"
                    "FileName=a b&c.txt\tTotal=2048\tParentId=1\tFileId=2\tSeconds=2\tSpeed=(1 K/s)\tAuth=x\tToken=y\tDir=0";
  auto res = alice_->PostForm("/errorlog.php", log);
  ASSERT_TRUE(res);
  EXPECT_EQ(res->status, 200);
  Json reports = Admin("/admin/reports");
  ASSERT_EQ(reports["list"].size(), 1u);
  EXPECT_EQ(reports["list"][0]["log"], log.substr(4)) << "kept byte for byte";
  EXPECT_EQ(reports["list"][0]["user"], "alice");
}

TEST_F(SharingTest, EachUserKeepsTheLatestThousandReports) {
  constexpr int kKept = 1000, kSent = kKept + 3;
  auto res = bob_->PostForm("/errorlog.php", "log=bob");
  ASSERT_TRUE(res);
  for (int i = 0; i < kSent; ++i) {
    res = alice_->PostForm("/errorlog.php", "log=" + std::to_string(i));
    ASSERT_TRUE(res);
    ASSERT_EQ(res->status, 200);
  }
  Json reports = Admin("/admin/reports");
  std::vector<std::string> alices;
  int bobs = 0;
  for (const Json& r : reports["list"]) {
    if (r["user"] == "alice") alices.push_back(r["log"]);
    bobs += r["user"] == "bob" ? 1 : 0;
  }
  EXPECT_EQ(bobs, 1) << "one user's reports never push out another's";
  ASSERT_EQ(alices.size(), static_cast<std::size_t>(kKept));
  EXPECT_EQ(alices.front(), std::to_string(kSent - kKept)) << "the oldest go first";
  EXPECT_EQ(alices.back(), std::to_string(kSent - 1));
}

}  // namespace
}  // namespace korvex::test
