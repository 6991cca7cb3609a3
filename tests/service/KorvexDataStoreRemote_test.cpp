#include "service/KorvexDataStoreRemote.h"

#include "FakeTransport_support.h"
#include "LogCapture_support.h"
#include "support/TempHome.h"
#include "foundation/Language.h"
#include "foundation/StringTable.h"
#include "service/DirectoryAnswers.h"

#include <gtest/gtest.h>

#include <functional>

namespace korvex {
namespace {

using testing::RecordingStore;
using testing::ScopedLogCapture;
using testing::SentRequest;

ContainerInfo Directory(const std::string& uri, std::uint64_t id, std::uint32_t privilege = kPrivilegeAll) {
  ContainerInfo info;
  info.uri = uri;
  info.privilege = privilege;
  info.tag = id;
  return info;
}

ItemInfo File(const std::string& uri, std::uint64_t id) {
  ItemInfo info;
  info.uri = uri;
  info.tag = id;
  return info;
}

// Releases the caller's reference when the test is done with a result.
struct ResultRef {
  AsyncResult* result = nullptr;
  ~ResultRef() {
    if (result) {
      if (result->State() == kAsyncSucceeded) DeletePayloadObjects(*result);
      result->Release();
    }
  }
};

constexpr const char* kForm = "Content-Type: application/x-www-form-urlencoded";

// The store's connections read and write the proxy settings of the home.
class KorvexDataStoreRemoteTest : public testing::TempHomeTest {};

TEST_F(KorvexDataStoreRemoteTest, BuildsEachDirectoryAndFileRequest) {
  ContainerInfo dir = Directory("/a/", 12);
  ContainerInfo target = Directory("/b/", 18446744073709551615u);
  ItemInfo file = File("/a/f.txt", 34);
  ContainerInfo named;
  named.name = "new dir-1";
  struct Case {
    const char* what;
    std::function<HRESULT(KorvexDataStoreRemote&, AsyncResult**)> call;
    const char* verb;
    const char* path;
    const char* body;
  } cases[] = {
      {"list dirs", [&](auto& s, auto r) { return s.ListSubContainersAndItemCount(dir, r); }, "GET",
       "/directory/listandcount/12", ""},
      {"list files", [&](auto& s, auto r) { return s.ListSubItems(dir, 100, 50, 4, r); }, "GET",
       "/file/listrandom/12/LOGO/sizedesc/100/50", ""},
      {"list files unsorted", [&](auto& s, auto r) { return s.ListSubItems(dir, 0, 20, 0, r); }, "GET",
       "/file/listrandom/12/LOGO//0/20", ""},
      {"create", [&](auto& s, auto r) { return s.CreateContainer(dir, named, r); }, "POST", "/directory/create",
       "parentid=12&dirname=new%20dir%2D1"},
      {"delete dir", [&](auto& s, auto r) { return s.DeleteContainer(dir, r); }, "POST", "/directory/delete",
       "dirid=12"},
      {"rename dir", [&](auto& s, auto r) { return s.RenameContainer(dir, "x_y~z", r); }, "POST",
       "/directory/rename", "dirid=12&dirname=x%5Fy%7Ez"},
      {"move dir", [&](auto& s, auto r) { return s.MoveContainer(dir, Directory("/", 1), target, 1, r); }, "POST",
       "/directory/move", "dirid=12&targetid=18446744073709551615"},
      {"delete file", [&](auto& s, auto r) { return s.DeleteItem(file, r); }, "POST", "/file/delete", "fileid=34"},
      {"rename file", [&](auto& s, auto r) { return s.RenameItem(file, "a b.txt", r); }, "POST", "/file/rename",
       "fileid=34&filename=a%20b%2Etxt"},
      {"move file", [&](auto& s, auto r) { return s.MoveItem(file, dir, target, 0, r); }, "POST", "/file/move",
       "fileid=34&targetid=18446744073709551615&override=0"},
      {"copy file", [&](auto& s, auto r) { return s.CopyItem(file, dir, target, 7, r); }, "POST", "/file/copy",
       "fileid=34&targetid=18446744073709551615&override=1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingStore store;
    ResultRef ref;
    ASSERT_EQ(c.call(store, &ref.result), S_OK);
    ASSERT_NE(ref.result, nullptr);
    EXPECT_EQ(ref.result->State(), kAsyncPending);
    ASSERT_EQ(store.sent.size(), 1u);
    const SentRequest& sent = store.sent[0];
    EXPECT_TRUE(sent.onApi);
    EXPECT_EQ(sent.verb, c.verb);
    EXPECT_EQ(sent.path, c.path);
    EXPECT_EQ(sent.body, c.body);
    EXPECT_EQ(sent.headers, *c.body ? kForm : "");
    EXPECT_EQ(sent.sizeLimit, 0u);
  }
}

TEST_F(KorvexDataStoreRemoteTest, SubAccountsCreateThroughTheUploadRouteWhereTheyMayUpload) {
  struct Case {
    bool subAccount;
    std::uint32_t parentPrivilege;
    const char* path;
  } cases[] = {
      {true, 0x40, "/directory/uploaddir"},
      {true, 0x8E0, "/directory/uploaddir"},
      {true, 0x8040, "/directory/create"},  // a virtual parent
      {true, 0x8A0, "/directory/create"},   // no upload right
      {false, 0x40, "/directory/create"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.parentPrivilege);
    RecordingStore store;
    store.SetSubAccount(c.subAccount);
    ContainerInfo named;
    named.name = "n";
    ResultRef ref;
    ASSERT_EQ(store.CreateContainer(Directory("/", 5, c.parentPrivilege), named, &ref.result), S_OK);
    EXPECT_EQ(store.sent.at(0).path, c.path);
    EXPECT_EQ(store.sent.at(0).body, "parentid=5&dirname=n");
  }
  RecordingStore original;
  original.SetSubAccount(true);
  KorvexDataStoreRemote copy(original);
  EXPECT_TRUE(copy.IsSubAccount());
}

TEST_F(KorvexDataStoreRemoteTest, RefusedCallsSendAndHandOutNothing) {
  RecordingStore store;
  ContainerInfo noId;
  noId.uri = "/local/";
  ContainerInfo textId = Directory("/t/", 0);
  textId.tag = std::string("12");  // an id of another type is not the service's
  ItemInfo noFile;
  ContainerInfo withId = Directory("/a/", 1);
  AsyncResult* result = reinterpret_cast<AsyncResult*>(0x1);
  EXPECT_EQ(store.ListSubContainersAndItemCount(noId, &result), E_INVALIDARG);
  EXPECT_EQ(result, nullptr);
  EXPECT_EQ(store.ListSubItems(textId, 0, 1, 1, &result), E_INVALIDARG);
  EXPECT_EQ(store.CreateContainer(noId, withId, &result), E_INVALIDARG);
  EXPECT_EQ(store.MoveContainer(withId, withId, noId, 0, &result), E_INVALIDARG);
  EXPECT_EQ(store.DeleteItem(noFile, &result), E_INVALIDARG);
  EXPECT_EQ(store.CopyItem(File("/a/f", 3), withId, noId, 0, &result), E_INVALIDARG);
  EXPECT_EQ(result, nullptr);
  EXPECT_TRUE(store.sent.empty());
  EXPECT_EQ(store.DeleteContainer(withId, nullptr), E_POINTER);

  // A request the connection refuses to take hands out nothing either.
  store.handOver = HResultFromHttp(12029);
  result = reinterpret_cast<AsyncResult*>(0x1);
  EXPECT_EQ(store.DeleteContainer(withId, &result), HResultFromHttp(12029));
  EXPECT_EQ(result, nullptr);
}

// -- Answers ----------------------------------------------------------------

// Sends one request with `start`, answers it with `body` and returns the result.
void Roundtrip(RecordingStore& store, ResultRef& ref,
               const std::function<HRESULT(KorvexDataStoreRemote&, AsyncResult**)>& start, const std::string& body,
               HRESULT transport = S_OK) {
  ASSERT_EQ(start(store, &ref.result), S_OK);
  store.AnswerLast(body, transport);
  ASSERT_NE(ref.result->State(), kAsyncPending);
}

TEST_F(KorvexDataStoreRemoteTest, DirectoryListingBuildsContainers) {
  SetCurrentLanguage(kLanguageEnglish);
  RecordingStore store;
  ResultRef ref;
  Roundtrip(store, ref, [](auto& s, auto r) { return s.ListSubContainersAndItemCount(Directory("/p/", 1), r); },
            R"({"result":1,"files":7,"list":[
      {"dirid":"12","dirname":"A","isshare":"0","privilege":"7"},
      {"dirid":"13","dirname":"A","isshare":"1","privilege":"65535","ownername":"bob"},
      {"dirid":"14","dirname":"A","isshare":"1","privilege":"2272","ownername":"bob"},
      {"dirid":"15","dirname":"A","isshare":"1","privilege":"65535","ownername":"b"},
      {"dirid":"16","dirname":"\u540d","isshare":"0","privilege":"3"},
      {"dirid":"17","dirname":"no privilege","isshare":"0"},
      {"dirid":18,"dirname":"numeric id","isshare":"0","privilege":"1"},
      {"dirid":"19","dirname":"A","isshare":"1","privilege":"65535","ownername":"\u674e"},
      "not an object"]})");
  EXPECT_EQ(ReadOutcome(*ref.result), S_OK);
  const auto* payload = ref.result->PayloadAs<ListSubContainersPayload>();
  ASSERT_NE(payload, nullptr);
  EXPECT_EQ(boost::get<2>(*payload), 7);
  const std::vector<Container*>& list = *boost::get<1>(*payload);
  ASSERT_EQ(list.size(), 6u);
  const ContainerInfo& plain = list[0]->info;
  EXPECT_EQ(plain.name, "A");
  EXPECT_EQ(plain.uri, "/p/A/");
  EXPECT_EQ(boost::any_cast<std::uint64_t>(plain.tag), 12u);
  EXPECT_EQ(plain.privilege, 7u);
  EXPECT_EQ(plain.ownerName, "");
  EXPECT_EQ(plain.kind, kContainerOrdinary);
  EXPECT_EQ(list[1]->info.name, "A(Administrator)");
  EXPECT_EQ(list[1]->info.ownerName, "bob");
  EXPECT_EQ(list[1]->info.uri, "/p/A/");
  EXPECT_EQ(list[2]->info.name, "A(Upload/Download)");
  EXPECT_EQ(list[3]->info.name, "A");
  EXPECT_EQ(list[4]->info.uri, "/p/\xE5\x90\x8D/");
  EXPECT_EQ(list[5]->info.name, "A") << "a one-character owner name counts characters, not bytes";

