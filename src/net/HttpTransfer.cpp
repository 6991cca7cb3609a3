//===- net/HttpTransfer.cpp - One request and its answer -----------------===//

#include "net/HttpTransfer.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstring>
#include <exception>
#include <atomic>
#include <mutex>
#include <vector>

#include <sys/mman.h>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include "foundation/LogMgr.h"
#include "net/HttpErrorTable.h"

namespace korvex {
namespace {

constexpr const char* kCategory = "HttpRequestor";
// libcurl allocates this buffer afresh for every request. Below malloc's
// 64 KiB consolidation threshold its free stays cheap, and a 32 KiB chunk's
// answer still arrives in one read.
constexpr long kReceiveBufferBytes = 48 * 1024;
// A server's Content-Length is only a hint for the first allocation.
constexpr long long kMaxReserveBytes = 1LL << 30;
constexpr std::uintptr_t kHugePage = 2u << 20;
constexpr std::size_t kHugePageBodyBytes = 8u << 20;

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' ' ||
                           text.back() == '\t')) {
    text.remove_suffix(1);
  }
  return text;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

bool IsStreamHeader(std::string_view lowerName) {
  for (const char* name : kStreamHeaderNames) {
    if (lowerName == name) return true;
  }
  return false;
}

// Adds the deployment's extra CA to the store libcurl has already filled from
// the system trust store, so a private CA widens trust instead of replacing it.
CURLcode AddTrustedCa(CURL*, void* sslContext, void* caFile) {
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
  const auto* path = static_cast<const std::string*>(caFile);
  if (store == nullptr || X509_STORE_load_file(store, path->c_str()) != 1) {
    ERR_clear_error();
    LogMgr::Get().Error(kCategory, "Cannot load the trusted CA file %s", path->c_str());
    return CURLE_SSL_CACERT_BADFILE;
  }
  return CURLE_OK;
}

// Easy handles outlive their requests: a new one allocates its state and
// receive buffer afresh, and a bulk transfer makes thousands of requests.
// A reset handle keeps none of the options of its last request; the
// connections themselves belong to the I/O loop's multi handle.
class EasyHandlePool {
 public:
  static CURL* Take() {
    if (!closed_.load()) {
      EasyHandlePool& pool = Instance();
      std::lock_guard lock(pool.mutex_);
      if (!pool.idle_.empty()) {
        CURL* easy = pool.idle_.back();
        pool.idle_.pop_back();
        return easy;
      }
    }
    return curl_easy_init();
  }
  static void Give(CURL* easy) {
    if (!closed_.load()) {
      curl_easy_reset(easy);
      EasyHandlePool& pool = Instance();
      std::lock_guard lock(pool.mutex_);
      if (pool.idle_.size() < kMaxIdle) {
        pool.idle_.push_back(easy);
        return;
      }
    }
    curl_easy_cleanup(easy);
  }
  // The idle handles go with the pool: this code also runs inside the
  // network-check module, which is unloaded and loaded again, and handles
  // left behind by an unloaded copy could never be freed.
  ~EasyHandlePool() {
    closed_.store(true);
    std::lock_guard lock(mutex_);
    for (CURL* easy : idle_) curl_easy_cleanup(easy);
    idle_.clear();
  }

 private:
  static EasyHandlePool& Instance() {
    static EasyHandlePool pool;
    return pool;
  }
  // Above the requests a busy process has in flight at once.
  static constexpr std::size_t kMaxIdle = 64;
  // Requests that end during static destruction, after the pool is gone,
  // create and free their handles as before pooling.
  static inline std::atomic<bool> closed_{false};
  std::mutex mutex_;
  std::vector<CURL*> idle_;
};

std::uint32_t ContextId(const void* context) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(context));
}

}  // namespace

