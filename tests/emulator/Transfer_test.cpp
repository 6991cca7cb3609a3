// Block and stream transfers end to end: what goes up comes down with the
// same bytes and the same MD5, across a restart of the service too.
#include <gtest/gtest.h>

#include "ServiceClient.h"

namespace korvex::test {
namespace {

constexpr std::size_t kBlock = 32768;
constexpr std::size_t kGroup = 32 * kBlock;

class TransferTest : public KorvexdTest {
 protected:
  /// Sends groups [firstGroup, endGroup) of data over streams, the blocks of
  /// each group in reverse order, and checks each group's stream MD5.
  void StreamUp(ServiceClient& c, const std::string& id, const std::string& token, const std::string& data,
                std::size_t firstGroup, std::size_t endGroup) {
    for (std::size_t g = firstGroup; g < endGroup && g * kGroup < data.size(); ++g) {
      SCOPED_TRACE("group " + std::to_string(g));
      std::size_t offset = g * kGroup, length = std::min(kGroup, data.size() - offset);
      std::string stream = c.OpenStream(id, false, offset, length, kBlock, token);
      ASSERT_FALSE(stream.empty());
      std::size_t blocks = (length + kBlock - 1) / kBlock;
      for (std::size_t b = blocks; b-- > 0;) {
        std::size_t at = offset + b * kBlock, n = std::min(kBlock, offset + length - at);
        auto res = c.WriteChunk(id, stream, b, at, data.substr(at, n));
        ASSERT_TRUE(res);
        ASSERT_EQ(res->get_header_value("x-korvexws-idt-status"), "code=2000") << res->body;
      }
      EXPECT_EQ(c.CloseStream(id, stream), Md5(data.substr(offset, length)));
    }
  }

  std::string StreamDown(ServiceClient& c, const std::string& id, const std::string& token, std::size_t size) {
    std::string out;
    for (std::size_t offset = 0; offset < size; offset += kGroup) {
      std::size_t length = std::min(kGroup, size - offset);
      std::string stream = c.OpenStream(id, true, offset, length, kBlock, token);
      EXPECT_FALSE(stream.empty());
      std::string group;
      for (std::size_t at = offset, seq = 0; at < offset + length; at += kBlock, ++seq) {
        auto res = c.ReadChunk(id, stream, seq, at, std::min(kBlock, offset + length - at));
        if (!res || res->get_header_value("x-korvexws-idt-status") != "code=2000") {
          ADD_FAILURE() << "chunk read failed at " << at;
          return out;
        }
        group += res->body;
      }
      EXPECT_EQ(c.CloseStream(id, stream), Md5(group));
      out += group;
    }
    return out;
  }

  static std::string IdOf(const std::string& answer) { return answer.substr(0, answer.find('.')); }
};

TEST_F(TransferTest, BlockUploadThenDownloadGivesSameBytesAndMd5) {
  const std::string data = RandomBytes(3 * kBlock + 1234);
  auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "report.pdf", data.size());
  ASSERT_FALSE(token.empty()) << answer;
  ASSERT_EQ(answer, IdOf(answer) + ".pdf") << "plain text: file id and extension";
  std::string id = IdOf(answer);
  // Blocks in any order; a block may be sent twice.
  for (std::size_t offset : {2 * kBlock, 0ul, 3 * kBlock, kBlock, 0ul}) {
    auto res = alice_->UploadBlock(answer, token, offset, data.substr(offset, kBlock));
    ASSERT_TRUE(res);
    EXPECT_EQ(Json::parse(res->body)["result"], 1) << res->body;
  }
  auto md5 = alice_->GetJson("/file/md5sum/" + id + "?a=" + alice_->Auth() + "&t=" + token + "&random=1");
  EXPECT_EQ(md5["md5sum"], Md5(data));
  EXPECT_EQ(alice_->UploadOver(id, token), "1");
  EXPECT_EQ(alice_->UploadOver(id, token), "1") << "completing twice is harmless";

