#include "NetTestSupport.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "foundation/Language.h"
#include "platform/Paths.h"

namespace korvex::testing {

LoopbackServer::LoopbackServer() : server_(std::make_unique<httplib::Server>()) {}

LoopbackServer::LoopbackServer(const std::filesystem::path& certFile,
                               const std::filesystem::path& keyFile)
    : server_(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())),
      secure_(true) {}

void LoopbackServer::Start() {
  // Enough workers that a test can hold many requests open at once (httplib
  // serves each keep-alive connection on one worker).
  server_->new_task_queue = [] { return new httplib::ThreadPool(72); };
  server_->set_keep_alive_max_count(1000);
  // httplib writes headers and body separately; without this, Nagle and
  // delayed ACKs add 40 ms to every answer.
  server_->set_tcp_nodelay(true);
  server_->set_socket_options([this](socket_t socket) {
    httplib::default_socket_options(socket);
    listener_ = socket;
  });
  ASSERT_TRUE(server_->is_valid()) << "server set-up failed";
  port_ = server_->bind_to_any_port("127.0.0.1");
  ASSERT_GT(port_, 0) << "cannot bind a loopback port";
  // httplib listens with a backlog of 5: a burst of connections beyond that
  // loses SYNs and waits a full second for the retry.
  ASSERT_EQ(::listen(listener_.load(), 256), 0);
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  for (int i = 0; i < 500 && !server_->is_running(); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(server_->is_running()) << "server did not start";
}

void LoopbackServer::Stop() {
  if (!thread_.joinable()) return;
  server_->stop();
  thread_.join();
}

std::string LoopbackServer::Url(const std::string& host) const {
  return std::string(secure_ ? "https://" : "http://") + host + ":" + std::to_string(port_);
}

bool CreateTestPki(const std::filesystem::path& dir, TestPki& pki, std::string& error) {
  pki = {dir / "ca.pem", dir / "server.pem", dir / "server.key"};
  const std::string ec = " -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes";
  const std::string script =
      "cd '" + dir.string() + "' && openssl req -x509" + ec +
      " -days 2 -subj '/CN=Korvex Test CA' -keyout ca.key -out ca.pem"
      " && openssl req" + ec + " -subj /CN=localhost -keyout server.key -out server.csr"
      " && printf 'subjectAltName=DNS:localhost\\nbasicConstraints=critical,CA:FALSE\\n"
      "extendedKeyUsage=serverAuth\\n' > server.ext"
      " && openssl x509 -req -in server.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2"
      " -extfile server.ext -out server.pem > /dev/null 2>&1";
  if (std::system(script.c_str()) == 0) return true;
  error = "openssl could not make the test certificates";
  return false;
}

void Recorder::OnComplete(HRESULT status, const std::string& body,
                          const std::deque<std::string>& cookies, const HttpHeaderMap& headers,
                          void* self) {
  auto* recorder = static_cast<Recorder*>(self);
  std::lock_guard lock(recorder->mutex_);
  recorder->results_.push_back({status, body, cookies, headers, std::this_thread::get_id()});
  recorder->arrived_.notify_all();
}

bool Recorder::WaitFor(std::size_t count, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return results_.size() >= count; });
}

std::size_t Recorder::Count() {
  std::lock_guard lock(mutex_);
  return results_.size();
}

Completed Recorder::Single() {
  EXPECT_TRUE(WaitFor(1)) << "no completion within the time limit";
  std::this_thread::sleep_for(20ms);  // a second call would show up here
  std::lock_guard lock(mutex_);
  EXPECT_EQ(results_.size(), 1u) << "completion must run exactly once";
  return results_.empty() ? Completed{E_FAIL, {}, {}, {}, {}} : results_.front();
}

HangUpServer::HangUpServer() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      ::listen(listener_, 16) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ADD_FAILURE() << "cannot open the hang-up listener";
    return;
  }
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] {
    // Bounded: the destructor sets stop_, and each poll lasts at most 50 ms.
    while (!stop_.load()) {
      pollfd ready{listener_, POLLIN, 0};
      if (::poll(&ready, 1, 50) <= 0) continue;
      const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      pollfd request{client, POLLIN, 0};
      char buffer[4096];
      if (::poll(&request, 1, 2000) > 0) (void)::recv(client, buffer, sizeof buffer, 0);
      ::close(client);
    }
  });
}

HangUpServer::~HangUpServer() {
  stop_.store(true);
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

std::string_view CapturingLogger::FormatLine(std::int32_t level, const char* category,
                                             const char* message) {
  line_ = std::string(LevelName(level)) + "|" + (category ? category : "") + "|" +
          (message ? message : "");
  return line_;
}

void CapturingLogger::WriteLine(std::string_view line) {
  std::lock_guard lock(mutex_);
  lines_.emplace_back(line);
}

std::vector<std::string> CapturingLogger::Lines() {
  std::lock_guard lock(mutex_);
  return lines_;
}

void NetTest::SetUp() {
  std::string pattern = (paths::TempDir() / "korvex-net-test-XXXXXX").string();
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << "cannot create a temporary folder";
  home_ = pattern;
  env_.push_back(std::make_unique<ScopedEnv>("KORVEX_HOME", home_.c_str()));
  for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY",
                           "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY", "KORVEX_WEB_URL"}) {
    env_.push_back(std::make_unique<ScopedEnv>(name, nullptr));
  }
  LogMgr::Get().Reset();
  SetCurrentLanguage(kLanguageEnglish);
}

void NetTest::TearDown() {
  LogMgr::Get().Reset();
  SetCurrentLanguage(kLanguageUnset);
  env_.clear();
  std::error_code ec;
  std::filesystem::remove_all(home_, ec);
}

void NetTest::CaptureLog(std::int32_t threshold) {
  LogMgr::Get().Reset();
  logger_ = new CapturingLogger;
  LogMgr::Get().AddLogger(logger_);
  LogMgr::Get().SetThreshold(threshold);
}

std::vector<std::string> NetTest::LogLines() {
  return logger_ != nullptr ? logger_->Lines() : std::vector<std::string>{};
}

int NetTest::CountLog(std::string_view level, std::string_view text) {
  int count = 0;
  for (const auto& line : LogLines()) {
    count += line.starts_with(level) && line.find(text) != std::string::npos ? 1 : 0;
  }
  return count;
}


}  // namespace korvex::testing