std::string_view LoggableUrl(std::string_view url) {
  url = url.substr(0, url.find('?'));
  const auto scheme = url.find("://");
  const auto pathStart = url.find('/', scheme == std::string_view::npos ? 0 : scheme + 3);
  if (pathStart == std::string_view::npos) return url;
  const auto assignment = url.find('=', pathStart);
  if (assignment == std::string_view::npos) return url;
  return url.substr(0, url.rfind('/', assignment) + 1);
}

HttpTransfer::HttpTransfer(HttpCompletion completion, void* userParam, std::uint32_t sizeLimit)
    : completion_(completion), userParam_(userParam), sizeLimit_(sizeLimit) {}

HttpTransfer::~HttpTransfer() {
  if (easy_ != nullptr) EasyHandlePool::Give(easy_);
  curl_slist_free_all(headerList_);
}

HRESULT HttpTransfer::Prepare(const HttpTransferOptions& options, const void* body,
                              std::size_t length) {
  easy_ = EasyHandlePool::Take();
  if (easy_ == nullptr) return E_OUTOFMEMORY;
  url_ = options.url;
  verb_ = options.verb;
  lane_ = options.lane;
  place_ = options.place;
  if (length > 0 && place_.sendOwner) {
    bodyData_ = static_cast<const char*>(body);
  } else if (length > 0) {
    requestBody_.assign(static_cast<const char*>(body), length);
    bodyData_ = requestBody_.data();
  }
  bodyLength_ = length;
  if (place_.received != nullptr) *place_.received = 0;
  for (const auto& line : options.headerLines) {
    curl_slist* grown = curl_slist_append(headerList_, line.c_str());
    if (grown == nullptr) return E_OUTOFMEMORY;
    headerList_ = grown;
  }

  CURL* e = easy_;
  curl_easy_setopt(e, CURLOPT_PRIVATE, this);
  curl_easy_setopt(e, CURLOPT_URL, url_.c_str());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  // A redirect from https to http would re-send the request (a login form
  // carries the password) in clear text, so a secure request follows https
  // only.
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, url_.starts_with("https:") ? "https" : "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 10L);
  // The service and its emulator speak HTTP/1.1; keep-alive gives the reuse.
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_USERAGENT, kHttpUserAgent);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(options.timeouts.connectMs));
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(e, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options.timeouts.stallSeconds));
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorText_);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &HttpTransfer::OnBody);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &HttpTransfer::OnHeader);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headerList_);
  curl_easy_setopt(e, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  // Both set even when empty, so that libcurl never falls back to the
  // environment on its own: the proxy is this requestor's decision.
  curl_easy_setopt(e, CURLOPT_PROXY, options.proxy.c_str());
  curl_easy_setopt(e, CURLOPT_NOPROXY, options.noProxy.c_str());
  if (options.tls != nullptr) SetTlsOptions(*options.tls);
  SetVerbOptions(verb_);
  return S_OK;
}

void HttpTransfer::SetTlsOptions(const TlsSettings& tls) {
  if (tls.insecure) {
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 0L);
    return;
  }
  curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy_, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!tls.caFile.empty()) {
    curl_easy_setopt(easy_, CURLOPT_SSL_CTX_FUNCTION, &AddTrustedCa);
    curl_easy_setopt(easy_, CURLOPT_SSL_CTX_DATA, const_cast<std::string*>(&tls.caFile));
  }
}

void HttpTransfer::SetVerbOptions(const std::string& verb) {
  if (verb == "GET" && bodyLength_ == 0) {
    curl_easy_setopt(easy_, CURLOPT_HTTPGET, 1L);
    return;
  }
  if (verb == "HEAD") {
    curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
    return;
  }
  if (verb != "POST") curl_easy_setopt(easy_, CURLOPT_CUSTOMREQUEST, verb.c_str());
  if (verb == "POST" || bodyLength_ != 0) {
    // POSTFIELDS does not copy: the body lives in this transfer or is held
    // by it.
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(bodyLength_));
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, bodyData_ != nullptr ? bodyData_ : "");
  }
}

