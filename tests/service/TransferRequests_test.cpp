// What the block and stream operations put on the wire, and how their
// answers (text, cookies, raw bytes, status headers) become results.
#include "service/KorvexDataStoreRemote.h"

#include "FakeTransport_support.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <functional>
#include <regex>

namespace korvex {
namespace {

using testing::RecordingStore;
using Start = std::function<HRESULT(KorvexDataStoreRemote&, AsyncResult**)>;

ItemInfo Upload(const std::string& name, std::uint64_t id, std::uint32_t locked = 0) {
  ItemInfo item;
  item.name = name;
  item.uri = "/Documents/" + name;
  item.size = 1000;
  item.locked = locked;
  item.modifyTime = 116444736000000000u + 1700000000ull * 10000000u;
  item.tag = id;
  item.extraTag = std::string("tk");
  return item;
}

ContainerInfo Documents() {
  ContainerInfo dir;
  dir.uri = "/Documents/";
  dir.tag = std::uint64_t{12};
  return dir;
}

std::unique_ptr<std::uint8_t[]> Bytes(std::size_t n) { return std::make_unique<std::uint8_t[]>(n); }

// The version text as an updater finds it: scanned from this very binary.
std::string EmbeddedVersion() {
  const std::string image = testing::ReadText("/proc/self/exe");
  const std::string prefix = "KORVEX-FILE-VERSION:";
  // The prefix also appears on its own (this test's literal); the marker is
  // the occurrence with a number after it.
  for (auto at = image.find(prefix); at != std::string::npos; at = image.find(prefix, at + 1)) {
    const std::size_t digits = at + prefix.size();
    if (digits < image.size() && std::isdigit(static_cast<unsigned char>(image[digits])))
      return std::string(image.c_str() + digits);
  }
  return "(no marker)";
}

struct ResultRef {
  AsyncResult* result = nullptr;
  ~ResultRef() {
    if (!result) return;
    DeletePayloadObjects(*result);
    result->Release();
  }
};

class TransferRequests : public testing::TempHomeTest {};

TEST_F(TransferRequests, PutPathsHeadersAndBodiesOnTheWire) {
  const ItemInfo report = Upload("report.pdf", 77);
  const std::uint8_t chunk[1024] = {};
  const std::string stream = "S1";
  struct Case {
    const char* what;
    Start start;
    bool onApi;
    const char* verb;
    const char* path;  // a regular expression
    const char* headers;
    std::string body;
    std::uint32_t sizeLimit;
  } cases[] = {
      {"block upload", [&](auto& s, auto r) { return s.WriteItem(report, Bytes(1048576), 0, 0, 1048576, r); }, false,
       "POST", R"(/file/uploadblock/77\.pdf/a=av&t=tk&random=\d+)",
       "range:bytes=0-1048576\r\nx-korvex-range:bytes=0-1048576", std::string(1048576, '\0'), 0},
      {"upload beyond 4 GiB", [&](auto& s, auto r) { return s.WriteItem(report, Bytes(2), 5, 1, 2, r); }, false, "POST",
       R"(/file/uploadblock/77\.pdf/a=av&t=tk&random=\d+)",
       "range:bytes=4294967301-4294967303\r\nx-korvex-range:bytes=4294967301-4294967303", std::string(2, '\0'), 0},
      {"no extension", [&](auto& s, auto r) { return s.WriteItem(Upload("README", 77), Bytes(1), 0, 0, 1, r); },
       false, "POST", R"(/file/uploadblock/77/a=av&t=tk&random=\d+)", "range:bytes=0-1\r\nx-korvex-range:bytes=0-1",
       std::string(1, '\0'), 0},
      {"block download", [&](auto& s, auto r) { return s.ReadItem(report, 0, 0, 1048576, r); }, false, "GET",
       R"(/file/downloadblock/77\?a=av&t=tk&random=\d+)",
       "range:bytes=0-1048575\r\nx-korvex-range:bytes=0-1048575", "", 1048576},
      {"md5", [&](auto& s, auto r) { return s.GetItemMd5(report, r); }, false, "GET",
       R"(/file/md5sum/77\?a=av&t=tk&random=\d+)", "", "", 0},
      {"completion", [&](auto& s, auto r) { return s.CompleteItem(Upload("x.lock", 77, 2), 0, r); }, true, "GET",
       R"(/file/uploadover/77/1\?product=smb&a=av&t=tk)", "", "", 0},
      {"download preparation", [&](auto& s, auto r) { return s.OpenItem(report, false, r); }, true, "GET",
       R"(/file/predownloadnoredirect/77)", "", "", 0},
      {"upload preparation", [&](auto& s, auto r) { return s.CreateItem(Documents(), report, 1, r); }, true, "POST",
       "/file/preupload", "Content-Type: application/x-www-form-urlencoded",
       "dirid=12&filename=report%2Epdf&size=1000&over%5Fride=1&lastmodifytime=1700000000&sec=0", 0},
      {"protected, marked 1", [&](auto& s, auto r) { return s.CreateItem(Documents(), Upload("a b", 5, 1), 0, r); },
       true, "POST", "/file/preupload", "Content-Type: application/x-www-form-urlencoded",
       "dirid=12&filename=a%20b&size=1020&over%5Fride=0&lastmodifytime=1700000000&sec=1", 0},
      {"protected, marked 2", [&](auto& s, auto r) { return s.CreateItem(Documents(), Upload("a", 5, 2), 0, r); },
       true, "POST", "/file/preupload", "Content-Type: application/x-www-form-urlencoded",
       "dirid=12&filename=a&size=1000&over%5Fride=0&lastmodifytime=1700000000&sec=1", 0},
      {"read stream", [&](auto& s, auto r) { return s.OpenStream(report, true, 0, 4096, 1024, "tk", r); }, false,
       "POST", "/idtv1/stream/open/77", "Content-Type: application/x-www-form-urlencoded",
       "version=smb_" + EmbeddedVersion() +
           "&stream_type=read&stream_range=bytes%3D0-4095&token_id=5c1e0d7a93b24f68a0e2c47d1b9f3a26&token=tk"
           "&chunk_size=1024",
       0},
      {"chunk write", [&](auto& s, auto r) { return s.WriteChunk(report, chunk, stream, 3, 1024, 1024, r); }, false,
       "POST", "/idtv1/stream/write/77",
       "range:bytes=1024-2048\r\nx-korvex-range:bytes=1024-2048\r\nx-korvexws-idt-chunk-range:bytes=1024-2047\r\n"
       "x-korvexws-idt-stream-id:S1\r\nx-korvexws-idt-chunk-sequence:3",
       std::string(1024, '\0'), 0},
      {"chunk read", [&](auto& s, auto r) { return s.ReadChunk(report, stream, 4, 1024, 1024, r); }, false, "GET",
       "/idtv1/stream/read/77",
       "range:bytes=1024-2047\r\nx-korvex-range:bytes=1024-2047\r\nx-korvexws-idt-chunk-range:bytes=1024-2047\r\n"
       "x-korvexws-idt-stream-id:S1\r\nx-korvexws-idt-chunk-sequence:4",
       "", 1024},
      {"close", [&](auto& s, auto r) { return s.CloseStream(report, stream, r); }, false, "POST",
       "/idtv1/stream/close/77", "Content-Type: application/x-www-form-urlencoded", "stream_id=S1", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingStore store("av");
    ResultRef ref;
    ASSERT_EQ(c.start(store, &ref.result), S_OK);
    ASSERT_EQ(store.sent.size(), 1u);
    const testing::SentRequest& sent = store.sent[0];
    EXPECT_EQ(sent.onApi, c.onApi);
    EXPECT_EQ(sent.verb, c.verb);
    EXPECT_TRUE(std::regex_match(sent.path, std::regex(c.path))) << sent.path;
    EXPECT_EQ(sent.headers, c.headers);
    EXPECT_EQ(sent.body, c.body);
    EXPECT_EQ(sent.sizeLimit, c.sizeLimit);
  }
}

TEST_F(TransferRequests, RefuseBeforeSendingWhatCannotBeSent) {
  ItemInfo empty = Upload("e.txt", 7);
  empty.size = 0;
  ItemInfo noToken = Upload("n.txt", 7);
  noToken.extraTag = boost::any();
  ContainerInfo noDir;
  const std::pair<const char*, Start> cases[] = {
      {"no target id", [&](auto& s, auto r) { return s.CreateItem(noDir, Upload("a", 1), 0, r); }},
      {"empty file", [&](auto& s, auto r) { return s.CreateItem(Documents(), empty, 0, r); }},
      {"no token", [&](auto& s, auto r) { return s.WriteItem(noToken, Bytes(1), 0, 0, 1, r); }},
      {"empty read", [&](auto& s, auto r) { return s.ReadItem(Upload("a", 1), 0, 0, 0, r); }},
      {"empty stream", [&](auto& s, auto r) { return s.OpenStream(Upload("a", 1), true, 0, 0, 1024, "t", r); }},
  };
  const HRESULT expected[] = {MakeHResult(0x800707D3u), MakeHResult(0x80070BCCu), E_INVALIDARG, E_INVALIDARG,
                              E_INVALIDARG};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].first);
    RecordingStore store;
    AsyncResult* result = reinterpret_cast<AsyncResult*>(0x1);
    EXPECT_EQ(cases[i].second(store, &result), expected[i]);
    EXPECT_EQ(result, nullptr);
    EXPECT_TRUE(store.sent.empty());
  }
}

