//===- net/HttpTransfer.h - One request and its answer ----------*- C++ -*-===//
///
/// The context of one request: its libcurl easy handle, a copy of the
/// request body, and everything the answer delivered so far. Prepared on the
/// sending thread, then owned by the I/O loop until it completes; libcurl
/// calls back into it only on the I/O thread.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include <curl/curl.h>

#include "net/HttpRequestor.h"

namespace korvex {

class HttpTransfer;

/// Lets a synchronous sender wait until its completion has run.
struct HttpSyncWaiter {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
};

/// What one request needs from its requestor; fixed when it is sent.
struct HttpTransferOptions {
  std::string url;
  std::string verb;
  std::vector<std::string> headerLines;  // complete "Name: value" lines
  std::string proxy;                      // "" = direct
  std::string noProxy;
  const TlsSettings* tls = nullptr;      // owned by the I/O loop, outlives the transfer
  HttpTimeouts timeouts;
  HttpLane lane;
  HttpBodyPlace place;
};

class HttpTransfer {
 public:
  HttpTransfer(HttpCompletion completion, void* userParam, std::uint32_t sizeLimit);
  ~HttpTransfer();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  /// Creates and configures the easy handle; copies `length` bytes of
  /// `body` unless the options' place holds it.
  [[nodiscard]] HRESULT Prepare(const HttpTransferOptions& options, const void* body,
                                std::size_t length);

  [[nodiscard]] CURL* Easy() const { return easy_; }
  [[nodiscard]] const HttpLane& Lane() const { return lane_; }
  /// What the sender handed over with the request; it names the request.
  [[nodiscard]] void* UserParam() const { return userParam_; }

  /// The status for libcurl's final result `result` (a CURLcode); logs
  /// failures. Drops the body of a failed answer.
  [[nodiscard]] HRESULT Conclude(int result);

  /// Calls the completion exactly once with `status`, then wakes a
  /// synchronous sender.
  void Complete(HRESULT status);

  HttpSyncWaiter* waiter = nullptr;

 private:
  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self);
  /// OnBody for an answer that goes to the caller's memory.
  std::size_t PlaceBody(const char* data, std::size_t bytes);
  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
  /// False when the answer now being read redirects the request with its
  /// body to another origin (see the .cpp).
  [[nodiscard]] bool KeepsBodyAt(std::string_view location) const;
  [[nodiscard]] long ResponseCode() const;
  void ReserveBody(std::size_t bytes);
  void SetTlsOptions(const TlsSettings& tls);
  void SetVerbOptions(const std::string& verb);
  void LogHttpFailure(long code) const;
  void LogTransportFailure(int result, std::uint32_t number) const;

  CURL* easy_ = nullptr;
  curl_slist* headerList_ = nullptr;
  HttpCompletion completion_;
  void* userParam_;
  std::uint32_t sizeLimit_;
  bool completed_ = false;

  std::string url_;
  std::string verb_;
  HttpLane lane_;
  std::string requestBody_;
  /// The body sent: requestBody_, or the caller's memory that place_ holds.
  const char* bodyData_ = nullptr;
  std::size_t bodyLength_ = 0;
  HttpBodyPlace place_;

  std::string responseBody_;
  std::deque<std::string> setCookies_;
  HttpHeaderMap streamHeaders_;
  std::string rawHeaders_;  // header block of the latest response, for failure logs
  long long contentLength_ = -1;
  bool statusChecked_ = false;
  bool limitReached_ = false;
  /// A redirect that would have carried the request body elsewhere.
  bool redirectRefused_ = false;
  long refusedStatus_ = 0;  // a non-success HTTP status whose body was not read
  char errorText_[CURL_ERROR_SIZE] = {};
};

/// `url` cut before anything that may carry a session value or a token: the
/// query, and a path segment holding "name=value" (upload paths carry
/// "a=...&t=..." as their last segment). For log lines above Trace.
[[nodiscard]] std::string_view LoggableUrl(std::string_view url);

/// True for the HTTP statuses that count as success.
[[nodiscard]] constexpr bool IsHttpSuccess(long code) noexcept {
  return code == 200 || code == 201 || code == 202 || code == 203 || code == 206;
}

}  // namespace korvex
