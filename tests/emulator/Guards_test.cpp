// korvexd under hostile clients: nothing is lost, nothing reaches callers
// without the right, and no request holds unbounded work or memory.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <thread>

#include "ServiceClient.h"

namespace korvex::test {
namespace {

class GuardsTest : public KorvexdTest {
 protected:
  static std::string IdOf(const std::string& answer) { return answer.substr(0, answer.find('.')); }
  static int Result(const httplib::Result& res) {
    Json j = res ? Json::parse(res->body, nullptr, false) : Json();
    return j.is_object() ? j.value("result", -1) : -1;
  }

  /// Prepares, sends and completes a whole upload; returns the completion answer.
  static std::string Upload(ServiceClient& c, std::int64_t dir, const std::string& name, const std::string& data,
                            bool override = false) {
    auto [answer, token] = c.PreUpload(dir, name, data.size(), override);
    if (token.empty()) return answer;
    c.UploadBlock(answer, token, 0, data);
    return c.UploadOver(IdOf(answer), token);
  }

  /// Sends raw bytes on a new connection; the status line that came back
  /// within five seconds, or "".
  std::string RawStatus(const std::string& request) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{AF_INET, htons(static_cast<std::uint16_t>(korvexd_.Port())), {htonl(INADDR_LOOPBACK)}, {}};
    char buffer[256] = {};
    pollfd p{fd, POLLIN, 0};
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0 && ::poll(&p, 1, 5000) == 1)
      (void)::recv(fd, buffer, sizeof buffer - 1, 0);
    ::close(fd);
    std::string answer = buffer;
    return answer.substr(0, answer.find("\r\n"));
  }
};

TEST_F(GuardsTest, UploadsAndMovesKeepOtherFilesWholeAndTheQuota) {
  std::int64_t root = alice_->RootDir();
  auto [answer, token] = alice_->PreUpload(root, "taken.txt", 5);
  ASSERT_EQ(Result(alice_->UploadBlock(answer, token, 0, "fresh")), 1);
  std::string readme = FileId(*alice_, root, "readme.txt");
  ASSERT_EQ(alice_->PostJson("/file/rename", "fileid=" + readme + "&filename=taken.txt")["result"], 1);
  EXPECT_EQ(StateOf(Json::parse(alice_->UploadOver(IdOf(answer), token), nullptr, false)), 3009);
  EXPECT_EQ(FileId(*alice_, root, "taken.txt"), readme) << "the renamed file survives";

  auto [gappy, gapToken] = alice_->PreUpload(root, "gappy.bin", 1 << 20);
  ASSERT_EQ(Result(alice_->UploadBlock(gappy, gapToken, (1 << 20) - 1, "z")), 1);
  EXPECT_NE(alice_->UploadOver(IdOf(gappy), gapToken), "1") << "only the last byte arrived";

  std::int64_t top = alice_->MakeDir(root, "deep"), leaf = top;
  for (int depth = 0; depth < 520 && leaf > 0; ++depth) leaf = alice_->MakeDir(leaf, "d");
  EXPECT_EQ(StateOf(alice_->PostJson("/directory/move", "dirid=" + std::to_string(top) + "&targetid=" +
                                                           std::to_string(leaf))), 2003);

  EXPECT_NE(alice_->PreUpload(root, "a.iso", std::size_t{9} << 30).second, "");
  EXPECT_EQ(alice_->PreUpload(root, "b.iso", std::size_t{9} << 30).first, "-1") << "the first one holds its space";
  std::size_t bobFree = (std::size_t{10} << 30) - std::stoull(bob_->GetJson("/account/getspace")["space"].get<std::string>());
  ASSERT_NE(bob_->PreUpload(bob_->RootDir(), "big.iso", bobFree).second, "");
  std::int64_t team = SubDir(*alice_, alice_->ShareDir(), "Team Share");
  EXPECT_EQ(StateOf(alice_->PostJson("/file/move", "fileid=" + readme + "&targetid=" + std::to_string(team))), 3010);
}

