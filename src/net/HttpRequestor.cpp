//===- net/HttpRequestor.cpp - Asynchronous HTTP(S) transport ------------===//

#include "net/HttpRequestor.h"

#include <mutex>

#include <curl/curl.h>

#include "foundation/Deployment.h"
#include "foundation/Language.h"
#include "foundation/LogMgr.h"
#include "net/HttpIoLoop.h"
#include "net/HttpTransfer.h"
#include "platform/AsciiText.h"
#include "platform/PercentEncoding.h"

namespace korvex {
namespace {

constexpr const char* kCategory = "HttpRequestor";
// WinHttpCrackUrl kept host names in a buffer of 256 characters.
constexpr std::size_t kMaxHostLength = 255;
constexpr std::uint32_t kErrorInsufficientBuffer = 122;

void EnsureCurlInitialised() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_ALL); });
}

/// Splits "scheme://host[:port][/...]" into its origin; false if it is not
/// an http(s) URL with a host.
bool CrackBaseUrl(std::string_view baseUrl, std::string& origin, bool& secure, HRESULT& error) {
  error = HResultFromWin32(kHttpErrorInvalidUrl);
  CURLU* url = curl_url();
  if (url == nullptr) return false;
  const std::string text(baseUrl);
  bool ok = false;
  char* scheme = nullptr;
  char* host = nullptr;
  char* port = nullptr;
  if (curl_url_set(url, CURLUPART_URL, text.c_str(), 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    const std::string_view s(scheme);
    if ((s == "http" || s == "https") && host[0] != '\0') {
      if (std::string_view(host).size() > kMaxHostLength) {
        error = HResultFromWin32(kErrorInsufficientBuffer);
      } else {
        secure = s == "https";
        origin = std::string(s) + "://" + host + ":" + port;
        ok = true;
      }
    }
  }
  curl_free(scheme);
  curl_free(host);
  curl_free(port);
  curl_url_cleanup(url);
  return ok;
}

/// Percent-encodes what may not appear raw in a request line (blanks,
/// controls, non-ASCII bytes of UTF-8 names, and '#', which would otherwise
/// cut the rest off as a fragment); existing escapes stay as they are.
std::string EscapeRequestPath(std::string_view path) {
  return PercentEncode(path, [](unsigned char byte) {
    const bool unsafe = byte <= 0x20 || byte >= 0x7F || byte == '"' || byte == '<' || byte == '>' ||
                        byte == '\\' || byte == '^' || byte == '`' || byte == '{' || byte == '|' ||
                        byte == '}' || byte == '#';
    return !unsafe;
  });
}

/// A header value must never end the header line early.
std::string WithoutLineBreaks(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (const char c : value) {
    if (c != '\r' && c != '\n') out += c;
  }
  return out;
}

void AppendHeaderBlock(std::string_view block, std::vector<std::string>& lines) {
  while (!block.empty()) {
    const auto end = block.find_first_of("\r\n");
    const std::string_view line = block.substr(0, end);
    if (!line.empty()) lines.emplace_back(line);
    if (end == std::string_view::npos) break;
    block.remove_prefix(end + 1);
  }
}

bool HasHeader(const std::vector<std::string>& lines, std::string_view name) {
  for (const auto& line : lines) {
    if (line.size() > name.size() && line[name.size()] == ':' && StartsWithIgnoringAsciiCase(line, name)) return true;
  }
  return false;
}

}  // namespace

HttpRequestor::HttpRequestor() : proxy_(ProxyConfigHelper::Load()) {}

HttpRequestor::~HttpRequestor() {
  if (loop_ != nullptr) loop_->Shutdown();
  loop_.reset();
  ProxyConfigHelper::Save(Proxy());
}