  // The rights label follows the interface language.
  SetCurrentLanguage(kLanguageChinese);
  RecordingStore chinese;
  ResultRef shared;
  Roundtrip(chinese, shared, [](auto& s, auto r) { return s.ListSubContainersAndItemCount(Directory("/", 1), r); },
            R"({"result":1,"list":[{"dirid":"2","dirname":"A","isshare":"1","privilege":"2208","ownername":"bob"}]})");
  SetCurrentLanguage(kLanguageEnglish);
  const auto* labelled = shared.result->PayloadAs<ListSubContainersPayload>();
  ASSERT_NE(labelled, nullptr);
  EXPECT_EQ(boost::get<2>(*labelled), 0);  // no "files"
  ASSERT_EQ(boost::get<1>(*labelled)->size(), 1u);
  const std::string label(UiString(561, kLanguageChinese));
  ASSERT_FALSE(label.empty());
  EXPECT_EQ(boost::get<1>(*labelled)->at(0)->info.name, "A(" + label + ")");
}

TEST_F(KorvexDataStoreRemoteTest, FileListingBuildsItems) {
  RecordingStore store;
  ResultRef ref;
  Roundtrip(store, ref, [](auto& s, auto r) { return s.ListSubItems(Directory("/p/", 1), 0, 10, 1, r); },
            R"({"result":1,"list":[
      {"fileid":"5","name":"x.LOCK","size":"10","modifytime":"1970-01-01 00:00:01","time":"1601-01-01 00:00:00","state":"1","sec":"0","linkid":"9"},
      {"fileid":"6","name":"no time","size":"1","modifytime":"2024-01-01 00:00:00","state":"0","sec":"0"},
      {"fileid":"7","name":"big","size":"5000000000","modifytime":"2024-02-30 00:00:00","time":"bad","state":"4","sec":"1"},
      {"fileid":"8","name":"lock","size":"0","modifytime":"","time":"","state":"0","sec":"0"}]})");
  const auto* payload = ref.result->PayloadAs<ListSubItemsPayload>();
  ASSERT_NE(payload, nullptr);
  const std::vector<Item*>& list = *boost::get<1>(*payload);
  ASSERT_EQ(list.size(), 3u);
  const ItemInfo& locked = list[0]->info;
  EXPECT_EQ(locked.uri, "/p/x.LOCK");
  EXPECT_EQ(boost::any_cast<std::uint64_t>(locked.tag), 5u);
  EXPECT_EQ(locked.size, 10u);
  EXPECT_EQ(locked.modifyTime, 116444736000000000u + 10000000u);
  EXPECT_EQ(locked.createTime, 0u);
  EXPECT_EQ(locked.partial, 1u);
  EXPECT_EQ(locked.locked, 1u);
  EXPECT_EQ(boost::any_cast<std::uint64_t>(locked.linkTag), 9u);

  const ItemInfo& big = list[1]->info;
  EXPECT_EQ(big.size, 5000000000u);
  EXPECT_EQ(big.modifyTime, 0u);  // no 30 February
  EXPECT_EQ(big.stateFlag, 1u);
  EXPECT_EQ(big.partial, 0u);
  EXPECT_EQ(big.locked, 1u);
  EXPECT_TRUE(big.linkTag.empty());

  EXPECT_EQ(list[2]->info.locked, 0u);  // "lock" without the dot
}

