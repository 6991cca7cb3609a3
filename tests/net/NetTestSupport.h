// Loopback servers, a test PKI and completion recorders for the transport
// tests. Everything listens on 127.0.0.1 with a port the kernel picks.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/LogMgr.h"
#include "foundation/Logger.h"
#include "net/HttpRequestor.h"

namespace korvex::testing {

using namespace std::chrono_literals;

/// An httplib server (plain or TLS) running on its own thread.
class LoopbackServer {
 public:
  LoopbackServer();
  LoopbackServer(const std::filesystem::path& certFile, const std::filesystem::path& keyFile);
  ~LoopbackServer();

  /// Register routes here before Start().
  httplib::Server& Routes() { return *server_; }
  /// Binds 127.0.0.1 and serves; fails the test if it cannot.
  void Start();
  void Stop();
  [[nodiscard]] int Port() const { return port_; }
  [[nodiscard]] std::string Url(const std::string& host = "127.0.0.1") const;

 private:
  void Configure();

  std::unique_ptr<httplib::Server> server_;
  std::atomic<int> listener_{-1};
  std::thread thread_;
  int port_ = -1;
  bool secure_ = false;
};

/// A CA and a server certificate for "localhost" signed by it, as PEM files.
struct TestPki {
  std::filesystem::path caFile;
  std::filesystem::path certFile;
  std::filesystem::path keyFile;
};
/// Writes the three files into `dir`; false (with the reason in `error`) on failure.
bool CreateTestPki(const std::filesystem::path& dir, TestPki& pki, std::string& error);

/// What one completion call delivered.
struct Completed {
  HRESULT status = S_OK;
  std::string body;
  std::deque<std::string> cookies;
  HttpHeaderMap headers;
  std::thread::id thread;
};

/// Collects completions; pass the recorder as the user parameter of
/// Recorder::OnComplete.
class Recorder {
 public:
  static void OnComplete(HRESULT status, const std::string& body,
                         const std::deque<std::string>& cookies, const HttpHeaderMap& headers,
                         void* self);
  /// Waits (bounded) until at least `count` completions arrived.
  bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = 20s);
  [[nodiscard]] std::vector<Completed> Results();
  [[nodiscard]] std::size_t Count();
  /// The one completion; fails the test unless exactly one arrived in time.
  [[nodiscard]] Completed Single();

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Completed> results_;
};

/// Creates the folders above `path` and writes `text`; fails the test if it cannot.
void WriteTextFile(const std::filesystem::path& path, const std::string& text);

/// Opens a gate for blocked server handlers; every wait is bounded.
class Gate {
 public:
  void Open();
  /// True when opened within `timeout`.
  bool Wait(std::chrono::milliseconds timeout = 10s);

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

/// A TCP listener that accepts each connection, reads the request and closes
/// without answering.
class HangUpServer {
 public:
  HangUpServer();
  ~HangUpServer();
  [[nodiscard]] int Port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

/// Keeps "Category|message" lines.
class CapturingLogger : public Logger {
 public:
  CapturingLogger() : Logger(kLogTrace) {}
  std::string_view FormatLine(std::int32_t level, const char* category,
                              const char* message) override;
  void WriteLine(std::string_view line) override;
  std::vector<std::string> Lines();

 private:
  std::string line_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

/// Sets or clears an environment variable for one scope.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

/// Fresh KORVEX_HOME (so registry hives are the test's own), a clean log
/// manager and the language reset, for every test.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  /// Starts capturing log lines at `threshold`.
  void CaptureLog(std::int32_t threshold);
  [[nodiscard]] std::vector<std::string> LogLines();
  [[nodiscard]] const std::filesystem::path& Home() const { return home_; }

 private:
  std::filesystem::path home_;
  std::optional<std::string> previousHome_;
  CapturingLogger* logger_ = nullptr;  // the log manager holds the reference
  std::vector<std::unique_ptr<ScopedEnv>> proxyEnv_;  // a developer's proxy must not interfere
};

}  // namespace korvex::testing
