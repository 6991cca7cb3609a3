//===- net/HttpRequestor.h - Asynchronous HTTP(S) transport -----*- C++ -*-===//
///
/// The client's only HTTP transport. One requestor stands for one server (a
/// base URL) and sends any number of independent requests to paths on it.
/// Each request is fire-and-forget for the caller: SendRequest returns at
/// once and the completion function runs later, exactly once, on the
/// requestor's own I/O thread, with the final status, the whole body, every
/// Set-Cookie value the server sent (redirects included) and the stream
/// headers of the final response.
///
/// Up to 32 requests run at once, each on its own keep-alive connection;
/// further requests wait for a free connection of the same requestor.
///
/// Session cookies are not kept by the transport: the owner stores
/// "AUTH_PRO" and "PHPSESSID" here after login and reads new values from the
/// Set-Cookie list of each completion.
///
/// Shutdown: destroying a requestor cancels the requests still under way.
/// Each of them completes with the cancelled status (0x804F2EF1) on the I/O
/// thread before the destructor returns, so no completion ever runs after
/// the requestor is gone and none is lost. The destructor may also run
/// inside a completion of its own requestor.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

#include "net/ProxyConfigHelper.h"
#include "net/TlsSettings.h"
#include "platform/HResult.h"

namespace korvex {

/// Response headers by lower-case name.
using HttpHeaderMap = std::map<std::string, std::string>;

/// Called once per accepted request on the requestor's I/O thread. The
/// references are valid only during the call. Every other request of the
/// requestor waits while it runs, so it should hand its result on and
/// return; it may call SendRequest (on any requestor) and may destroy its own
/// requestor, but must not wait for another completion of that requestor.
using HttpCompletion = void (*)(HRESULT status, const std::string& body,
                                const std::deque<std::string>& setCookies,
                                const HttpHeaderMap& headers, void* userParam);

/// Transport failure numbers, reported as 0x804F0000 | number so that the
/// status-message table can name them.
inline constexpr std::uint32_t kHttpErrorTimeout = 12002;
inline constexpr std::uint32_t kHttpErrorInternal = 12004;
inline constexpr std::uint32_t kHttpErrorInvalidUrl = 12005;
inline constexpr std::uint32_t kHttpErrorNameNotResolved = 12007;
inline constexpr std::uint32_t kHttpErrorCancelled = 12017;
inline constexpr std::uint32_t kHttpErrorCannotConnect = 12029;
inline constexpr std::uint32_t kHttpErrorConnectionReset = 12030;
inline constexpr std::uint32_t kHttpErrorSecureFailure = 12175;
/// ERROR_WINHTTP_REDIRECT_FAILED: a redirect that would have sent the
/// request's body to another origin.
inline constexpr std::uint32_t kHttpErrorRedirectRefused = 12156;

/// The four stream headers copied into the header map when present.
inline constexpr const char* kStreamHeaderNames[] = {
    "x-korvexws-idt-stream-id",
    "x-korvexws-idt-chunk-sequence-next",
    "x-korvexws-idt-chunk-range",
    "x-korvexws-idt-status",
};

inline constexpr const char* kHttpUserAgent = "KorvexdDataVIP Http Agent 1.0";

struct HttpTimeouts {
  /// Name resolution and connection set-up together.
  std::int64_t connectMs = 10'000;
  /// A transfer that moves no byte for this long fails with the time-out
  /// status.
  std::int64_t stallSeconds = 300;
};

/// Requests that share a lane go on the wire at most `limit` at a time, in
/// the order they were sent; the others wait in the transport, which starts
/// the next one itself as soon as one ends, so that a caller may hand over a
/// whole series at once and still keep its in-flight bound. An empty key (or
/// a limit of 0) is no lane.
struct HttpLane {
  std::string key;
  std::uint32_t limit = 0;
};

/// Bulk bodies used where they lie instead of copied: the chunks of a
/// stream, whose caller owns one buffer for many requests.
struct HttpBodyPlace {
  /// When set, the request body is sent from where it is, and this keeps
  /// it alive until the request has ended.
  std::shared_ptr<const void> sendOwner;
  /// When set, the answer's body goes here instead of into the completion's
  /// `body` (which is then empty): at most `receiveCapacity` bytes, counted
  /// in `*received`, after which reading stops as at `sizeLimit`. Both must
  /// stay valid until the completion has run.
  std::uint8_t* receiveInto = nullptr;
  std::size_t receiveCapacity = 0;
  std::size_t* received = nullptr;
};

class HttpIoLoop;

class HttpRequestor {
 public:
  /// Loads the proxy settings saved by the last requestor.
  HttpRequestor();
  /// Cancels what is still under way (see the file comment), then saves the
  /// proxy settings in effect.
  ~HttpRequestor();
  HttpRequestor(const HttpRequestor&) = delete;
  HttpRequestor& operator=(const HttpRequestor&) = delete;

