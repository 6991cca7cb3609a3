// Fault injection, inspection, and the service's robustness under bad
// input and many connections.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "ServiceClient.h"

namespace korvex::test {
namespace {

class FaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error();
    alice_ = std::make_unique<ServiceClient>(korvexd_);
    ASSERT_TRUE(alice_->Login("alice", "alice-demo-1"));
  }

  int AddFault(const std::string& spec) {
    httplib::Client http(korvexd_.Host(), korvexd_.Port());
    auto res = http.Post("/admin/faults", spec, "text/plain");
    return res ? res->status : -1;
  }
  std::size_t ActiveFaults() {
    httplib::Client http(korvexd_.Host(), korvexd_.Port());
    auto res = http.Get("/admin/faults");
    return res ? Json::parse(res->body)["faults"].size() : 999;
  }
  /// An uploaded complete file of the given bytes; returns (id, download token).
  std::pair<std::string, std::string> Uploaded(const std::string& name, const std::string& data) {
    auto [answer, token] = alice_->PreUpload(alice_->RootDir(), name, data.size());
    std::string id = answer.substr(0, answer.find('.'));
    EXPECT_EQ(Json::parse(alice_->UploadBlock(answer, token, 0, data)->body)["result"], 1);
    EXPECT_EQ(alice_->UploadOver(id, token), "1");
    return {id, alice_->PreDownload(id)};
  }

  KorvexdProcess korvexd_;
  std::unique_ptr<ServiceClient> alice_;
};

TEST_F(FaultTest, HttpFailureHitsOnlyTheNthMatchingRequest) {
  ASSERT_EQ(AddFault("http=503,path=^/directory/listandcount/,nth=2"), 200);
  std::string path = "/directory/listandcount/" + std::to_string(alice_->RootDir());
  std::vector<int> statuses;
  for (int i = 0; i < 4; ++i) statuses.push_back(alice_->Get(path)->status);
  EXPECT_EQ(statuses, (std::vector<int>{200, 503, 200, 200}));
  EXPECT_EQ(alice_->Get("/account/getspace")->status, 200) << "other paths are untouched";
  EXPECT_EQ(ActiveFaults(), 0u) << "a fired fault is gone";
}

TEST_F(FaultTest, CountBoundsHowOftenAFaultFires) {
  ASSERT_EQ(AddFault("http=500,path=getspace,count=2"), 200);
  int failures = 0;
  for (int i = 0; i < 5; ++i) failures += alice_->Get("/account/getspace")->status == 500;
  EXPECT_EQ(failures, 2);
}

