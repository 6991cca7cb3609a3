// Fault injection, inspection, and the service's robustness under bad
// input and many connections.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ServiceClient.h"

namespace korvex::test {
namespace {

class FaultTest : public KorvexdTest {
 protected:
  int AddFault(const std::string& spec) {
    httplib::Client http(korvexd_.Host(), korvexd_.Port());
    auto res = http.Post("/admin/faults", spec, "text/plain");
    return res ? res->status : -1;
  }
  std::size_t ActiveFaults() { return Admin("/admin/faults")["faults"].size(); }
};

TEST_F(FaultTest, HttpFaultsHitTheNthMatchingRequestAsOftenAsCounted) {
  ASSERT_EQ(AddFault("http=503,path=^/directory/listandcount/,nth=2"), 200);
  ASSERT_EQ(AddFault("http=500,path=getspace,count=2"), 200);
  std::string path = "/directory/listandcount/" + std::to_string(alice_->RootDir());
  std::vector<int> listings, spaces;
  for (int i = 0; i < 4; ++i) {
    listings.push_back(alice_->Get(path)->status);
    spaces.push_back(alice_->Get("/account/getspace")->status);
  }
  EXPECT_EQ(listings, (std::vector<int>{200, 503, 200, 200}));
  EXPECT_EQ(spaces, (std::vector<int>{500, 500, 200, 200}));
  EXPECT_EQ(ActiveFaults(), 0u) << "a spent fault is gone";

  ASSERT_EQ(AddFault("delay=200,path=getspace"), 200);
  EXPECT_EQ(ActiveFaults(), 1u);
  EXPECT_EQ(alice_->GetJson("/account/getspace")["result"], 1) << "a delayed request still answers";
  EXPECT_EQ(ActiveFaults(), 0u);
}

TEST_F(FaultTest, StreamStatusAndWrongMd5AreInjectedOnce) {
  const std::string data = RandomBytes(65536);
  auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "f.bin", data.size());
  std::string id = answer.substr(0, answer.find('.'));
  ASSERT_EQ(AddFault("stream=4003,path=^/idtv1/stream/write/"), 200);
  ASSERT_EQ(AddFault("badmd5,path=^/idtv1/stream/close/"), 200);
  std::string stream = alice_->OpenStream(id, false, 0, data.size(), 32768, token);
  ASSERT_FALSE(stream.empty());
  auto status = [](const httplib::Result& res) { return res ? res->get_header_value("x-korvexws-idt-status") : ""; };
  EXPECT_EQ(status(alice_->WriteChunk(id, stream, 0, 0, data.substr(0, 32768))), "code=4003");
  for (std::size_t b = 0; b < 2; ++b) {
    EXPECT_EQ(status(alice_->WriteChunk(id, stream, b, b * 32768, data.substr(b * 32768, 32768))), "code=2000");
  }
  std::string wrong = alice_->CloseStream(id, stream);
  EXPECT_NE(wrong, Md5(data));
  EXPECT_EQ(wrong.size(), 32u);
  // The client sends the group again; this time the MD5 is right.
  std::string again = alice_->OpenStream(id, false, 0, data.size(), 32768, token);
  EXPECT_EQ(alice_->CloseStream(id, again), Md5(data));
}

TEST_F(FaultTest, CutAndClosedBodiesAreShort) {
  const std::string data = RandomBytes(100000);
  auto [answer, upload] = alice_->PreUpload(alice_->RootDir(), "cut.bin", data.size());
  std::string id = answer.substr(0, answer.find('.'));
  ASSERT_EQ(Json::parse(alice_->UploadBlock(answer, upload, 0, data)->body)["result"], 1);
  ASSERT_EQ(alice_->UploadOver(id, upload), "1");
  std::string token = alice_->PreDownload(id);

  ASSERT_EQ(AddFault("cut=10,path=^/file/downloadblock/"), 200);
  auto cut = alice_->DownloadBlock(id, token, 0, data.size());
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->body, data.substr(0, 10));
  ASSERT_EQ(AddFault("close=5000,path=^/file/downloadblock/"), 200);
  auto closed = alice_->DownloadBlock(id, token, 0, data.size());
  EXPECT_TRUE(!closed || closed->body.size() < data.size()) << "the connection ends mid-body";
  auto whole = alice_->DownloadBlock(id, token, 0, data.size());
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->body, data);
}

TEST_F(FaultTest, BadFaultTextsAreRefused) {
  for (const char* spec : {"", "http=503", "path=x", "http=99,path=x", "explode,path=x", "delay=-1,path=x",
                           "http=500,path=(,nth=1", "http=500,path=x,nth=0"}) {
    SCOPED_TRACE(spec);
    EXPECT_EQ(AddFault(spec), 400);
  }
  EXPECT_EQ(ActiveFaults(), 0u);
}