  /// Takes the server's base URL ("http[s]://host[:port]", any path is
  /// ignored), resolves the user's proxy configuration and starts the I/O
  /// thread. With `async` false every SendRequest returns only after its
  /// completion has run (except when sent from inside a completion of the
  /// same requestor, which cannot wait for itself). Call once; E_UNEXPECTED on a second call, the
  /// invalid-URL platform status for a URL that is not http(s) with a host.
  [[nodiscard]] HRESULT Init(std::string_view baseUrl, bool async = true);

  /// Session cookie values sent with every later request. Any thread.
  void SetAuthPro(std::string value);
  void SetPhpSessionId(std::string value);
  [[nodiscard]] std::string AuthPro() const;
  [[nodiscard]] std::string PhpSessionId() const;

  /// Whether requests go through the configured proxy (true by default).
  void SetUseProxy(bool useProxy);
  [[nodiscard]] bool UseProxy() const;
  /// The proxy settings in effect.
  [[nodiscard]] ProxySettings Proxy() const;
  /// The address resolved against the user's proxy configuration during
  /// Init; by default the deployment's web-site URL (the base URL when the
  /// deployment values are unusable). Before Init.
  void SetProxyQueryUrl(std::string url);

  /// Certificate policy for this requestor instead of EffectiveTlsSettings().
  /// Before Init.
  void SetTlsSettings(TlsSettings settings);
  /// Before Init.
  void SetTimeouts(HttpTimeouts timeouts);

  /// Sends `verb` (normally "GET" or "POST") for `path` (starting with "/",
  /// query included) with `extraHeaders` ("Name: value" lines separated by
  /// CR LF, may be empty) and a copy of the `length` bytes at `body`.
  /// `sizeLimit` (0 = none) stops reading once the body has reached it; the
  /// request then completes with 0 and the body read so far.
  /// Returns 0 when the request is under way: `completion` will then be
  /// called exactly once. Any other status means nothing was sent and
  /// `completion` will not be called. Safe from any thread, also from inside
  /// a completion. `lane` paces the request with others (see HttpLane);
  /// `place` lets the bodies stay where they are (see HttpBodyPlace).
  [[nodiscard]] HRESULT SendRequest(std::string_view path, std::string_view verb,
                                    std::string_view extraHeaders, const void* body,
                                    std::size_t length, HttpCompletion completion,
                                    void* userParam, std::uint32_t sizeLimit,
                                    const HttpLane& lane = {}, const HttpBodyPlace& place = {});

  /// Requests of lane `key` that wait for their turn are not sent: each
  /// completes with the cancelled status (see HttpIoLoop::DropLane). For a
  /// series given up, such as the chunks of a stream that is closed early.
  void DropLane(const std::string& key);

  /// Picks requests by the user parameter they were sent with.
  using RequestMatch = std::function<bool(void* userParam)>;
  /// Gives up the requests `match` picks, wherever they are: waiting for a
  /// connection or their lane, or on the wire, whose connection is then
  /// closed so that the server stops working for nobody. Each completes with
  /// the cancelled status (0x804F2EF1) on the I/O thread, once, as any
  /// request does; an answer that arrived before the cancel took effect
  /// completes as usual. Returns at once; `match` runs on the I/O thread,
  /// only with the user parameters of requests whose completion has not run,
  /// and is freed there. Safe from any thread, also from inside a completion.
  void CancelRequests(RequestMatch match);

  [[nodiscard]] const std::string& BaseUrl() const { return baseUrl_; }
  [[nodiscard]] bool IsSecure() const { return secure_; }

 private:
  [[nodiscard]] std::string CookieHeader() const;

  // Written once by Init before the I/O thread exists.
  std::string baseUrl_;
  std::string origin_;  // "scheme://host:port", the prefix of every request URL
  bool secure_ = false;
  bool async_ = true;
  std::string proxyQueryUrl_;
  std::optional<TlsSettings> tls_;
  HttpTimeouts timeouts_;

  mutable std::mutex mutex_;  // guards the values below
  std::string authPro_;
  std::string phpSessionId_;
  ProxySettings proxy_;
  bool useProxy_ = true;

  std::shared_ptr<HttpIoLoop> loop_;  // shared with its thread, which may outlive us
};

}  // namespace korvex