TEST_F(FaultTest, StreamStatusAndWrongMd5AreInjectedOnce) {
  const std::string data = RandomBytes(65536);
  auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "f.bin", data.size());
  std::string id = answer.substr(0, answer.find('.'));
  ASSERT_EQ(AddFault("stream=4003,path=^/idtv1/stream/write/"), 200);
  ASSERT_EQ(AddFault("badmd5,path=^/idtv1/stream/close/"), 200);
  std::string stream = alice_->OpenStream(id, false, 0, data.size(), 32768, token);
  ASSERT_FALSE(stream.empty());
  auto failed = alice_->WriteChunk(id, stream, 0, 0, data.substr(0, 32768));
  EXPECT_EQ(failed->get_header_value("x-korvexws-idt-status"), "code=4003");
  for (std::size_t b = 0; b < 2; ++b) {
    EXPECT_EQ(alice_->WriteChunk(id, stream, b, b * 32768, data.substr(b * 32768, 32768))
                  ->get_header_value("x-korvexws-idt-status"),
              "code=2000");
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
  auto [id, token] = Uploaded("cut.bin", data);
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

TEST_F(FaultTest, DelayStillAnswersAndExpires) {
  ASSERT_EQ(AddFault("delay=200,path=getspace"), 200);
  EXPECT_EQ(ActiveFaults(), 1u);
  EXPECT_EQ(alice_->GetJson("/account/getspace")["result"], 1);
  EXPECT_EQ(ActiveFaults(), 0u);
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
  httplib::Client http(korvexd_.Host(), korvexd_.Port());
  auto res = http.Get("/admin/tree/alice");
  ASSERT_TRUE(res);
  Json tree = Json::parse(res->body)["tree"];
  ASSERT_EQ(tree["files"].size(), 1u);
  EXPECT_EQ(tree["files"][0]["name"], "readme.txt");
  EXPECT_EQ(tree["files"][0]["size"], 30);
  EXPECT_EQ(tree["files"][0]["md5"], Md5("Welcome to KorvexData, Alice!\n"));
  EXPECT_EQ(tree["dirs"].size(), 4u);
  EXPECT_EQ(http.Get("/admin/tree/nobody")->status, 404);
}

TEST_F(FaultTest, ManyConcurrentConnectionsAllGetAnswers) {
  constexpr int kClients = 64, kRequests = 10;
  std::atomic<int> ok{0};
  std::vector<std::thread> threads;
  std::string path = "/directory/listandcount/" + std::to_string(alice_->RootDir());
  std::string auth = alice_->Auth();
  for (int t = 0; t < kClients; ++t) {
    threads.emplace_back([&] {
      httplib::Client http(korvexd_.Host(), korvexd_.Port());
      http.set_keep_alive(true);
      http.set_read_timeout(30);
      for (int i = 0; i < kRequests; ++i) {
        auto res = http.Get(path.c_str(), {{"Cookie", "AUTH_PRO=" + auth}});
        if (res && res->status == 200 && res->body.find("\"result\":1") != std::string::npos) ++ok;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(ok.load(), kClients * kRequests);
}

TEST_F(FaultTest, GarbageNeverBreaksTheService) {
  httplib::Client http(korvexd_.Host(), korvexd_.Port());
  const std::string junk = RandomBytes(5000, 3);
  struct Case {
    const char* method;
    std::string path;
    httplib::Headers headers;
    std::string body;
  } cases[] = {
      {"POST", "/2nddomain/loginnorandom", {}, junk},
      {"POST", "/file/preupload", {{"Cookie", "AUTH_PRO=" + alice_->Auth()}}, junk},
      {"POST", "/idtv1/stream/open/1", {}, junk},
      {"POST", "/idtv1/stream/write/1", {{"x-korvexws-idt-stream-id", junk.substr(0, 50)}}, junk},
      {"POST", "/file/uploadblock/1.txt/a=&t=&random=", {{"range", "bytes=0-5000"}}, junk},
      {"GET", "/file/downloadblock/1?a=&t=", {{"range", "bytes=9-3"}}, ""},
      {"GET", "/file/downloadblock/1?a=&t=", {{"range", "bytes=zz"}}, ""},
      {"POST", "/errorlog.php", {}, junk},
      {"POST", "/share/addsharedir", {{"Cookie", "AUTH_PRO=" + alice_->Auth()}}, "dirid=1&userid=,,,&privilege=x"},
      {"POST", "/accesscode/delete", {{"Cookie", "AUTH_PRO=" + alice_->Auth()}}, "codeids=;;,a,99999999999999999999"},
      {"GET", "/file/listrandom/1001/LOGO/title/18446744073709551615/18446744073709551615",
       {{"Cookie", "AUTH_PRO=" + alice_->Auth()}}, ""},
      {"GET", "/file/listrandom/1001/LOGO/title/9223372036854775807/9223372036854775807",
       {{"Cookie", "AUTH_PRO=" + alice_->Auth()}}, ""},
      {"POST", "/contact/list/LOGO/timedesc/9223372036854775807/9223372036854775807",
       {{"Cookie", "AUTH_PRO=" + alice_->Auth()}}, ""},
      {"GET", "/file/getcodes/50001/9223372036854775807", {{"Cookie", "AUTH_PRO=" + alice_->Auth()}}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.method) + " " + c.path);
    auto res = std::string(c.method) == "GET" ? http.Get(c.path.c_str(), c.headers)
                                              : http.Post(c.path.c_str(), c.headers, c.body, "application/x-www-form-urlencoded");
    ASSERT_TRUE(res) << "the service answered";
    EXPECT_NE(res->status, 500);
  }
  auto big = http.Post("/file/uploadblock/1.txt/a=&t=&random=", std::string(33u << 20, 'x'), "application/octet-stream");
  EXPECT_TRUE(!big || big->status == 413) << (big ? big->status : 0) << " " << (big ? big->body : "");
  EXPECT_EQ(alice_->GetJson("/account/getspace")["result"], 1) << "still serving";
}

}  // namespace
}  // namespace korvex::test