TEST_F(KorvexDataStoreRemoteTest, HostileAnswersAreRefusedBeforeAnythingIsAllocated) {
  // A count no folder holds would size millions of rows before one is read.
  RecordingStore counted;
  ResultRef huge;
  Roundtrip(counted, huge, [](auto& s, auto r) { return s.ListSubContainersAndItemCount(Directory("/", 1), r); },
            R"({"result":1,"files":2147483647,"list":[]})");
  EXPECT_EQ(ReadOutcome(*huge.result), MakeHResult(0x8007000Du));

  // Sizes that are negative or not numbers are refused with their entry;
  // the others stay.
  RecordingStore listed;
  ResultRef items;
  Roundtrip(listed, items, [](auto& s, auto r) { return s.ListSubItems(Directory("/p/", 1), 0, 10, 1, r); },
            R"({"result":1,"list":[
      {"fileid":"5","name":"ok","size":"10","modifytime":"","time":"","state":"0","sec":"0"},
      {"fileid":"6","name":"negative","size":"-5","modifytime":"","time":"","state":"0","sec":"0"},
      {"fileid":"7","name":"text","size":"12abc","modifytime":"","time":"","state":"0","sec":"0"},
      {"fileid":"x","name":"bad id","size":"1","modifytime":"","time":"","state":"0","sec":"0"}]})");
  const auto* payload = items.result->PayloadAs<ListSubItemsPayload>();
  ASSERT_NE(payload, nullptr);
  ASSERT_EQ(boost::get<1>(*payload)->size(), 1u);
  EXPECT_EQ(boost::get<1>(*payload)->at(0)->info.name, "ok");

  // An endless answer stops at the cap instead of filling memory.
  RecordingStore flooded;
  ResultRef endless;
  Roundtrip(flooded, endless, [](auto& s, auto r) { return s.ListSubItems(Directory("/", 1), 0, 1, 1, r); },
            std::string((16u << 20) + 1, ' '));
  EXPECT_EQ(ReadOutcome(*endless.result), MakeHResult(0x8007000Du));
}

