// korvexd's connections under clients that break HTTP's rules: each such
// connection ends with an answer or is dropped, no request hides behind
// another, and nobody else waits for it.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "ServiceClient.h"

namespace korvex::test {
namespace {

class HostileConnectionsTest : public KorvexdTest {
 protected:
  int Connect() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{AF_INET, htons(static_cast<std::uint16_t>(korvexd_.Port())), {htonl(INADDR_LOOPBACK)}, {}};
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    return fd;
  }

  /// Reads what comes back for at most `seconds`; *closed tells whether
  /// korvexd ended the connection in that time.
  static std::string ReadAnswer(int fd, int seconds, bool* closed) {
    std::string answer;
    *closed = false;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    char buffer[4096];
    pollfd p{fd, POLLIN, 0};
    while (std::chrono::steady_clock::now() < end && ::poll(&p, 1, 200) >= 0) {
      if (!(p.revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
      if (n <= 0) {
        *closed = true;
        break;
      }
      answer.append(buffer, static_cast<std::size_t>(n));
    }
    return answer;
  }

  /// Peak resident memory of korvexd, in bytes.
  std::size_t PeakMemory() const {
    std::ifstream status("/proc/" + std::to_string(korvexd_.Pid()) + "/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
    }
    return 0;
  }
};

TEST_F(HostileConnectionsTest, RefusedRequestsEndTheirConnectionAndHideNothing) {
  const std::string next = "GET /admin/faults HTTP/1.1\r\nHost: x\r\n\r\n";
  struct Case {
    const char* name;
    std::string request;
    const char* status;
  } cases[] = {
      {"signed length", "POST /2nddomain/loginnorandom HTTP/1.1\r\nHost: x\r\nContent-Length: +28\r\n\r\n" + next,
       "HTTP/1.1 400 "},
      {"header block over 64 KiB", "GET /account/getspace HTTP/1.1\r\nHost: x\r\nX-Pad: " +
                                       std::string(70 * 1024, 'p') + "\r\n\r\n" + next,
       "HTTP/1.1 431 "},
      {"body over the route's limit", "POST /errorlog.php HTTP/1.1\r\nHost: x\r\nContent-Length: 70000\r\n\r\n" +
                                          std::string(70000, 'b') + next,
       "HTTP/1.1 413 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int fd = Connect();
    ASSERT_EQ(::send(fd, c.request.data(), c.request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(c.request.size()));
    bool closed = false;
    std::string answer = ReadAnswer(fd, 10, &closed);
    ::close(fd);
    EXPECT_EQ(answer.rfind(c.status, 0), 0u) << answer.substr(0, 80);
    EXPECT_EQ(answer.find("HTTP/1.1", 1), std::string::npos) << "the request behind it was answered too";
    EXPECT_TRUE(closed);
  }
  EXPECT_EQ(alice_->GetJson("/account/getspace")["result"], 1);
}

TEST_F(HostileConnectionsTest, SlowClientsAreDroppedWhileOthersAreServed) {
  int slow = Connect();
  const std::string trickle = "GET /account/getspace HTTP/1.1\r\nHost: x\r\nX-Slow: ";
  bool closed = false;
  int answered = 0;
  for (std::size_t i = 0; i < 20 && !closed; ++i) {
    (void)::send(slow, trickle.data() + i % trickle.size(), 1, MSG_NOSIGNAL);
    answered += alice_->GetJson("/account/getspace")["result"] == 1;
    ReadAnswer(slow, 1, &closed);
  }
  ::close(slow);
  EXPECT_TRUE(closed) << "a header sent a byte a second held its connection for 20 s";
  EXPECT_GE(answered, 3);
}

TEST_F(HostileConnectionsTest, ChunksCutShortNeitherCountNorChangeReceivedBytes) {
  const std::size_t chunk = 32768;
  const std::string data = RandomBytes(2 * chunk, 9);
  auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "cut.bin", data.size());
  ASSERT_FALSE(token.empty()) << answer;
  const std::string id = answer.substr(0, answer.find('.'));
  const std::string stream = alice_->OpenStream(id, false, 0, data.size(), chunk, token);
  ASSERT_FALSE(stream.empty());
  ASSERT_EQ(alice_->WriteChunk(id, stream, 0, 0, data.substr(0, chunk))->get_header_value("x-korvexws-idt-status"),
            "code=2000");
  // Half of chunk 1 (never received yet), then half of a different chunk 0,
  // each followed by the client going away.
  for (std::size_t sequence : {1, 0}) {
    SCOPED_TRACE(sequence);
    const std::size_t offset = sequence * chunk;
    std::string request = "POST /idtv1/stream/write/" + id + " HTTP/1.1\r\nHost: x\r\nx-korvexws-idt-stream-id: " +
                          stream + "\r\nx-korvexws-idt-chunk-sequence: " + std::to_string(sequence) +
                          "\r\nx-korvexws-idt-chunk-range: bytes=" + std::to_string(offset) + "-" +
                          std::to_string(offset + chunk - 1) + "\r\nContent-Length: " + std::to_string(chunk) +
                          "\r\n\r\n" + std::string(chunk / 2, 'x');
    int fd = Connect();
    ASSERT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
    ::shutdown(fd, SHUT_WR);
    bool closed = false;
    EXPECT_EQ(ReadAnswer(fd, 10, &closed), "") << "a body cut short reached its route";
    EXPECT_TRUE(closed);
    ::close(fd);
    EXPECT_NE(alice_->UploadOver(id, token), "1") << "the upload completed without chunk 1";
  }
  ASSERT_EQ(alice_->WriteChunk(id, stream, 1, chunk, data.substr(chunk))->get_header_value("x-korvexws-idt-status"),
            "code=2000");
  EXPECT_EQ(alice_->CloseStream(id, stream), Md5(data));
  ASSERT_EQ(alice_->UploadOver(id, token), "1");
  auto md5 = alice_->GetJson("/file/md5sum/" + id + "?a=" + alice_->Auth() + "&t=" + alice_->PreDownload(id));
  EXPECT_EQ(md5["md5sum"], Md5(data));
}

TEST_F(HostileConnectionsTest, LinkDownloadsOfLargeFilesStayOutOfMemory) {
  const std::size_t size = std::size_t{48} << 20, block = std::size_t{8} << 20;
  const std::string data = RandomBytes(size, 5);
  auto [answer, token] = alice_->PreUpload(alice_->RootDir(), "big.bin", size);
  ASSERT_FALSE(token.empty()) << answer;
  for (std::size_t offset = 0; offset < size; offset += block)
    ASSERT_EQ(alice_->UploadBlock(answer, token, offset, data.substr(offset, block))->status, 200);
  ASSERT_EQ(alice_->UploadOver(answer.substr(0, answer.find('.')), token), "1");
  std::string id = FileId(*alice_, alice_->RootDir(), "big.bin");
  std::string url = alice_->GetJson("/file/getcodes/" + id + "/7")["url"];
  std::size_t before = PeakMemory();
  ASSERT_GT(before, 0u);

  auto link = alice_->Get(url.substr(url.find("/link/")));
  ASSERT_TRUE(link);
  EXPECT_EQ(link->status, 200);
  EXPECT_EQ(Md5(link->body), Md5(data));
  EXPECT_LT(PeakMemory(), before + size / 2) << "the file went through memory whole";
}

}  // namespace
}  // namespace korvex::test