  std::string down = alice_->PreDownload(id);
  ASSERT_FALSE(down.empty());
  std::string back;
  for (std::size_t offset = 0; offset < data.size(); offset += kBlock) {
    auto res = alice_->DownloadBlock(id, down, offset, std::min(kBlock, data.size() - offset));
    ASSERT_TRUE(res);
    back += res->body;
  }
  EXPECT_EQ(back, data);
  EXPECT_EQ(Md5(back), Md5(data));
  EXPECT_EQ(alice_->GetJson("/file/md5sum/" + id + "?a=" + alice_->Auth() + "&t=" + down + "&random=2")["md5sum"],
            Md5(data));
}

TEST_F(TransferTest, BlockPathsRefuseWhatDoesNotFit) {
  const std::string data = RandomBytes(1000);
  auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "noext", data.size());
  ASSERT_EQ(answer.find('.'), std::string::npos) << "no extension, no dot: " << answer;
  auto result = [](const httplib::Result& res) { return res ? Json::parse(res->body, nullptr, false)["result"] : Json(); };
  // Range and body disagree; the end is beyond the declared size; a wrong "a=" or token.
  EXPECT_EQ(result(alice_->UploadBlock(answer, token, 0, data.substr(0, 999) + "xx")), 0);
  EXPECT_EQ(result(alice_->UploadBlock(answer, token, 500, data)), 0);
  EXPECT_EQ(result(alice_->PostRaw("/file/uploadblock/" + answer + "/a=00&t=" + token + "&random=1",
                                   {{"range", "bytes=0-1000"}}, data)),
            0);
  EXPECT_EQ(result(alice_->UploadBlock(answer, "BAD", 0, data)), 0);
  EXPECT_NE(alice_->UploadOver(answer, token), "1") << "nothing stored yet";
  EXPECT_EQ(result(alice_->UploadBlock(answer, token, 0, data)), 1);
  EXPECT_EQ(alice_->UploadOver(answer, token), "1");
  EXPECT_EQ(result(alice_->UploadBlock(answer, token, 0, data)), 0) << "a finished upload takes no blocks";

  std::string down = alice_->PreDownload(answer);
  auto past = alice_->DownloadBlock(answer, down, 1000, 10);
  ASSERT_TRUE(past);
  EXPECT_EQ(past->status, 416);
  auto forged = alice_->DownloadBlock(answer, "FORGED", 0, 10);
  ASSERT_TRUE(forged);
  EXPECT_EQ(forged->status, 403);
  auto gone = alice_->Get("/file/predownloadnoredirect/99999999");
  ASSERT_TRUE(gone);
  EXPECT_EQ(SetCookieValue(*gone, "TOKEN"), "deleted");
}

TEST_F(TransferTest, PreparationAnswersNegativeCodes) {
  std::int64_t root = alice_->RootDir();
  EXPECT_EQ(alice_->PreUpload(root, "readme.txt", 10).first, "-4") << "exists, no override";
  EXPECT_NE(alice_->PreUpload(root, "readme.txt", 10, true).first.substr(0, 1), "-");
  EXPECT_EQ(alice_->PreUpload(root, "a/b", 10).first, "-3");
  EXPECT_EQ(alice_->PreUpload(999999, "x", 10).first, "-7");
  EXPECT_EQ(alice_->PreUpload(root, "huge", std::size_t{1} << 50).first, "-2");
  EXPECT_EQ(alice_->PreUpload(root, "quota", std::size_t{20} << 30).first, "-1");
  EXPECT_NE(alice_->PreUpload(root, "empty", 0).first.substr(0, 1), "-") << "an empty file is a file too";
}

TEST_F(TransferTest, OverrideReplacesOnlyWhenTheNewUploadCompletes) {
  std::int64_t root = alice_->RootDir();
  auto [answer, token] = alice_->PreUpload(root, "readme.txt", 5, true);
  std::string id = IdOf(answer);
  auto names = [&] {
    std::vector<std::string> states;
    Json j = alice_->GetJson("/file/listrandom/" + std::to_string(root) + "/LOGO/title/0/50");
    for (const Json& e : j["list"]) {
      if (e["name"] == "readme.txt") states.push_back(e["state"]);
    }
    return states;
  };
  EXPECT_EQ(names(), (std::vector<std::string>{"0", "1"})) << "old file kept while the new one is partial";
  ASSERT_EQ(Json::parse(alice_->UploadBlock(answer, token, 0, "hello")->body)["result"], 1);
  ASSERT_EQ(alice_->UploadOver(id, token), "1");
  EXPECT_EQ(names(), (std::vector<std::string>{"0"}));
  std::string down = alice_->PreDownload(id);
  EXPECT_EQ(alice_->DownloadBlock(id, down, 0, 5)->body, "hello");
}