long HttpTransfer::ResponseCode() const {
  long code = 0;
  curl_easy_getinfo(easy_, CURLINFO_RESPONSE_CODE, &code);
  return code;
}

std::size_t HttpTransfer::OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto* t = static_cast<HttpTransfer*>(self);
  const std::size_t bytes = size * count;
  if (!t->statusChecked_) {
    t->statusChecked_ = true;
    const long code = t->ResponseCode();
    if (!IsHttpSuccess(code)) {
      // The body of a refused request is never read; stopping here is what
      // keeps a large error page from being downloaded.
      t->refusedStatus_ = code;
      return 0;
    }
  }
  if (t->place_.receiveInto != nullptr) return t->PlaceBody(data, bytes);
  try {
    t->responseBody_.append(data, bytes);
  } catch (const std::bad_alloc&) {
    return 0;  // ends the transfer with a write error instead of unwinding through libcurl
  }
  if (t->sizeLimit_ != 0 && t->responseBody_.size() >= t->sizeLimit_) {
    t->limitReached_ = true;
    // Cutting a transfer closes its connection; a body that ends here (a
    // block read of exactly the asked size) completes instead, so that the
    // next request reuses the connection.
    const bool bodyEnds = t->contentLength_ >= 0 &&
                          t->responseBody_.size() >= static_cast<unsigned long long>(t->contentLength_);
    return bodyEnds ? bytes : 0;
  }
  return bytes;
}

std::size_t HttpTransfer::PlaceBody(const char* data, std::size_t bytes) {
  std::size_t& received = *place_.received;
  const std::size_t taken = std::min(bytes, place_.receiveCapacity - received);
  std::memcpy(place_.receiveInto + received, data, taken);
  received += taken;
  if (received < place_.receiveCapacity) return bytes;
  limitReached_ = true;
  // As with sizeLimit: a body that ends here keeps its connection.
  const bool bodyEnds = contentLength_ >= 0 && received >= static_cast<unsigned long long>(contentLength_);
  return bodyEnds || taken == bytes ? bytes : 0;
}

std::size_t HttpTransfer::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
  auto* t = static_cast<HttpTransfer*>(self);
  const std::size_t bytes = size * count;
  const std::string_view line(data, bytes);
  try {
    if (line.starts_with("HTTP/")) {
      // A new response of the redirect chain: only Set-Cookie accumulates.
      t->streamHeaders_.clear();
      t->rawHeaders_.clear();
      t->contentLength_ = -1;
    } else if (Trim(line).empty()) {
      const long code = t->ResponseCode();
      if (IsHttpSuccess(code) && t->contentLength_ > 0 && t->place_.receiveInto == nullptr) {
        long long wanted = std::min(t->contentLength_, kMaxReserveBytes);
        if (t->sizeLimit_ != 0) wanted = std::min<long long>(wanted, t->sizeLimit_ + kReceiveBufferBytes);
        t->ReserveBody(static_cast<std::size_t>(wanted));
      }
    } else if (const auto colon = line.find(':'); colon != std::string_view::npos) {
      const std::string name = Lower(Trim(line.substr(0, colon)));
      const std::string_view value = Trim(line.substr(colon + 1));
      if (name == "set-cookie") {
        t->setCookies_.emplace_back(value);
        // Cookie values are secrets: failure logs show only that one came.
        t->rawHeaders_ += "Set-Cookie: (hidden)\r\n";
        return bytes;
      }
      if (IsStreamHeader(name)) t->streamHeaders_[name] = std::string(value);
      if (name == "location" && !t->KeepsBodyAt(value)) {
        t->redirectRefused_ = true;
        return 0;
      }
      if (name == "content-length") {
        long long parsed = -1;
        std::from_chars(value.data(), value.data() + value.size(), parsed);
        t->contentLength_ = parsed;
      }
    }
    t->rawHeaders_.append(line);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return bytes;
}