HRESULT HttpRequestor::Init(std::string_view baseUrl, bool async) {
  if (loop_ != nullptr) {
    LogMgr::Get().Error(kCategory, "Init called twice, Url = %.*s",
                        static_cast<int>(baseUrl.size()), baseUrl.data());
    return E_UNEXPECTED;
  }
  EnsureCurlInitialised();
  HRESULT crackError = S_OK;
  if (!CrackBaseUrl(baseUrl, origin_, secure_, crackError)) {
    LogMgr::Get().Error(kCategory, "WinHttpCrackUrl Failed: WinHttpError = %s, Url = %.*s",
                        "The URL is invalid", static_cast<int>(baseUrl.size()), baseUrl.data());
    return crackError;
  }
  baseUrl_ = std::string(baseUrl);
  async_ = async;

  const TlsSettings tls = tls_.value_or(EffectiveTlsSettings());
  if (secure_ && tls.insecure) {
    LogMgr::Get().Warn(kCategory,
                       "Certificate verification is OFF for %s: anyone on the network can read "
                       "and change this traffic",
                       baseUrl_.c_str());
  }
  const HRESULT started = HttpIoLoop::Start(tls, loop_);
  if (Failed(started)) return started;

  std::string queryUrl = proxyQueryUrl_;
  if (queryUrl.empty()) {
    DeploymentValues deployment;
    queryUrl = Succeeded(LoadDeployment({}, deployment)) ? deployment.webUrl : baseUrl_;
  }
  if (!queryUrl.ends_with('/')) queryUrl += '/';
  ProxySettings resolved;
  const HRESULT proxyStatus = ProxyConfigHelper::QueryActiveUserProxyConfig(queryUrl, resolved);
  if (Succeeded(proxyStatus)) {
    LogMgr::Get().Trace(kCategory, "Host = %s, ProxyType = %u, Proxy = %s, Bypass = %s",
                        baseUrl_.c_str(), resolved.accessType, resolved.proxy.c_str(),
                        resolved.bypass.c_str());
    std::lock_guard lock(mutex_);
    proxy_ = std::move(resolved);
  } else {
    LogMgr::Get().Warn(kCategory, "QueryActiveUserProxyConfig Failed: hr = 0x%08X",
                       static_cast<unsigned>(proxyStatus));
  }
  return S_OK;
}

void HttpRequestor::SetAuthPro(std::string value) {
  std::lock_guard lock(mutex_);
  authPro_ = std::move(value);
}

void HttpRequestor::SetPhpSessionId(std::string value) {
  std::lock_guard lock(mutex_);
  phpSessionId_ = std::move(value);
}

std::string HttpRequestor::AuthPro() const {
  std::lock_guard lock(mutex_);
  return authPro_;
}

std::string HttpRequestor::PhpSessionId() const {
  std::lock_guard lock(mutex_);
  return phpSessionId_;
}

void HttpRequestor::SetUseProxy(bool useProxy) {
  std::lock_guard lock(mutex_);
  useProxy_ = useProxy;
}

bool HttpRequestor::UseProxy() const {
  std::lock_guard lock(mutex_);
  return useProxy_;
}

ProxySettings HttpRequestor::Proxy() const {
  std::lock_guard lock(mutex_);
  return proxy_;
}

void HttpRequestor::SetProxyQueryUrl(std::string url) { proxyQueryUrl_ = std::move(url); }
void HttpRequestor::SetTlsSettings(TlsSettings settings) { tls_ = std::move(settings); }
void HttpRequestor::SetTimeouts(HttpTimeouts timeouts) { timeouts_ = timeouts; }

std::string HttpRequestor::CookieHeader() const {
  // Caller holds mutex_.
  if (authPro_.empty()) return {};
  std::string header = "Cookie: AUTH_PRO=" + WithoutLineBreaks(authPro_);
  if (!phpSessionId_.empty()) header += ";PHPSESSID=" + WithoutLineBreaks(phpSessionId_);
  return header;
}

void HttpRequestor::DropLane(const std::string& key) {
  if (loop_ != nullptr) loop_->DropLane(key);
}