TEST_F(KorvexDataStoreRemoteTest, ListingWithoutListIsEmpty) {
  for (const char* body : {R"({"result":1})", R"({"result":1,"list":{}})"}) {
    SCOPED_TRACE(body);
    RecordingStore store;
    ResultRef ref;
    Roundtrip(store, ref, [](auto& s, auto r) { return s.ListSubItems(Directory("/", 1), 0, 1, 1, r); }, body);
    const auto* payload = ref.result->PayloadAs<ListSubItemsPayload>();
    ASSERT_NE(payload, nullptr);
    EXPECT_TRUE(boost::get<1>(*payload)->empty());
  }
}

TEST_F(KorvexDataStoreRemoteTest, CreateContainerAnswers) {
  struct Case {
    const char* body;
    HRESULT outcome;
    std::uint64_t id;
  } cases[] = {
      {R"({"result":1,"id":"42"})", S_OK, 42},
      {R"({"result":0,"state":2006,"id":"99"})", S_OK, 99},
      {R"({"result":0,"state":"2006","errmsg":"exists"})", HR_ALREADY_EXISTS, 0},
      {R"({"result":1})", MakeHResult(0x804F0000u), 0},
      {R"({"result":0,"state":3009,"id":"5"})", HR_ALREADY_EXISTS, 0},
      {R"({"result":0,"state":13,"errmsg":"denied"})", MakeHResult(0x8007000Du), 0},
      // A broken envelope has no state, so it maps to the general refusal.
      {"<html>", MakeHResult(0x804F0000u), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    RecordingStore store;
    ResultRef ref;
    ContainerInfo named;
    named.name = "N";
    Roundtrip(store, ref, [&](auto& s, auto r) { return s.CreateContainer(Directory("/p/", 1), named, r); },
              c.body);
    EXPECT_EQ(ReadOutcome(*ref.result), c.outcome);
    if (c.outcome != S_OK) continue;
    const auto* payload = ref.result->PayloadAs<CreateContainerPayload>();
    ASSERT_NE(payload, nullptr);
    const ContainerInfo& info = boost::get<1>(*payload)->info;
    EXPECT_EQ(info.name, "N");
    EXPECT_EQ(info.uri, "/p/N/");
    EXPECT_EQ(boost::any_cast<std::uint64_t>(info.tag), c.id);
  }
}

TEST_F(KorvexDataStoreRemoteTest, StatusOnlyAnswersMapRefusals) {
  struct Case {
    const char* body;
    HRESULT transport;
    HRESULT outcome;
    const char* message;
  } cases[] = {
      {R"({"result":1})", S_OK, S_OK, ""},
      {R"({"result":0,"state":"3017","errmsg":"name taken"})", S_OK, HR_ALREADY_EXISTS, "name taken"},
      {R"({"result":0,"errmsg":"no"})", S_OK, MakeHResult(0x804F0000u), "no"},
      {R"({"result":0,"state":-5})", S_OK, -5, ""},
      {R"({"result":2})", S_OK, MakeHResult(0x804F0000u), ""},
      {"", S_OK, MakeHResult(0x804F0000u), ""},
      {R"({"result":1})", HResultFromHttp(404), HResultFromHttp(404), ""},  // body not parsed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    RecordingStore store;
    ResultRef ref;
    Roundtrip(store, ref, [](auto& s, auto r) { return s.RenameItem(File("/f", 3), "g", r); }, c.body, c.transport);
    EXPECT_EQ(ReadOutcome(*ref.result), c.outcome);
    EXPECT_EQ(ref.result->Message(), c.message);
  }
}

TEST_F(KorvexDataStoreRemoteTest, FailedRequestsAreLogged) {
  ScopedLogCapture capture(kLogWarn);
  RecordingStore store;
  const std::pair<std::function<HRESULT(KorvexDataStoreRemote&, AsyncResult**)>, HRESULT> calls[] = {
      {[](auto& s, auto r) { return s.DeleteItem(File("/f", 3), r); }, HResultFromHttp(500)},
      {[](auto& s, auto r) { return s.CopyItem(File("/f", 3), Directory("/", 1), Directory("/", 1), 0, r); }, S_OK},
      {[](auto& s, auto r) { return s.DeleteItem(File("/f", 3), r); }, S_OK},  // success logs nothing
  };
  const char* bodies[] = {"", R"({"result":0,"state":7})", R"({"result":1})"};
  for (int i = 0; i < 3; ++i) {
    ResultRef ref;
    Roundtrip(store, ref, calls[i].first, bodies[i], calls[i].second);
  }
  std::vector<std::string> failures;
  for (const auto& line : capture.Lines())
    if (line.rfind("KorvexDataStoreRemote|", 0) == 0) failures.push_back(line);
  EXPECT_EQ(failures, (std::vector<std::string>{
                          "KorvexDataStoreRemote|Http Request Failed: RequestType = hrtDeleteItem, hr = 0x804F01F4, "
                          "ResponseBody = (null)",
                          "KorvexDataStoreRemote|Http Request Failed: RequestType = INVALID, hr = 0x80070007, "
                          "ResponseBody = {\"result\":0,\"state\":7}",
                      }));
}

TEST_F(KorvexDataStoreRemoteTest, AnswerAfterCancelFreesTheRecords) {
  RecordingStore store;
  ResultRef ref;
  ASSERT_EQ(store.ListSubItems(Directory("/", 1), 0, 1, 1, &ref.result), S_OK);
  ASSERT_EQ(store.CancelCall(ref.result), S_OK);
  store.AnswerLast(R"({"result":1,"list":[{"fileid":"5","name":"x","size":"1","modifytime":"","time":"","state":"0","sec":"0"}]})");
  EXPECT_EQ(ref.result->State(), kAsyncCancelled);
  EXPECT_EQ(ReadOutcome(*ref.result), E_FAIL);
  // The items built for nobody were freed (LeakSanitizer checks this run).
  EXPECT_EQ(ref.result->PayloadAs<ListSubItemsPayload>(), nullptr);
}

TEST(ServiceDate, ConvertsListingDatesToFileTime) {
  struct Case {
    const char* text;
    bool ok;
    std::uint64_t fileTime;
  } cases[] = {
      {"1601-01-01 00:00:00", true, 0},
      {"1970-01-01 00:00:00", true, 116444736000000000u},
      {"2024-02-29 23:59:59", true, 116444736000000000u + 1709251199ull * 10000000u},
      {"9999-12-31 23:59:59", true, 2650467743990000000u},
      {"2023-02-29 00:00:00", false, 0},
      {"2024-13-01 00:00:00", false, 0},
      {"2024-01-01 24:00:00", false, 0},
      {"1399-12-31 00:00:00", false, 0},
      {"1500-01-01 00:00:00", false, 0},  // a calendar date, but before FILETIME
      {"67000-01-01 00:00:00", false, 0},
      {"2024-01-01", false, 0},
      {"", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::uint64_t fileTime = 1;
    EXPECT_EQ(FileTimeFromServiceDate(c.text, fileTime), c.ok);
    EXPECT_EQ(fileTime, c.fileTime);
  }
}

}  // namespace
}  // namespace korvex