TEST_F(GuardsTest, VisitorsAndRecipientsOnlyAddNewNames) {
  std::int64_t inbox = SubDir(*alice_, alice_->RootDir(), "Inbox");
  ASSERT_EQ(Upload(*alice_, inbox, "mine.txt", "owner's"), "1");
  auto [half, halfToken] = alice_->PreUpload(inbox, "half.bin", 4);
  ServiceClient visitor(korvexd_);
  auto prepare = [&](const std::string& name) {
    auto res = visitor.PostForm("/accesscode/preupload", "code=DEMO2026&filename=" + name +
                                                             "&size=3&over%5Fride=1&lastmodifytime=1700000000");
    return std::pair{res->body, SetCookieValue(*res, "TOKEN")};
  };
  for (const char* name : {"mine.txt", "half.bin", "new.txt"}) {
    SCOPED_TRACE(name);
    auto [answer, token] = prepare(name);
    ASSERT_FALSE(token.empty()) << "an existing name answers like a new one: " << answer;
    ASSERT_EQ(Result(visitor.UploadBlock(answer, token, 0, "vis")), 1);
    EXPECT_EQ(visitor.PostForm("/accesscode/uploadover", "fileid=" + IdOf(answer) + "&code=DEMO2026&token=" + token)->body, "1");
  }
  std::string mine = FileId(*alice_, inbox, "mine.txt");
  EXPECT_EQ(alice_->DownloadBlock(mine, alice_->PreDownload(mine), 0, 7)->body, "owner's");
  ASSERT_EQ(Result(alice_->UploadBlock(half, halfToken, 0, "half")), 1);
  EXPECT_EQ(alice_->UploadOver(IdOf(half), halfToken), "1") << "the owner's partial upload was left alone";

  auto [late, lateToken] = prepare("late.txt");
  ASSERT_EQ(Result(visitor.UploadBlock(late, lateToken, 0, "vis")), 1);
  Json codes = alice_->GetJson("/accesscode/listsingle/" + std::to_string(inbox) + "/TEXT/timedesc");
  ASSERT_EQ(alice_->PostJson("/accesscode/delete", "codeids=" + codes["list"][0]["codeid"].get<std::string>())["result"], 1);
  EXPECT_NE(visitor.UploadOver(IdOf(late), lateToken), "1") << "the code is gone";

  // alice holds Upload/Download on bob's Team Share: she adds, never replaces.
  std::int64_t team = SubDir(*alice_, alice_->ShareDir(), "Team Share");
  std::string budget = FileId(*bob_, team, "budget.csv"), own = FileId(*alice_, alice_->RootDir(), "readme.txt");
  EXPECT_NE(Upload(*alice_, team, "budget.csv", "x", true), "1");
  ASSERT_EQ(alice_->PostJson("/file/rename", "fileid=" + own + "&filename=budget.csv")["result"], 1);
  for (const char* op : {"/file/copy", "/file/move"}) {
    SCOPED_TRACE(op);
    EXPECT_EQ(StateOf(alice_->PostJson(op, "fileid=" + own + "&targetid=" + std::to_string(team) + "&override=1")), 3009);
  }
  EXPECT_EQ(FileId(*bob_, team, "budget.csv"), budget);
}

TEST_F(GuardsTest, RevokedSharesOldSessionsAndTokensStopWorking) {
  std::int64_t team = SubDir(*alice_, alice_->ShareDir(), "Team Share");
  std::string budget = FileId(*alice_, team, "budget.csv");
  std::string token = alice_->PreDownload(budget);
  ASSERT_EQ(alice_->DownloadBlock(budget, token, 0, 4)->status, 206);
  ASSERT_EQ(bob_->PostJson("/share/cancelsharedir", "dirid=" + std::to_string(team))["result"], 1);
  EXPECT_EQ(alice_->DownloadBlock(budget, token, 0, 4)->status, 403);

  ASSERT_TRUE(korvexd_.Start({"--session-idle", "1", "--token-ttl", "1", "--public-url", "https://files.example.com"}))
      << korvexd_.Error();
  ServiceClient carol(korvexd_);
  ASSERT_TRUE(carol.Login("alice", "alice-demo-1"));
  std::string readme = FileId(carol, carol.RootDir(), "readme.txt");
  std::string fresh = carol.PreDownload(readme);
  auto link = carol.Get("/file/getcodes/" + readme + "/7", {{"Host", "evil.example"}});
  EXPECT_EQ(Json::parse(link->body)["url"].get<std::string>().rfind("https://files.example.com/link/", 0), 0u);
  auto [answer, upToken] = carol.PreUpload(carol.RootDir(), "slow.bin", 2 * 32768);
  std::string stream = carol.OpenStream(IdOf(answer), false, 0, 2 * 32768, 32768, upToken);
  ASSERT_FALSE(stream.empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(2200));
  EXPECT_EQ(StateOf(carol.GetJson("/account/getspace")), -2142294289);
  EXPECT_EQ(carol.DownloadBlock(readme, fresh, 0, 4)->status, 403);
  auto chunk = carol.WriteChunk(IdOf(answer), stream, 0, 0, std::string(32768, 'x'));
  EXPECT_EQ(chunk->get_header_value("x-korvexws-idt-status"), "code=4001") << "the stream went with its token";
}

TEST_F(GuardsTest, StreamsReportsAndFramingAreBounded) {
  auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "s.bin", 32768);
  std::string stream = alice_->OpenStream(IdOf(answer), false, 0, 32768, 32768, token);
  auto far = alice_->WriteChunk(IdOf(answer), stream, 1u << 19, 0, std::string(32768, 's'));
  EXPECT_EQ(far->get_header_value("x-korvexws-idt-status"), "code=4002") << "one chunk, so only sequence 0";

  httplib::Client anonymous(korvexd_.Host(), korvexd_.Port());
  EXPECT_EQ(StateOf(ServiceClient::ToJson(anonymous.Post("/errorlog.php", "log=x", "text/plain"))), -2142294289);
  EXPECT_EQ(alice_->PostForm("/errorlog.php", "log=" + std::string(65 * 1024, 'x'))->status, 413);

  const std::string post = "POST /2nddomain/loginnorandom HTTP/1.1\r\nHost: x\r\nContent-Length: ";
  for (const std::string& request : {post + "-1\r\n\r\n", post + "0x1c\r\n\r\n", post + "+28\r\n\r\n",
                                     post + "28\r\nContent-Length: 27\r\n\r\n",
                                     std::string("GET /account/getspace HTTP/1.1\r\n\r\n")}) {
    SCOPED_TRACE(request);
    EXPECT_EQ(RawStatus(request), "HTTP/1.1 400 Bad Request");
  }
}

}  // namespace
}  // namespace korvex::test