TEST_F(TransferRequests, AnswersBecomeResults) {
  const ItemInfo item = Upload("report.pdf", 77);
  const std::string stream = "S1";
  const std::deque<std::string> token = {"TOKEN=T9; path=/"};
  auto status = [](const char* code) { return HttpHeaderMap{{"x-korvexws-idt-status", code}}; };
  struct Case {
    const char* what;
    Start start;
    std::string body;
    std::deque<std::string> cookies;
    HttpHeaderMap headers;
    HRESULT outcome;
  } cases[] = {
      {"preparation: name exists", [&](auto& s, auto r) { return s.CreateItem(Documents(), item, 0, r); }, "-4", token,
       {}, HR_ALREADY_EXISTS},
      {"preparation: no space", [&](auto& s, auto r) { return s.CreateItem(Documents(), item, 0, r); }, "-1", token,
       {}, MakeHResult(0x804F0007u)},
      {"preparation: no token", [&](auto& s, auto r) { return s.CreateItem(Documents(), item, 0, r); }, "123", {}, {},
       MakeHResult(0x804F0000u)},
      {"preparation: refusal", [&](auto& s, auto r) { return s.CreateItem(Documents(), item, 0, r); },
       R"({"result":0,"state":"3021"})", token, {}, MakeHResult(0x80070BCDu)},
      {"completion with a line feed", [&](auto& s, auto r) { return s.CompleteItem(item, 0, r); }, "1\n", {}, {},
       MakeHResult(0x80071B5Au)},
      {"completion", [&](auto& s, auto r) { return s.CompleteItem(item, 0, r); }, "1", {}, {}, S_OK},
      {"file gone", [&](auto& s, auto r) { return s.OpenItem(item, false, r); }, R"({"result":0})",
       {"TOKEN=deleted"}, {}, HR_FILE_NOT_FOUND},
      {"short block", [&](auto& s, auto r) { return s.ReadItem(item, 0, 0, 10, r); }, "123456789", {}, {},
       MakeHResult(0x80071F43u)},
      {"md5 refused", [&](auto& s, auto r) { return s.GetItemMd5(item, r); }, R"({"result":0,"state":-7})", {}, {},
       -7},
      {"stream token refused", [&](auto& s, auto r) { return s.OpenStream(item, false, 0, 10, 10, "x", r); },
       R"({"result":0})", {}, status("code=4003"), MakeHResult(0x804F0013u)},
      {"unknown stream status", [&](auto& s, auto r) { return s.CloseStream(item, stream, r); },
       R"({"result":1,"stream_id":"S1","stream_md5":"A"})", {}, status("code=2001"), HR_FILE_NOT_FOUND},
      {"no stream status", [&](auto& s, auto r) { return s.WriteChunk(item, reinterpret_cast<const std::uint8_t*>("x"), stream, 0, 0, 1, r); },
       R"({"result":1})", {}, {}, HR_FILE_NOT_FOUND},
      {"short chunk despite 2000", [&](auto& s, auto r) { return s.ReadChunk(item, stream, 0, 0, 20, r); },
       "0123456789", {}, status("code=2000"), MakeHResult(0x80071F43u)},
      {"chunk refused", [&](auto& s, auto r) { return s.ReadChunk(item, stream, 0, 0, 2, r); }, "{}", {},
       status("x=1;code=4002"), MakeHResult(0x804F0012u)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RecordingStore store;
    ResultRef ref;
    ASSERT_EQ(c.start(store, &ref.result), S_OK);
    store.AnswerLast(c.body, S_OK, c.cookies, c.headers);
    EXPECT_EQ(ReadOutcome(*ref.result), c.outcome);
  }

  // Successes carry their values.
  RecordingStore store;
  ResultRef prepared, opened, read, md5, streamOpen, closed;
  ASSERT_EQ(store.CreateItem(Documents(), item, 0, &prepared.result), S_OK);
  store.AnswerLast("123.pdf|x|more text", S_OK, token);
  const auto* created = prepared.result->PayloadAs<CreateItemPayload>();
  ASSERT_NE(created, nullptr);
  const ItemInfo& info = boost::get<1>(*created)->info;
  EXPECT_EQ(boost::any_cast<std::uint64_t>(info.tag), 123u);
  EXPECT_EQ(boost::any_cast<std::string>(info.extraTag), "T9");
  EXPECT_EQ(info.partial, 1u);
  EXPECT_EQ(info.uri, "/Documents/report.pdf");
  EXPECT_EQ(info.uploadText, "more text");
  EXPECT_EQ(info.size, 1000u);

  ASSERT_EQ(store.OpenItem(item, false, &opened.result), S_OK);
  store.AnswerLast(R"({"result":1})", S_OK, {"TOKEN=D4"});
  ASSERT_NE(opened.result->PayloadAs<OpenItemPayload>(), nullptr);
  EXPECT_EQ(boost::any_cast<std::string>(boost::get<1>(*opened.result->PayloadAs<OpenItemPayload>())), "D4");

  ASSERT_EQ(store.ReadItem(item, 0, 0, 4, &read.result), S_OK);
  store.AnswerLast("abcdef");  // surplus bytes are dropped
  ASSERT_NE(read.result->PayloadAs<ReadBufferPayload>(), nullptr);
  EXPECT_EQ(std::memcmp(boost::get<1>(*read.result->PayloadAs<ReadBufferPayload>()), "abcd", 4), 0);

  ASSERT_EQ(store.GetItemMd5(item, &md5.result), S_OK);
  store.AnswerLast(R"({"result":1,"md5sum":"0CC175B9C0F1B6A831C399E269772661"})");
  EXPECT_EQ(boost::get<1>(*md5.result->PayloadAs<ItemMd5Payload>()), "0CC175B9C0F1B6A831C399E269772661");

  ASSERT_EQ(store.OpenStream(item, true, 0, 10, 10, "D4", &streamOpen.result), S_OK);
  store.AnswerLast(R"({"result":0,"stream_id":"S7","chunk_sequence_next":5})", S_OK, {}, status("code=2000"));
  const auto* openedStream = streamOpen.result->PayloadAs<OpenStreamPayload>();
  ASSERT_NE(openedStream, nullptr);
  EXPECT_EQ(boost::get<1>(*openedStream), "S7");
  EXPECT_EQ(boost::get<2>(*openedStream), 5u);

  ASSERT_EQ(store.CloseStream(item, "S7", &closed.result), S_OK);
  store.AnswerLast(R"({"result":1,"stream_id":"S7","stream_md5":"AB"})", S_OK, {}, status("code=2000"));
  ASSERT_NE(closed.result->PayloadAs<CloseStreamPayload>(), nullptr);
  EXPECT_EQ(boost::get<2>(*closed.result->PayloadAs<CloseStreamPayload>()), "AB");
}

}  // namespace
}  // namespace korvex
