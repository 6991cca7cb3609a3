// Shares, contacts, links, access codes, the window requests and the
// transfer report of the service back end against a real korvexd, seen from
// both users' sides and through what korvexd recorded.

#include "ServiceSession_support.h"
#include "platform/VersionMarker.h"
#include "service/JsonParser.h"
#include "service/KorvexDataStoreUploadDisk.h"
#include "service/TransferReport.h"
#include "service/WindowRequests.h"
#include "store/DataStore.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <optional>

namespace korvex::test {
namespace {

class Sharing : public korvex::testing::TempHomeTest {
 protected:
  struct Session {
    std::unique_ptr<KorvexDataStoreRemote> store;
    ContainerInfo root, shares;
    std::string authPro;
  };

  void SetUp() override {
    TempHomeTest::SetUp();
    ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error();
    ASSERT_NO_FATAL_FAILURE(Open("alice", "alice-demo-1", alice_));
    ASSERT_NO_FATAL_FAILURE(Open("bob", "bob-demo-1", bob_));
  }

  void Open(const std::string& name, const std::string& password, Session& session) {
    LoginAnswer login = LogIn(korvexd_.BaseUrl(), name, password);
    ASSERT_EQ(login.status, S_OK) << login.body;
    JsonValue answer = ParseJson(login.body);
    ASSERT_TRUE(answer.IsObject()) << login.body;
    session.root.uri = "/";
    session.root.tag = static_cast<std::uint64_t>(std::stoull(*FindString(*answer.AsObject(), "dirid")));
    session.shares.uri = "/shares/";
    session.shares.tag = static_cast<std::uint64_t>(std::stoull(*FindString(*answer.AsObject(), "secdirid")));
    session.authPro = login.authPro;
    session.store = std::make_unique<KorvexDataStoreRemote>(korvexd_.BaseUrl(), korvexd_.BaseUrl(), login.authPro,
                                                            login.phpSessionId, name);
  }

  // Starts an operation and waits for it; `outcome` keeps the payload.
  template <class Start>
  static HRESULT Run(Outcome& outcome, Start&& start) {
    const HRESULT hr = start(outcome.Out());
    return Failed(hr) ? hr : outcome.Wait();
  }
  template <class Start>
  static HRESULT Run(Start&& start) {
    Outcome outcome;
    return Run(outcome, std::forward<Start>(start));
  }

  static std::optional<ContainerInfo> Dir(Session& s, const ContainerInfo& parent, const std::string& name) {
    Outcome o;
    EXPECT_EQ(Run(o, [&](AsyncResult** r) { return s.store->ListSubContainersAndItemCount(parent, r); }), S_OK);
    if (const auto* payload = o.Payload<ListSubContainersPayload>())
      for (const Container* c : *boost::get<1>(*payload))
        if (c->info.name == name) return c->info;
    return std::nullopt;
  }
  static std::optional<ItemInfo> File(Session& s, const ContainerInfo& parent, const std::string& name) {
    Outcome o;
    EXPECT_EQ(Run(o, [&](AsyncResult** r) { return s.store->ListSubItems(parent, 0, 100, 1, r); }), S_OK);
    if (const auto* payload = o.Payload<ListSubItemsPayload>())
      for (const Item* i : *boost::get<1>(*payload))
        if (i->info.name == name) return i->info;
    return std::nullopt;
  }

  // The transfer reports korvexd received.
  JsonArray Reports() {
    std::string body;
    HttpRequestor requestor;
    EXPECT_EQ(requestor.Init(korvexd_.BaseUrl(), /*async=*/false), S_OK);
    EXPECT_EQ(requestor.SendRequest(
                  "/admin/reports", "GET", {}, nullptr, 0,
                  [](HRESULT, const std::string& b, const std::deque<std::string>&, const HttpHeaderMap&, void* out) {
                    *static_cast<std::string*>(out) = b;
                  },
                  &body, 0),
              S_OK);
    JsonValue root = ParseJson(body);
    const JsonArray* list = root.IsObject() ? FindArray(*root.AsObject(), "list") : nullptr;
    return list ? *list : JsonArray();
  }
  static BuddyInfo Buddy(const std::string& name) {
    BuddyInfo buddy;
    buddy.name = name;
    return buddy;
  }