void HttpRequestor::CancelRequests(RequestMatch match) {
  if (loop_ != nullptr && match) loop_->CancelRequests(std::move(match));
}

HRESULT HttpRequestor::SendRequest(std::string_view path, std::string_view verb,
                                   std::string_view extraHeaders, const void* body,
                                   std::size_t length, HttpCompletion completion, void* userParam,
                                   std::uint32_t sizeLimit, const HttpLane& lane,
                                   const HttpBodyPlace& place) {
  if (loop_ == nullptr) {
    LogMgr::Get().Error(kCategory, "SendRequest before Init");
    return E_UNEXPECTED;
  }
  if (verb.empty() || (length > 0 && body == nullptr) || completion == nullptr ||
      (!path.empty() && path.front() != '/')) {
    const std::string_view loggable = LoggableUrl(path);
    LogMgr::Get().Error(kCategory, "SendRequest: invalid arguments, Url = %s%.*s", baseUrl_.c_str(),
                        static_cast<int>(loggable.size()), loggable.data());
    return E_INVALIDARG;
  }

  HttpTransferOptions options;
  options.url = origin_ + (path.empty() ? std::string("/") : EscapeRequestPath(path));
  options.verb = std::string(verb);
  options.timeouts = timeouts_;
  options.tls = &loop_->Tls();
  if (!lane.key.empty() && lane.limit != 0) options.lane = lane;
  options.place = place;
  AppendHeaderBlock(extraHeaders, options.headerLines);
  // libcurl labels every POST body as a form unless told otherwise; raw
  // block and chunk bytes travel without a content type.
  if (!HasHeader(options.headerLines, "Content-Type")) options.headerLines.emplace_back("Content-Type:");
  // libcurl would otherwise announce larger bodies with "Expect: 100-continue"
  // and wait for an interim answer the service never sends.
  options.headerLines.emplace_back("Expect:");
  {
    std::lock_guard lock(mutex_);
    std::string cookie = CookieHeader();
    if (cookie.empty()) {
      LogMgr::Get().Trace(kCategory, "No Cookie: %s %s%.*s", options.verb.c_str(),
                          baseUrl_.c_str(), static_cast<int>(path.size()), path.data());
    } else {
      options.headerLines.push_back(std::move(cookie));
    }
    if (useProxy_ && proxy_.accessType != kProxyAccessNoProxy) {
      options.proxy = ProxyConfigHelper::CurlProxyFor(proxy_, secure_ ? "https" : "http");
      options.noProxy = ProxyConfigHelper::CurlNoProxyList(proxy_.bypass);
    }
  }
  if (CurrentLanguage() == kLanguageChinese) options.headerLines.emplace_back("Accept-Language:zh");

  auto transfer = std::make_unique<HttpTransfer>(completion, userParam, sizeLimit);
  if (const HRESULT prepared = transfer->Prepare(options, body, length); Failed(prepared)) {
    LogMgr::Get().Error(kCategory, "WinHttpOpenRequest Failed: WinHttpError = %s, Host =%s, Url = %s",
                        "out of memory", origin_.c_str(), std::string(LoggableUrl(options.url)).c_str());
    return prepared;
  }

  // A synchronous sender waits for its completion, except on the I/O thread
  // itself, which would wait for itself.
  HttpSyncWaiter waiter;
  const bool wait = !async_ && !loop_->OnIoThread();
  if (wait) transfer->waiter = &waiter;
  if (const HRESULT submitted = loop_->Submit(transfer); Failed(submitted)) {
    LogMgr::Get().Error(kCategory,
                        "WinHttpSendRequest Failed: WinHttpError = %s, Host = %s, Url = %s",
                        "the requestor is shutting down", origin_.c_str(),
                        std::string(LoggableUrl(options.url)).c_str());
    return submitted;
  }
  if (wait) {
    std::unique_lock lock(waiter.mutex);
    waiter.done.wait(lock, [&waiter] { return waiter.finished; });
  }
  return S_OK;
}

}  // namespace korvex