TEST(KorvexdFaultFlag, CommandLineFaultFiresLikeTheEndpoint) {
  KorvexdProcess korvexd;
  ASSERT_TRUE(korvexd.Start({"--seed-demo", "--fault", "http=502,path=^/account/getspace$"})) << korvexd.Error();
  ServiceClient alice(korvexd);
  ASSERT_TRUE(alice.Login("alice", "alice-demo-1"));
  EXPECT_EQ(alice.Get("/account/getspace")->status, 502);
  EXPECT_EQ(alice.Get("/account/getspace")->status, 200);
}

TEST_F(FaultTest, TreeDumpShowsSizesAndMd5s) {
  Json tree = Admin("/admin/tree/alice")["tree"];
  ASSERT_EQ(tree["files"].size(), 1u);
  EXPECT_EQ(tree["files"][0]["name"], "readme.txt");
  EXPECT_EQ(tree["files"][0]["size"], 30);
  EXPECT_EQ(tree["files"][0]["md5"], Md5("Welcome to KorvexData, Alice!\n"));
  EXPECT_EQ(tree["dirs"].size(), 4u);
  httplib::Client http(korvexd_.Host(), korvexd_.Port());
  EXPECT_EQ(http.Get("/admin/tree/nobody")->status, 404);
}

TEST_F(FaultTest, ManyConcurrentConnectionsAllGetAnswers) {
  constexpr int kClients = 64, kRequests = 10;
  std::atomic<int> ok{0};
  std::vector<std::thread> threads;
  std::string path = "/directory/listandcount/" + std::to_string(alice_->RootDir());
  for (int t = 0; t < kClients; ++t) {
    threads.emplace_back([&] {
      httplib::Client http(korvexd_.Host(), korvexd_.Port());
      http.set_keep_alive(true);
      http.set_read_timeout(30);
      for (int i = 0; i < kRequests; ++i) {
        auto res = http.Get(path.c_str(), {{"Cookie", "AUTH_PRO=" + alice_->Auth()}});
        if (res && res->status == 200 && res->body.find("\"result\":1") != std::string::npos) ++ok;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(ok.load(), kClients * kRequests);
}

TEST_F(FaultTest, GarbageNeverBreaksTheService) {
  const std::string junk = RandomBytes(5000, 3);
  const std::string huge = "9223372036854775807/9223372036854775807";
  struct Case {
    bool post;
    std::string path;
    httplib::Headers headers;
    std::string body;
  } cases[] = {
      {true, "/2nddomain/loginnorandom", {}, junk},
      {true, "/file/preupload", {}, junk},
      {true, "/idtv1/stream/open/1", {}, junk},
      {true, "/idtv1/stream/write/1", {{"x-korvexws-idt-stream-id", junk.substr(0, 50)}}, junk},
      {true, "/file/uploadblock/1.txt/a=&t=&random=", {{"range", "bytes=0-5000"}}, junk},
      {false, "/file/downloadblock/1?a=&t=", {{"range", "bytes=9-3"}}, ""},
      {false, "/file/downloadblock/1?a=&t=", {{"range", "bytes=zz"}}, ""},
      {true, "/errorlog.php", {}, junk},
      {true, "/share/addsharedir", {}, "dirid=1&userid=,,,&privilege=x"},
      {true, "/accesscode/delete", {}, "codeids=;;,a,99999999999999999999"},
      {true, "/file/move", {}, "garbage&&==&%%"},
      {false, "/file/listrandom/1001/LOGO/title/18446744073709551615/18446744073709551615", {}, ""},
      {false, "/file/listrandom/1001/LOGO/title/" + huge, {}, ""},
      {true, "/contact/list/LOGO/timedesc/" + huge, {}, ""},
      {false, "/file/getcodes/50001/9223372036854775807", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    auto res = c.post ? alice_->PostRaw(c.path, c.headers, c.body, "application/x-www-form-urlencoded")
                      : alice_->Get(c.path, c.headers);
    ASSERT_TRUE(res) << "the service answered";
    EXPECT_NE(res->status, 500);
  }
  for (const char* path : {"/directory/listandcount/", "/directory/listandcount/99999999999999999999999",
                           "/directory/listandcount/-1", "/file/listrandom/1/LOGO/title/x/1",
                           "/file/listrandom/1001/LOGO/title/0/99999999999999999999"}) {
    SCOPED_TRACE(path);
    auto res = alice_->Get(path);
    ASSERT_TRUE(res);
    if (res->status == 200) {
      EXPECT_EQ(Json::parse(res->body, nullptr, false)["result"], 0);
    }
  }
  EXPECT_EQ(alice_->Get("/no/such/path")->status, 404);
  httplib::Client http(korvexd_.Host(), korvexd_.Port());
  auto big = http.Post("/file/uploadblock/1.txt/a=&t=&random=", std::string(33u << 20, 'x'), "application/octet-stream");
  EXPECT_TRUE(!big || big->status == 413) << (big ? big->status : 0);
  EXPECT_EQ(alice_->GetJson("/account/getspace")["result"], 1) << "still serving";
}

}  // namespace
}  // namespace korvex::test