void HttpTransfer::ReserveBody(std::size_t bytes) {
  try {
    responseBody_.reserve(bytes);
  } catch (const std::bad_alloc&) {
    return;  // only a hint: the body still grows as it arrives
  }
  if (bytes < kHugePageBodyBytes) return;
  // A large body lands in freshly mapped memory; on 4 KiB pages the page
  // faults alone cost more than receiving it. Transparent huge pages (where
  // the system offers them on request) cut the faults 512-fold.
  const auto begin = reinterpret_cast<std::uintptr_t>(responseBody_.data());
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + responseBody_.capacity()) & ~(kHugePage - 1);
  if (last > first) {
    (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  }
}

bool HttpTransfer::KeepsBodyAt(std::string_view location) const {
  // 307 and 308 send the body (a login form carries the password) again to
  // the new address: only to the same origin, hence never to another host
  // and never from https to http. Other redirects drop the body.
  const long code = ResponseCode();
  if (bodyLength_ == 0 || (code != 307 && code != 308)) return true;
  if (location.starts_with("/") && !location.starts_with("//")) return true;
  const auto origin = [](std::string_view url) {
    const std::size_t scheme = url.find("://");
    const std::size_t end = scheme == std::string_view::npos ? 0 : url.find('/', scheme + 3);
    return Lower(url.substr(0, end == std::string_view::npos ? url.size() : end));
  };
  return origin(location) == origin(url_) && !origin(location).empty();
}

HRESULT HttpTransfer::Conclude(int result) {
  if (limitReached_) return S_OK;
  if (redirectRefused_) {
    LogMgr::Get().Error(kCategory, "Context = 0x%08X, a redirect to another address was not followed: %s",
                        ContextId(this), rawHeaders_.c_str());
    return HResultFromHttp(kHttpErrorRedirectRefused);
  }
  long code = refusedStatus_;
  if (code == 0 && result == CURLE_OK) {
    code = ResponseCode();
    if (IsHttpSuccess(code)) return S_OK;
  }
  if (code != 0) {
    LogHttpFailure(code);
    responseBody_.clear();
    return HResultFromHttp(static_cast<std::uint32_t>(code));
  }
  const std::uint32_t number = HttpErrorFromCurl(result);
  LogTransportFailure(result, number);
  return HResultFromHttp(number);
}

void HttpTransfer::LogHttpFailure(long code) const {
  LogMgr::Get().Error(kCategory,
                      "Http Response Error: Context = 0x%08X, Http Status Code = %ld, "
                      "Http Header = %s",
                      ContextId(this), code, rawHeaders_.c_str());
}

void HttpTransfer::LogTransportFailure(int result, std::uint32_t number) const {
  const char* text = errorText_[0] != '\0' ? errorText_
                                           : curl_easy_strerror(static_cast<CURLcode>(result));
  const std::string_view url = LoggableUrl(url_);
  LogMgr::Get().Error(kCategory,
                      "Context = 0x%08X, WINHTTP_CALLBACK_STATUS_REQUEST_ERROR, "
                      "WinHttpError = %s, %u, %d (%s %.*s)",
                      ContextId(this), text, number, result, verb_.c_str(),
                      static_cast<int>(url.size()), url.data());
}

void HttpTransfer::Complete(HRESULT status) {
  if (completed_) return;
  completed_ = true;
  if (completion_ != nullptr) {
    try {
      completion_(status, responseBody_, setCookies_, streamHeaders_, userParam_);
    } catch (const std::exception& error) {
      LogMgr::Get().Error(kCategory, "Completion of Context = 0x%08X threw: %s",
                          ContextId(this), error.what());
    } catch (...) {
      LogMgr::Get().Error(kCategory, "Completion of Context = 0x%08X threw", ContextId(this));
    }
  }
  if (waiter != nullptr) {
    std::lock_guard lock(waiter->mutex);
    waiter->finished = true;
    waiter->done.notify_all();
  }
}

}  // namespace korvex
