// The exact requests of the sharing, link, access-code and window
// operations, and answers that korvexd never gives, fed back by hand.

#include "FakeTransport_support.h"
#include "service/WindowRequests.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <functional>

namespace korvex {
namespace {

using testing::RecordingStore;
using Start = std::function<HRESULT(KorvexDataStoreRemote&, AsyncResult**)>;

constexpr const char* kForm = "Content-Type: application/x-www-form-urlencoded";

ContainerInfo Directory(std::uint64_t id, std::int32_t kind = kContainerOrdinary) {
  ContainerInfo info;
  info.tag = id;
  info.privilege = 3;
  info.kind = kind;
  return info;
}

ItemInfo File(std::uint64_t id) {
  ItemInfo info;
  info.tag = id;
  return info;
}

BuddyInfo Buddy(const char* name) {
  BuddyInfo buddy;
  buddy.name = name;
  return buddy;
}

// Holds the caller's reference; the records a payload owns go with it.
struct Started {
  AsyncResult* result = nullptr;
  ~Started() {
    if (!result) return;
    if (result->State() == kAsyncSucceeded) DeletePayloadObjects(*result);
    result->Release();
  }
};

class SharingRequests : public korvex::testing::TempHomeTest {};

TEST_F(SharingRequests, SendsEachRequestAsTheServiceReadsIt) {
  struct Case {
    const char* what;
    Start call;
    const char* verb;
    const char* path;
    const char* body;
  } cases[] = {
      {"share one", [](auto& s, auto r) { return s.ShareContainer(Directory(5), {Buddy("ann")}, r); }, "POST",
       "/share/addsharedir", "dirid=5&userid=ann&privilege=3"},
      {"share two",
       [](auto& s, auto r) {
         return s.ShareContainer(Directory(5), {Buddy("ann"), Buddy("bob")}, r);
       },
       "POST", "/share/addsharedir", "dirid=5&userid=ann,bob&privilege=3"},
      {"edit share", [](auto& s, auto r) { return s.EditContainerShare(Directory(5), {Buddy("ann")}, r); }, "POST",
       "/share/editsharedir", "dirid=5&userid=ann&privilege=3"},
      {"unshare", [](auto& s, auto r) { return s.UnshareContainer(Directory(5), {Buddy("a+b")}, r); }, "POST",
       "/share/unsharedir", "dirid=5&userid=a%2Bb"},
      {"cancel shared", [](auto& s, auto r) { return s.CancelContainerShare(Directory(5, kContainerShared), r); },
       "POST", "/share/cancelsharedir", "dirid=5"},
      {"give up", [](auto& s, auto r) { return s.CancelContainerShare(Directory(5, 1), r); }, "POST",
       "/share/removeshare", "dirid=5"},
      {"contacts", [](auto& s, auto r) { return s.ListBuddies(1, 20, r); }, "POST", "/contact/list/LOGO/timedesc/1/20",
       ""},
      {"share users", [](auto& s, auto r) { return s.ListContainerBuddies(Directory(5), 2, 10, r); }, "POST",
       "/share/diraccess/5/LOGO/timedesc/2/10", ""},
      {"link days", [](auto& s, auto r) { return s.GetItemCodes(File(9), 7, "", r); }, "GET", "/file/getcodes/9/7", ""},
      {"link date", [](auto& s, auto r) { return s.GetItemCodes(File(9), 7, "2030-01-01", r); }, "POST",
       "/file/getcodes/9", "overdate=2030-01-01"},
      {"change days", [](auto& s, auto r) { return s.ChangeItemCodes(File(9), 3, "", r); }, "GET",
       "/file/changecodes/9/3", ""},
      {"change date", [](auto& s, auto r) { return s.ChangeItemCodes(File(9), 3, "2030-01-01 10:00:00", r); }, "POST",
       "/file/changecodes/9", "overdate=2030-01-01 10:00:00"},
      {"remove link", [](auto& s, auto r) { return s.RemoveItemCodes(File(9), r); }, "GET", "/file/removecodes/9", ""},
      {"link detail", [](auto& s, auto r) { return s.GetClientLinkDetail(File(9), r); }, "GET",
       "/file/clientlinkdetail/9", ""},
      {"mail file", [](auto& s, auto r) { return s.SendItemToEmail(9, "a@b.c;d@e.f", "Q&A 100% + more", r); }, "POST",
       "/file/sendtoemail", "id=9&mailAddress=a@b.c;d@e.f&content=Q%26A 100%25 %2B more"},
      {"mail link", [](auto& s, auto r) { return s.SendLink("a@b.c", "http://h/l?a&b", "Q&A\t\xC3\xA9.txt", r); },
       "POST", "/file/sendlink", "email=a@b.c&link=http://h/l?a%26b&filename=Q%26A\t\xC3\xA9.txt"},
      {"list codes", [](auto& s, auto r) { return s.ListAccessCodes(Directory(5), r); }, "GET",
       "/accesscode/listsingle/5/TEXT/timedesc", ""},
      {"new code", [](auto& s, auto r) { return s.CreateAccessCode(Directory(5), r); }, "GET",
       "/accesscode/createcode/5", ""},
      {"delete codes", [](auto& s, auto r) { return s.DeleteAccessCodes("1,2 3", r); }, "POST", "/accesscode/delete",
       "codeids=1,2 3"},
      {"edit code", [](auto& s, auto r) { return s.EditAccessCode("3", "2030-01-01", r); }, "POST",
       "/accesscode/editcode", "codeid=3&expiration=2030-01-01"},
      {"mail code", [](auto& s, auto r) { return s.SendAccessCodeEmail("3", "AB&C", "a@b.c", "hi there", r); }, "POST",
       "/accesscode/sendtoemail", "code=AB%26C&emailvalue=a@b.c&content=hi there&codeid=3"},
      {"count", [](auto& s, auto r) { return s.CountFiles(Directory(5), r); }, "GET", "/directory/countfiles/5", ""},
      {"space", [](auto& s, auto r) { return s.GetSpace(r); }, "GET", "/account/getspace", ""},
      {"picture", [](auto& s, auto r) { return s.GetPreviewUrl(File(9), false, r); }, "GET", "/file/getpicpreview/9",
       ""},
      {"video", [](auto& s, auto r) { return s.GetPreviewUrl(File(9), true, r); }, "GET", "/file/getvideopreview/9",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingStore store;
    Started started;
    ASSERT_EQ(c.call(store, &started.result), S_OK);
    ASSERT_EQ(store.sent.size(), 1u);
    const testing::SentRequest& sent = store.sent[0];
    EXPECT_TRUE(sent.onApi);
    EXPECT_EQ(sent.verb, c.verb);
    EXPECT_EQ(sent.path, c.path);
    EXPECT_EQ(sent.body, c.body);
    EXPECT_EQ(sent.headers, *c.body ? kForm : "");
  }
  // A record without a service id sends nothing.
  RecordingStore store;
  AsyncResult* result = nullptr;
  EXPECT_EQ(store.GetItemCodes(ItemInfo(), 7, "", &result), E_INVALIDARG);
  EXPECT_EQ(store.ShareContainer(ContainerInfo(), {Buddy("ann")}, &result), E_INVALIDARG);
  EXPECT_TRUE(store.sent.empty());
}

TEST_F(SharingRequests, ReadsOddAnswersWithoutLosingTheRest) {
  struct Case {
    const char* what;
    Start call;
    const char* answer;
    HRESULT status;
    std::function<void(const AsyncResult&)> check;
  } cases[] = {
      {"link without address", [](auto& s, auto r) { return s.GetItemCodes(File(9), 7, "", r); }, R"({"result":1})",
       HResultFromWin32(1606),
       [](const AsyncResult& r) {
         EXPECT_EQ(r.Message(), "Unkown error");
         EXPECT_EQ(boost::get<1>(*r.PayloadAs<ItemCodesPayload>()), "Unkown error");
       }},
      {"link refused without state", [](auto& s, auto r) { return s.GetItemCodes(File(9), 7, "", r); },
       R"({"result":0,"errmsg":"no"})", E_INVALIDARG,
       [](const AsyncResult& r) { EXPECT_EQ(boost::get<1>(*r.PayloadAs<ItemCodesPayload>()), "no"); }},
      {"contacts", [](auto& s, auto r) { return s.ListBuddies(1, 2, r); },
       R"({"result":1,"pagesum":3,"list":[7,
          {"userid":"42","name":"ann","domain":"d","jointime":"t","email":"e","msn":"m","photo":"p"},
          {"userid":"43","name":"bob","domain":"d","jointime":"t","email":"e","msn":"m"}]})",
       S_OK,
       [](const AsyncResult& r) {
         const auto& payload = *r.PayloadAs<ListBuddiesPayload>();
         EXPECT_EQ(boost::get<1>(payload), 3u);
         ASSERT_EQ(boost::get<2>(payload)->size(), 1u) << "bob has no photo";
         EXPECT_EQ(boost::any_cast<std::uint64_t>(boost::get<2>(payload)->at(0)->tag), 42u);
       }},
      {"count as text", [](auto& s, auto r) { return s.CountFiles(Directory(5), r); }, R"({"result":1,"total":"12"})",
       S_OK, [](const AsyncResult& r) { EXPECT_EQ(boost::get<1>(*r.PayloadAs<FileCountPayload>()), 12u); }},
      {"report refused", [](auto& s, auto r) { return s.ReportTransfer(0, 0, "f", 1, 2, 3, 4, "t", r); },
       "<html>500</html>", S_OK, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingStore store;
    Started started;
    ASSERT_EQ(c.call(store, &started.result), S_OK);
    store.AnswerLast(c.answer);
    EXPECT_EQ(ReadOutcome(*started.result), c.status);
    if (c.check) c.check(*started.result);
  }

  RecordingStore store;
  Started started;
  ASSERT_EQ(store.GetPreviewUrl(File(9), true, &started.result), S_OK);
  store.AnswerLast("not json");
  EXPECT_EQ(ReadOutcome(*started.result), E_INVALIDARG);
  EXPECT_TRUE(log_->Contains("parse response JSON error, not json"));
}

TEST(PreviewAddress, SplitsAtTheFirstSlashAfterTheScheme) {
  std::string server, path;
  ASSERT_TRUE(SplitPreviewAddress("http://h:8/preview/7?t=a/b", server, path));
  EXPECT_EQ(server, "http://h:8");
  EXPECT_EQ(path, "/preview/7?t=a/b");
  ASSERT_TRUE(SplitPreviewAddress("https://h", server, path));
  EXPECT_EQ(path, "/");
  EXPECT_FALSE(SplitPreviewAddress("/preview/7", server, path));
  EXPECT_TRUE(server.empty() && path.empty());
}

}  // namespace
}  // namespace korvex