namespace korvex {
namespace {

TEST_F(KorvexDataStoreRemoteTest, LargeListingKeepsEveryEntryInOrder) {
  constexpr int kEntries = 10000;
  // Every third name is Chinese, sent raw; every fifth escaped.
  auto name = [](int i, bool escaped) {
    return (i % 3 == 0 ? "\xE6\x8A\xA5" : i % 5 == 0 ? (escaped ? "\\u00e9" : "\xC3\xA9") : "f") + std::to_string(i);
  };
  std::string body = R"({"result":1,"list":[)";
  for (int i = 0; i < kEntries; ++i) {
    body += std::string(i ? "," : "") + R"({"fileid":")" + std::to_string(i + 1) + R"(","name":")" + name(i, true) +
            R"(","size":")" + std::to_string(i) +
            R"(","modifytime":"2024-01-01 00:00:00","time":"2024-01-01 00:00:00","state":"0","sec":"0","extra":[1,{}]})";
  }
  RecordingStore store;
  ResultRef ref;
  Roundtrip(store, ref, [](auto& s, auto r) { return s.ListSubItems(Directory("/d/", 1), 0, kEntries, 1, r); },
            body + "]}");
  const auto* payload = ref.result->PayloadAs<ListSubItemsPayload>();
  ASSERT_NE(payload, nullptr);
  const std::vector<Item*>& list = *boost::get<1>(*payload);
  ASSERT_EQ(list.size(), static_cast<std::size_t>(kEntries));
  for (int i : {0, 5, 7, 9999}) {
    SCOPED_TRACE(i);
    const ItemInfo& info = list[static_cast<std::size_t>(i)]->info;
    EXPECT_EQ(info.uri, "/d/" + name(i, false));
    EXPECT_EQ(boost::any_cast<std::uint64_t>(info.tag), static_cast<std::uint64_t>(i + 1));
    EXPECT_EQ(info.size, static_cast<std::uint64_t>(i));
  }
}

}  // namespace
}  // namespace korvex