  KorvexdProcess korvexd_;
  Session alice_, bob_;
};

TEST_F(Sharing, SharesAreSeenByTheOtherUserAndWithdrawn) {
  const std::string addUser = std::string(KORVEXD_PATH) + " --data-dir " + korvexd_.DataDir().string() +
                              " add-user carol carol-pw demo > /dev/null";
  ASSERT_EQ(std::system(addUser.c_str()), 0);
  auto projects = Dir(alice_, alice_.root, "Projects");
  ASSERT_TRUE(projects);
  projects->privilege = 0x8E0;
  ASSERT_EQ(Run([&](AsyncResult** r) {
              return alice_.store->ShareContainer(*projects, {Buddy("bob"), Buddy("carol")}, r);
            }),
            S_OK);
  EXPECT_TRUE(Dir(bob_, bob_.shares, "Projects(Upload/Download)"));

  Outcome users;
  ASSERT_EQ(Run(users, [&](AsyncResult** r) { return alice_.store->ListContainerBuddies(*projects, 1, 10, r); }), S_OK);
  const std::vector<BuddyInfoEx*>* shares = boost::get<2>(*users.Payload<ListContainerBuddiesPayload>());
  EXPECT_EQ(boost::get<1>(*users.Payload<ListContainerBuddiesPayload>()), 1u);
  ASSERT_EQ(shares->size(), 2u);
  for (const BuddyInfoEx* share : *shares) {
    SCOPED_TRACE(share->buddy.name);
    EXPECT_TRUE(share->buddy.name == "bob" || share->buddy.name == "carol");
    EXPECT_EQ(share->privilege, 0x8E0u);
    EXPECT_EQ(share->buddy.domain, "demo");
    EXPECT_EQ(share->directoryName, "Projects");
    EXPECT_EQ(share->directoryId, std::to_string(boost::any_cast<std::uint64_t>(projects->tag)));
    EXPECT_GT(boost::any_cast<std::uint64_t>(share->buddy.tag), 0u);
  }

  // Download only for bob, and carol leaves the share.
  projects->privilege = 0x8A0;
  ASSERT_EQ(Run([&](AsyncResult** r) { return alice_.store->EditContainerShare(*projects, {Buddy("bob")}, r); }), S_OK);
  ASSERT_EQ(Run([&](AsyncResult** r) { return alice_.store->UnshareContainer(*projects, {Buddy("carol")}, r); }), S_OK);
  auto seen = Dir(bob_, bob_.shares, "Projects(Download)");
  ASSERT_TRUE(seen);
  EXPECT_EQ(seen->ownerName, "alice");

  Outcome refused;
  EXPECT_EQ(
      Run(refused, [&](AsyncResult** r) { return alice_.store->ShareContainer(*projects, {Buddy("nobody")}, r); }),
      HResultFromWin32(1212));
  EXPECT_NE(refused.Message().find("nobody"), std::string::npos);

  // bob gives his share up (kind 0: "removeshare"); alice then cancels hers.
  ASSERT_EQ(Run([&](AsyncResult** r) { return bob_.store->CancelContainerShare(*seen, r); }), S_OK);
  EXPECT_FALSE(Dir(bob_, bob_.shares, "Projects(Download)"));
  projects->kind = kContainerShared;
  EXPECT_EQ(Run([&](AsyncResult** r) { return alice_.store->CancelContainerShare(*projects, r); }), S_OK);
}

TEST_F(Sharing, LinksAreMadeReadChangedAndRemoved) {
  auto readme = File(alice_, alice_.root, "readme.txt");
  ASSERT_TRUE(readme);
  Outcome link;
  ASSERT_EQ(Run(link, [&](AsyncResult** r) { return alice_.store->GetItemCodes(*readme, 0, "", r); }), S_OK);
  const std::string url = boost::get<1>(*link.Payload<ItemCodesPayload>());
  EXPECT_EQ(url.rfind(korvexd_.BaseUrl() + "/link/", 0), 0u) << url;

  Outcome detail;
  ASSERT_EQ(Run(detail, [&](AsyncResult** r) { return alice_.store->GetClientLinkDetail(*readme, r); }), S_OK);
  const ClientLinkDetailPayload& fields = *detail.Payload<ClientLinkDetailPayload>();
  EXPECT_EQ(boost::get<1>(fields), url);
  EXPECT_EQ(boost::get<2>(fields), "0");
  EXPECT_EQ(boost::get<3>(fields), 0) << "downloads";
  EXPECT_EQ(boost::get<4>(fields), -1) << "no expiry";

  ASSERT_EQ(Run([&](AsyncResult** r) { return alice_.store->ChangeItemCodes(*readme, 0, "2030-01-01", r); }), S_OK);
  Outcome changed;
  ASSERT_EQ(Run(changed, [&](AsyncResult** r) { return alice_.store->GetClientLinkDetail(*readme, r); }), S_OK);
  EXPECT_EQ(boost::get<2>(*changed.Payload<ClientLinkDetailPayload>()), "2030-01-01");

  ASSERT_EQ(Run([&](AsyncResult** r) { return alice_.store->RemoveItemCodes(*readme, r); }), S_OK);
  EXPECT_EQ(Run([&](AsyncResult** r) { return alice_.store->GetClientLinkDetail(*readme, r); }),
            HResultFromWin32(3001));

  // Only one's own files get links; the refusal carries the service's words.
  auto team = Dir(alice_, alice_.shares, "Team Share(Upload/Download)");
  ASSERT_TRUE(team);
  auto budget = File(alice_, *team, "budget.csv");
  ASSERT_TRUE(budget);
  Outcome refused;
  EXPECT_EQ(Run(refused, [&](AsyncResult** r) { return alice_.store->GetItemCodes(*budget, 7, "", r); }),
            HResultFromWin32(6003));
  EXPECT_NE(boost::get<1>(*refused.Payload<ItemCodesPayload>()).find("own file"), std::string::npos);
}

TEST_F(Sharing, AccessCodesAreMadeListedChangedAndDeleted) {
  auto inbox = Dir(alice_, alice_.root, "Inbox");
  ASSERT_TRUE(inbox);
  Outcome made;
  ASSERT_EQ(Run(made, [&](AsyncResult** r) { return alice_.store->CreateAccessCode(*inbox, r); }), S_OK);
  const CreateAccessCodePayload fields = *made.Payload<CreateAccessCodePayload>();
  const std::string id = boost::get<1>(fields), code = boost::get<3>(fields);
  EXPECT_EQ(code.size(), 8u);
  EXPECT_FALSE(id.empty() || boost::get<2>(fields).empty() || boost::get<4>(fields).empty());

  ASSERT_EQ(Run([&](AsyncResult** r) { return alice_.store->EditAccessCode(id, "2031-02-03", r); }), S_OK);
  Outcome listed;
  ASSERT_EQ(Run(listed, [&](AsyncResult** r) { return alice_.store->ListAccessCodes(*inbox, r); }), S_OK);
  const std::vector<ContainerCode>& codes = *boost::get<1>(*listed.Payload<AccessCodesPayload>());
  ASSERT_EQ(codes.size(), 2u) << "the new code and DEMO2026";
  const ContainerCode& newest = codes[0];
  EXPECT_EQ(newest.codeId, id);
  EXPECT_EQ(newest.code, code);
  EXPECT_EQ(newest.name, "Inbox");
  EXPECT_EQ(newest.expireTime.substr(0, 10), "2031-02-03");
  EXPECT_EQ(newest.directoryId, std::to_string(boost::any_cast<std::uint64_t>(inbox->tag)));
  EXPECT_EQ(newest.directoryName, "Inbox");
  EXPECT_TRUE(newest.isExpired.empty() && newest.ownerId.empty()) << "positions 5 and 7 stay unfilled";
  EXPECT_EQ(codes[1].code, "DEMO2026");

  ASSERT_EQ(Run([&](AsyncResult** r) { return alice_.store->DeleteAccessCodes(id, r); }), S_OK);
  EXPECT_EQ(Run([&](AsyncResult** r) { return alice_.store->DeleteAccessCodes(id, r); }), HResultFromWin32(3001));
  EXPECT_EQ(Run([&](AsyncResult** r) { return alice_.store->CreateAccessCode(alice_.shares, r); }),
            HResultFromWin32(2005));
}

TEST_F(Sharing, SpaceAndTransferReports) {
  Outcome space;
  ASSERT_EQ(Run(space, [&](AsyncResult** r) { return alice_.store->GetSpace(r); }), S_OK);
  EXPECT_GT(boost::get<1>(*space.Payload<SpacePayload>()), 0u);
  EXPECT_EQ(boost::get<2>(*space.Payload<SpacePayload>()), 10ull << 30);

  // The file name keeps its blank and tab; only "%", "&" and "+" are encoded.
  const std::string name = "a b\tQ&A 100%+.txt";
  ASSERT_EQ(Run([&](AsyncResult** r) {
              return alice_.store->ReportTransfer(1, 2, name, 2048, 11, 12, 20'000'000, "t+k", r);
            }),
            S_OK);
  ASSERT_EQ(Run([&](AsyncResult** r) { return alice_.store->ReportTransfer(0, 0, "x", 2048, 11, 12, 0, "", r); }),
            S_OK);
  JsonArray reports = Reports();
  ASSERT_EQ(reports.size(), 2u);
  const std::string first = *FindString(*reports[0].AsObject(), "log");
  EXPECT_EQ(first.rfind("OS=" + OperatingSystemVersion() +
                            "\tBrowser=client\tFlashVer=" + std::string(ProgramVersion()) + "\tTaskState=Completed",
                        0),
            0u)
      << first;
  for (const std::string& part : std::vector<std::string>{
           "\tTaskState=Completed\tRetryCount=2\tFileName=a b\tQ%26A 100%25%2B.txt\tTotal=2048\tParentId=11\tFileId=12",
           "\tSeconds=2\tSpeed=(1 K/s)\tAuth=" + alice_.authPro + "\tToken=t%2Bk\tDir=1"}) {
    EXPECT_NE(first.find(part), std::string::npos) << part << " in " << first;
  }
  EXPECT_NE(FindString(*reports[1].AsObject(), "log")->find("\tSeconds=0\tSpeed=(0 K/s)\t"), std::string::npos);
}

TEST_F(Sharing, TheUploadDiskRefusesUnknownCodes) {
  LoginAnswer visitor = PostLogin(korvexd_.BaseUrl(), "/accesscode/login", "code=DEMO2026");
  ASSERT_EQ(visitor.status, S_OK) << visitor.body;
  JsonValue answer = ParseJson(visitor.body);
  ASSERT_TRUE(answer.IsObject()) << visitor.body;
  const std::uint64_t inboxId = std::stoull(*FindString(*answer.AsObject(), "dirid"));
  auto disk = [&](const char* code) {
    return std::make_unique<DataStore>(
        std::make_unique<KorvexDataStoreUploadDisk>(korvexd_.BaseUrl(), korvexd_.BaseUrl(), visitor.authPro,
                                                    visitor.phpSessionId, "Upload", inboxId, code),
        1);
  };
  std::unique_ptr<DataStore> upload = disk("DEMO2026");
  const ContainerInfo root = upload->RootInfo();
  ItemInfo file;
  file.name = "Q&A 100%+ notes.txt";
  file.size = 5000;
  std::unique_ptr<DataStore> stranger = disk("NOPE2345");
  EXPECT_EQ(stranger->CreateItem(stranger->RootInfo(), file, 1), HResultFromWin32(6101));
}

}  // namespace
}  // namespace korvex::test
