// What the block and stream operations send that korvexd does not check,
// and answers korvexd cannot give; the round trips against korvexd cover
// the rest.
#include "service/KorvexDataStoreRemote.h"

#include "FakeTransport_support.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <cctype>
#include <functional>
#include <regex>

namespace korvex {
namespace {

using testing::RecordingStore;
using Start = std::function<HRESULT(KorvexDataStoreRemote&, AsyncResult**)>;

ItemInfo File(const std::string& name, std::uint32_t locked = 0) {
  ItemInfo item;
  item.name = name;
  item.size = 1000;
  item.locked = locked;
  item.modifyTime = 116444736000000000u + 1700000000ull * 10000000u;
  item.tag = std::uint64_t{77};
  item.extraTag = std::string("tk");
  return item;
}

std::unique_ptr<std::uint8_t[]> Bytes(std::size_t n) { return std::make_unique<std::uint8_t[]>(n); }

// The version as an updater finds it: scanned from this very binary, where
// the prefix also appears alone (this literal); the marker has digits.
std::string EmbeddedVersion() {
  const std::string image = testing::ReadText("/proc/self/exe"), prefix = "KORVEX-FILE-VERSION:";
  for (auto at = image.find(prefix); at != std::string::npos; at = image.find(prefix, at + 1))
    if (std::isdigit(static_cast<unsigned char>(image[at + prefix.size()]))) return image.c_str() + at + prefix.size();
  return "(no marker)";
}

// Starts one call on a fresh store, hands it to `check`, then releases it.
void WithCall(const std::string& authPro, const Start& start,
              const std::function<void(RecordingStore&, AsyncResult&)>& check) {
  RecordingStore store(authPro);
  AsyncResult* result = nullptr;
  ASSERT_EQ(start(store, &result), S_OK);
  ASSERT_EQ(store.sent.size(), 1u);
  check(store, *result);
  DeletePayloadObjects(*result);
  result->Release();
}

class TransferRequests : public testing::TempHomeTest {
 protected:
  ContainerInfo dir_ = [] {
    ContainerInfo dir;
    dir.tag = std::uint64_t{12};
    return dir;
  }();
};

TEST_F(TransferRequests, SendTheServicesPathsHeadersAndBodies) {
  const std::uint8_t chunk[1024] = {};
  const std::string form = "Content-Type: application/x-www-form-urlencoded";
  const std::string ranges = "range:bytes=%1\r\nx-korvex-range:bytes=%1";
  auto both = [&](const std::string& range) { return std::regex_replace(ranges, std::regex("%1"), range); };
  struct Case {
    Start start;
    const char* path;  // a regular expression
    std::string headers, body;
  } cases[] = {
      {[](auto& s, auto r) { return s.WriteItem(File("report.pdf"), Bytes(1048576), 0, 0, 1048576, r); },
       R"(/file/uploadblock/77\.pdf/a=av&t=tk&random=\d+)", both("0-1048576"), std::string(1048576, '\0')},
      {[](auto& s, auto r) { return s.WriteItem(File("README"), Bytes(1), 0, 0, 1, r); },
       R"(/file/uploadblock/77/a=av&t=tk&random=\d+)", both("0-1"), std::string(1, '\0')},
      {[](auto& s, auto r) { return s.ReadItem(File("report.pdf"), 0, 0, 1048576, r); },
       R"(/file/downloadblock/77\?a=av&t=tk&random=\d+)", both("0-1048575"), ""},
      {[&](auto& s, auto r) { return s.CreateItem(dir_, File("a b", 1), 1, r); }, "/file/preupload", form,
       "dirid=12&filename=a%20b&size=1020&over%5Fride=1&lastmodifytime=1700000000&sec=1"},
      {[&](auto& s, auto r) { return s.CreateItem(dir_, File("a", 2), 0, r); }, "/file/preupload", form,
       "dirid=12&filename=a&size=1000&over%5Fride=0&lastmodifytime=1700000000&sec=1"},
      {[](auto& s, auto r) { return s.OpenStream(File("a"), true, 0, 4096, 1024, "tk", r); }, "/idtv1/stream/open/77",
       form, "version=smb_" + EmbeddedVersion() + "&stream_type=read&stream_range=bytes%3D0-4095"
             "&token_id=5c1e0d7a93b24f68a0e2c47d1b9f3a26&token=tk&chunk_size=1024"},
      {[&](auto& s, auto r) { return s.WriteChunk(File("a"), chunk, "S1", 3, 1024, 1024, r); }, "/idtv1/stream/write/77",
       both("1024-2048") + "\r\nx-korvexws-idt-chunk-range:bytes=1024-2047\r\nx-korvexws-idt-stream-id:S1\r\n"
                           "x-korvexws-idt-chunk-sequence:3",
       std::string(1024, '\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    WithCall("av", c.start, [&](RecordingStore& store, AsyncResult&) {
      EXPECT_TRUE(std::regex_match(store.sent[0].path, std::regex(c.path))) << store.sent[0].path;
      EXPECT_EQ(store.sent[0].headers, c.headers);
      EXPECT_EQ(store.sent[0].body, c.body);
    });
  }
}

TEST_F(TransferRequests, AnswersMapToTheirCodes) {
  auto status = [](const char* code) { return HttpHeaderMap{{"x-korvexws-idt-status", code}}; };
  const std::uint8_t byte = 0;
  struct Case {
    Start start;
    std::string body;
    std::deque<std::string> cookies;
    HttpHeaderMap headers;
    HRESULT outcome;
  } cases[] = {
      {[&](auto& s, auto r) { return s.CreateItem(dir_, File("a"), 0, r); }, "123", {}, {}, MakeHResult(0x804F0000u)},
      {[&](auto& s, auto r) { return s.CreateItem(dir_, File("a"), 0, r); }, R"({"result":0,"state":"3021"})",
       {"TOKEN=t"}, {}, MakeHResult(0x80070BCDu)},
      {[](auto& s, auto r) { return s.CompleteItem(File("a"), 0, r); }, "1\n", {}, {}, MakeHResult(0x80071B5Au)},
      {[](auto& s, auto r) { return s.ReadItem(File("a"), 0, 0, 4, r); }, "abcdef", {}, {}, S_OK},
      {[](auto& s, auto r) { return s.CloseStream(File("a"), "S1", r); }, R"({"result":1,"stream_id":"S1"})", {},
       status("code=2001"), HR_FILE_NOT_FOUND},
      {[&](auto& s, auto r) { return s.WriteChunk(File("a"), &byte, "S1", 0, 0, 1, r); }, R"({"result":1})", {}, {},
       HR_FILE_NOT_FOUND},
      {[](auto& s, auto r) { return s.ReadChunk(File("a"), "S1", 0, 0, 20, r); }, "0123456789", {},
       status("code=2000"), MakeHResult(0x80071F43u)},
      {[](auto& s, auto r) { return s.ReadChunk(File("a"), "S1", 0, 0, 20, r); }, "{}", {}, status("x=1;code=4002"),
       MakeHResult(0x804F0012u)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    WithCall("av", c.start, [&](RecordingStore& store, AsyncResult& result) {
      store.AnswerLast(c.body, S_OK, c.cookies, c.headers);
      EXPECT_EQ(ReadOutcome(result), c.outcome);
    });
  }
  // The text after the second "|" of a preparation travels with the item.
  WithCall("av", [&](auto& s, auto r) { return s.CreateItem(dir_, File("a"), 0, r); },
           [](RecordingStore& store, AsyncResult& result) {
             store.AnswerLast("123.pdf|x|more text", S_OK, {"TOKEN=T9"});
             ASSERT_NE(result.PayloadAs<CreateItemPayload>(), nullptr);
             EXPECT_EQ(boost::get<1>(*result.PayloadAs<CreateItemPayload>())->info.uploadText, "more text");
           });
}

}  // namespace
}  // namespace korvex