TEST_F(TransferTest, StreamUploadThenDownloadGivesSameBytesAndMd5) {
  const std::string data = RandomBytes(2 * kGroup + 5 * kBlock + 77, 11);
  auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "movie.mkv", data.size());
  std::string id = IdOf(answer);
  StreamUp(*alice_, id, token, data, 0, 3);
  ASSERT_EQ(alice_->UploadOver(id, token), "1");
  std::string down = alice_->PreDownload(id);
  std::string back = StreamDown(*alice_, id, down, data.size());
  EXPECT_EQ(back.size(), data.size());
  EXPECT_TRUE(back == data);
}

TEST_F(TransferTest, StreamRequestsReportTheirStatusCodes) {
  const std::string data = RandomBytes(2 * kBlock);
  auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "s.bin", data.size());
  std::string id = IdOf(answer);
  std::string code;
  EXPECT_TRUE(alice_->OpenStream(id, false, 0, data.size(), kBlock, "BAD", &code).empty());
  EXPECT_EQ(code, "code=4003");
  EXPECT_TRUE(alice_->OpenStream(id, true, 0, data.size(), kBlock, token, &code).empty());
  EXPECT_EQ(code, "code=4005") << "an upload token opens no read stream";
  EXPECT_TRUE(alice_->OpenStream(id, false, 0, data.size() + 1, kBlock, token, &code).empty());
  EXPECT_EQ(code, "code=4002");
  EXPECT_TRUE(alice_->OpenStream(id, false, 0, data.size(), 0, token, &code).empty());
  EXPECT_EQ(code, "code=4000");
  std::string stream = alice_->OpenStream(id, false, 0, kBlock, kBlock, token);
  ASSERT_FALSE(stream.empty());

  struct Case {
    const char* what;
    httplib::Result res;
    const char* status;
  };
  Case cases[] = {
      {"unknown stream", alice_->WriteChunk(id, "NOPE", 0, 0, data.substr(0, kBlock)), "code=4001"},
      {"outside the stream", alice_->WriteChunk(id, stream, 1, kBlock, data.substr(kBlock, kBlock)), "code=4002"},
      {"short body", alice_->PostRaw("/idtv1/stream/write/" + id, ServiceClient::ChunkHeaders(stream, 0, 0, kBlock, true),
                                     data.substr(0, 10)),
       "code=4002"},
      {"read on a write stream", alice_->ReadChunk(id, stream, 0, 0, kBlock), "code=4005"},
      {"no sequence", alice_->PostRaw("/idtv1/stream/write/" + id, {{"x-korvexws-idt-stream-id", stream}}, "x"),
       "code=4000"},
      {"fine", alice_->WriteChunk(id, stream, 0, 0, data.substr(0, kBlock)), "code=2000"},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(c.res);
    EXPECT_EQ(c.res->get_header_value("x-korvexws-idt-status"), c.status);
  }
  EXPECT_EQ(cases[5].res->get_header_value("x-korvexws-idt-chunk-sequence-next"), "1");
  EXPECT_EQ(alice_->CloseStream(id, stream), Md5(data.substr(0, kBlock)));
  alice_->CloseStream(id, stream, &code);
  EXPECT_EQ(code, "code=4001") << "a closed stream is gone";
}

TEST_F(TransferTest, AWithdrawnShareEndsTheRecipientsStreamsAtOnce) {
  // Chunks that follow each other closely share one judgment of their
  // token; a change to the rights must still end the streams at the next one.
  std::int64_t team = SubDir(*bob_, bob_->RootDir(), "Team Share");
  const std::string data = RandomBytes(2 * kBlock, 5);
  auto [answer, up] = alice_->PreUpload(team, "notes.bin", data.size());
  std::string id = IdOf(answer);
  std::string budget = FileId(*alice_, team, "budget.csv");
  std::string writing = alice_->OpenStream(id, false, 0, data.size(), kBlock, up);
  std::string reading = alice_->OpenStream(budget, true, 0, 10, 10, alice_->PreDownload(budget));
  ASSERT_FALSE(writing.empty());
  ASSERT_FALSE(reading.empty());
  auto status = [](const httplib::Result& res) { return res ? res->get_header_value("x-korvexws-idt-status") : ""; };
  EXPECT_EQ(status(alice_->WriteChunk(id, writing, 0, 0, data.substr(0, kBlock))), "code=2000");
  EXPECT_EQ(status(alice_->ReadChunk(budget, reading, 0, 0, 10)), "code=2000");
  ASSERT_EQ(bob_->PostJson("/share/cancelsharedir", "dirid=" + std::to_string(team))["result"], 1);
  EXPECT_EQ(status(alice_->WriteChunk(id, writing, 1, kBlock, data.substr(kBlock))), "code=4001");
  EXPECT_EQ(status(alice_->ReadChunk(budget, reading, 0, 0, 10)), "code=4001");
}

