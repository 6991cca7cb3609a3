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
// One ScopedEnv for every suite: a second class of that name here would be
// an ODR clash with the fixture's own.
#include "support/TempHome.h"

namespace korvex::testing {

using namespace std::chrono_literals;

/// An httplib server (plain or TLS) running on its own thread.
class LoopbackServer {
 public:
  LoopbackServer();
  LoopbackServer(const std::filesystem::path& certFile, const std::filesystem::path& keyFile);
  ~LoopbackServer() { Stop(); }
  /// Register routes before Start().
  httplib::Server& Routes() { return *server_; }
  void Start();
  void Stop();
  [[nodiscard]] std::string Url(const std::string& host = "127.0.0.1") const;

 private:
  std::unique_ptr<httplib::Server> server_;
  std::atomic<int> listener_{-1};
  std::thread thread_;
  int port_ = -1;
  bool secure_ = false;
};

/// A CA and a server certificate for "localhost" signed by it, as PEM files.
struct TestPki {
  std::filesystem::path caFile, certFile, keyFile;
};
/// Writes the files into `dir`; false (with the reason in `error`) on failure.
bool CreateTestPki(const std::filesystem::path& dir, TestPki& pki, std::string& error);

/// What one completion call delivered.
struct Completed {
  HRESULT status = S_OK;
  std::string body;
  std::deque<std::string> cookies;
  HttpHeaderMap headers;
  std::thread::id thread;
};

/// Collects completions; pass the recorder as the user parameter of OnComplete.
class Recorder {
 public:
  static void OnComplete(HRESULT status, const std::string& body,
                         const std::deque<std::string>& cookies, const HttpHeaderMap& headers,
                         void* self);
  /// Waits (bounded) until at least `count` completions arrived.
  bool WaitFor(std::size_t count, std::chrono::milliseconds timeout = 20s);
  [[nodiscard]] std::size_t Count();
  /// The one completion; fails the test unless exactly one arrived in time.
  [[nodiscard]] Completed Single();

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::vector<Completed> results_;
};

/// A TCP listener that reads each request and closes without answering.
class HangUpServer {
 public:
  HangUpServer();
  ~HangUpServer();
  [[nodiscard]] std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  int listener_ = -1;
  int port_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

/// Keeps "LEVEL|Category|message" lines.
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

/// Fresh KORVEX_HOME (so registry hives are the test's own), no proxy from
/// the developer's environment, a clean log manager and English.
class NetTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  /// Starts capturing log lines at `threshold`.
  void CaptureLog(std::int32_t threshold);
  [[nodiscard]] std::vector<std::string> LogLines();
  /// How many captured lines start with `level` and contain `text`.
  [[nodiscard]] int CountLog(std::string_view level, std::string_view text);
  [[nodiscard]] const std::filesystem::path& Home() const { return home_; }

 private:
  std::filesystem::path home_;
  std::vector<std::unique_ptr<ScopedEnv>> env_;
  CapturingLogger* logger_ = nullptr;  // the log manager holds the reference
};

}  // namespace korvex::testing
