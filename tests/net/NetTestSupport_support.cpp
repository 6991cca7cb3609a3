#include "NetTestSupport.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <openssl/ec.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

#include <cstdio>
#include <fstream>
#include <cstdlib>

#include "foundation/Language.h"
#include "platform/Paths.h"

namespace korvex::testing {

// --- LoopbackServer --------------------------------------------------------

LoopbackServer::LoopbackServer() : server_(std::make_unique<httplib::Server>()) { Configure(); }

LoopbackServer::LoopbackServer(const std::filesystem::path& certFile,
                               const std::filesystem::path& keyFile)
    : server_(std::make_unique<httplib::SSLServer>(certFile.c_str(), keyFile.c_str())),
      secure_(true) {
  Configure();
}

void LoopbackServer::Configure() {
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
}

LoopbackServer::~LoopbackServer() { Stop(); }

void LoopbackServer::Start() {
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

// --- TestPki ---------------------------------------------------------------

namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, KeyFree>;
using CertPtr = std::unique_ptr<X509, CertFree>;

bool AddExtension(X509* cert, X509* issuer, int nid, const char* value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value);
  if (ext == nullptr) return false;
  const bool ok = X509_add_ext(cert, ext, -1) == 1;
  X509_EXTENSION_free(ext);
  return ok;
}

CertPtr MakeCert(EVP_PKEY* key, const char* commonName, X509* issuer, EVP_PKEY* issuerKey,
                 long serial, bool isCa) {
  CertPtr cert(X509_new());
  X509* x = cert.get();
  X509_set_version(x, 2);
  ASN1_INTEGER_set(X509_get_serialNumber(x), serial);
  X509_gmtime_adj(X509_getm_notBefore(x), -3600);
  X509_gmtime_adj(X509_getm_notAfter(x), 2L * 24 * 3600);
  X509_set_pubkey(x, key);
  X509_NAME* name = X509_get_subject_name(x);
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
  X509* signer = issuer != nullptr ? issuer : x;
  X509_set_issuer_name(x, X509_get_subject_name(signer));
  bool ok = true;
  if (isCa) {
    ok = AddExtension(x, signer, NID_basic_constraints, "critical,CA:TRUE") &&
         AddExtension(x, signer, NID_key_usage, "critical,keyCertSign,cRLSign") &&
         AddExtension(x, signer, NID_subject_key_identifier, "hash");
  } else {
    ok = AddExtension(x, signer, NID_basic_constraints, "critical,CA:FALSE") &&
         AddExtension(x, signer, NID_ext_key_usage, "serverAuth") &&
         AddExtension(x, signer, NID_subject_alt_name, "DNS:localhost") &&
         AddExtension(x, signer, NID_authority_key_identifier, "keyid");
  }
  if (!ok || X509_sign(x, issuerKey, EVP_sha256()) == 0) return nullptr;
  return cert;
}

bool WritePem(const std::filesystem::path& path, X509* cert, EVP_PKEY* key) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return false;
  const bool ok = cert != nullptr ? PEM_write_X509(file, cert) == 1
                                  : PEM_write_PrivateKey(file, key, nullptr, nullptr, 0,
                                                         nullptr, nullptr) == 1;
  return std::fclose(file) == 0 && ok;
}

}  // namespace

bool CreateTestPki(const std::filesystem::path& dir, TestPki& pki, std::string& error) {
  KeyPtr caKey(EVP_EC_gen("P-256"));
  KeyPtr serverKey(EVP_EC_gen("P-256"));
  if (!caKey || !serverKey) {
    error = "key generation failed";
    return false;
  }
  CertPtr ca = MakeCert(caKey.get(), "Korvex Test CA", nullptr, caKey.get(), 1, true);
  CertPtr server = ca ? MakeCert(serverKey.get(), "localhost", ca.get(), caKey.get(), 2, false)
                      : nullptr;
  if (!ca || !server) {
    error = "certificate creation failed";
    return false;
  }
  pki.caFile = dir / "ca.pem";
  pki.certFile = dir / "server.pem";
  pki.keyFile = dir / "server.key";
  if (!WritePem(pki.caFile, ca.get(), nullptr) || !WritePem(pki.certFile, server.get(), nullptr) ||
      !WritePem(pki.keyFile, nullptr, serverKey.get())) {
    error = "cannot write PEM files";
    return false;
  }
  return true;
}

// --- Recorder and Gate -----------------------------------------------------

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

std::vector<Completed> Recorder::Results() {
  std::lock_guard lock(mutex_);
  return results_;
}

std::size_t Recorder::Count() {
  std::lock_guard lock(mutex_);
  return results_.size();
}

Completed Recorder::Single() {
  EXPECT_TRUE(WaitFor(1)) << "no completion within the time limit";
  std::this_thread::sleep_for(20ms);  // a second call would show up here
  const auto results = Results();
  EXPECT_EQ(results.size(), 1u) << "completion must run exactly once";
  return results.empty() ? Completed{E_FAIL, {}, {}, {}, {}} : results.front();
}

void Gate::Open() {
  std::lock_guard lock(mutex_);
  open_ = true;
  opened_.notify_all();
}

bool Gate::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return opened_.wait_for(lock, timeout, [this] { return open_; });
}

void WriteTextFile(const std::filesystem::path& path, const std::string& text) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  ASSERT_TRUE(out.good()) << "cannot write " << path;
}

// --- HangUpServer ----------------------------------------------------------

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

// --- Logging and fixture ---------------------------------------------------

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
  if (const char* old = std::getenv("KORVEX_HOME")) previousHome_ = old;
  ::setenv("KORVEX_HOME", home_.c_str(), 1);
  for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "no_proxy", "HTTP_PROXY",
                           "HTTPS_PROXY", "ALL_PROXY", "NO_PROXY", "KORVEX_WEB_URL"}) {
    proxyEnv_.push_back(std::make_unique<ScopedEnv>(name, nullptr));
  }
  LogMgr::Get().Reset();
  SetCurrentLanguage(kLanguageEnglish);
}

void NetTest::TearDown() {
  LogMgr::Get().Reset();
  SetCurrentLanguage(kLanguageUnset);
  proxyEnv_.clear();
  if (previousHome_) ::setenv("KORVEX_HOME", previousHome_->c_str(), 1);
  else ::unsetenv("KORVEX_HOME");
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

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) previous_ = old;
  if (value != nullptr) ::setenv(name, value, 1);
  else ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
  if (previous_) ::setenv(name_.c_str(), previous_->c_str(), 1);
  else ::unsetenv(name_.c_str());
}

}  // namespace korvex::testing