TEST_F(TransferTest, AStreamsMd5IsOfTheBytesItsCloseFinds) {
  // A chunk sent again lands on bytes already hashed as they arrived.
  const std::string data = RandomBytes(2 * kBlock, 6), again = RandomBytes(kBlock, 7);
  auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "again.bin", data.size());
  std::string id = IdOf(answer);
  std::string stream = alice_->OpenStream(id, false, 0, data.size(), kBlock, token);
  ASSERT_TRUE(alice_->WriteChunk(id, stream, 0, 0, data.substr(0, kBlock)));
  ASSERT_TRUE(alice_->WriteChunk(id, stream, 0, 0, again));
  ASSERT_TRUE(alice_->WriteChunk(id, stream, 1, kBlock, data.substr(kBlock)));
  EXPECT_EQ(alice_->CloseStream(id, stream), Md5(again + data.substr(kBlock)));
}

TEST_F(TransferTest, WhatWasAnsweredSurvivesAKillRightAfterTheAnswer) {
  // Small uploads, each completed with "1" and its report taken, then the
  // service dies without a chance to finish anything.
  std::vector<std::pair<std::string, std::string>> uploaded;  // id, bytes
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE("file " + std::to_string(i));
    const std::string data = RandomBytes(4096 + i, 20 + i);
    auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "small" + std::to_string(i) + ".bin", data.size());
    std::string id = IdOf(answer);
    StreamUp(*alice_, id, token, data, 0, 1);
    ASSERT_EQ(alice_->UploadOver(id, token), "1");
    auto report = alice_->PostForm("/errorlog.php", "log=TaskState=Completed\tFileId=" + id);
    ASSERT_TRUE(report);
    ASSERT_EQ(report->status, 200);
    uploaded.emplace_back(id, data);
  }
  korvexd_.Kill();
  ASSERT_TRUE(korvexd_.Start()) << korvexd_.Error();

  ServiceClient again(korvexd_);
  again.SetAuth(alice_->Auth());
  for (const auto& [id, data] : uploaded) {
    SCOPED_TRACE("file " + id);
    std::string down = again.PreDownload(id);
    ASSERT_FALSE(down.empty()) << "complete, so it may be downloaded";
    auto md5 = again.GetJson("/file/md5sum/" + id + "?a=" + again.Auth() + "&t=" + down + "&random=1");
    EXPECT_EQ(md5["md5sum"], Md5(data)) << "the MD5 kept at completion";
    EXPECT_EQ(StreamDown(again, id, down, data.size()), data);
  }
  EXPECT_EQ(Admin("/admin/reports")["list"].size(), uploaded.size());
}

TEST_F(TransferTest, UploadSurvivesRestartInTheMiddle) {
  const std::string data = RandomBytes(3 * kGroup + 100, 5);
  auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "big.iso", data.size());
  std::string id = IdOf(answer);
  StreamUp(*alice_, id, token, data, 0, 1);
  // Group 1 is half sent when the service dies.
  std::string open = alice_->OpenStream(id, false, kGroup, kGroup, kBlock, token);
  ASSERT_FALSE(open.empty());
  ASSERT_TRUE(alice_->WriteChunk(id, open, 0, kGroup, data.substr(kGroup, kBlock)));
  korvexd_.Kill();
  ASSERT_TRUE(korvexd_.Start()) << korvexd_.Error();

  ServiceClient again(korvexd_);
  again.SetAuth(alice_->Auth());
  std::string code;
  EXPECT_FALSE(again.CloseStream(id, open, &code).empty()) << "a stream opened before the restart still closes";
  StreamUp(again, id, token, data, 1, 4);
  ASSERT_EQ(again.UploadOver(id, token), "1");
  std::string down = again.PreDownload(id);
  auto md5 = again.GetJson("/file/md5sum/" + id + "?a=" + again.Auth() + "&t=" + down + "&random=9");
  EXPECT_EQ(md5["md5sum"], Md5(data));
}

}  // namespace
}  // namespace korvex::test
