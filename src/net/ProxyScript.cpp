//===- net/ProxyScript.cpp - Proxy configuration scripts -----------------===//

#include "net/ProxyScript.h"

#include <curl/curl.h>

#include <cstdlib>
#include <memory>

#include "platform/AsciiText.h"

namespace korvex {
namespace {

constexpr std::size_t kMaxScriptBytes = 1 << 20;

struct Download {
  std::string body;
  bool tooLarge = false;
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  auto* download = static_cast<Download*>(user);
  const std::size_t bytes = size * count;
  if (download->body.size() + bytes > kMaxScriptBytes) {
    download->tooLarge = true;
    return 0;  // makes libcurl stop with a write error
  }
  download->body.append(data, bytes);
  return bytes;
}

}  // namespace

std::string ConfigurationScriptUrl() {
  for (const char* name : {"https_proxy", "HTTPS_PROXY", "http_proxy", "all_proxy", "ALL_PROXY"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    const std::string_view text(value);
    return StartsWithIgnoringAsciiCase(text, "pac+") ? std::string(text.substr(4)) : std::string();
  }
  return {};
}

HRESULT LoadConfigurationScript(const std::string& url, std::string& script, std::string& reason) {
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> easy(curl_easy_init(), &curl_easy_cleanup);
  if (!easy) return E_OUTOFMEMORY;
  Download download;
  CURL* e = easy.get();
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https,file");
  // A script fetched over https decides where every request goes: a
  // redirect to plain http would let anyone on the path choose the proxy.
  const bool secure = url.size() >= 6 && (url.compare(0, 6, "https:") == 0 || url.compare(0, 6, "HTTPS:") == 0);
  curl_easy_setopt(e, CURLOPT_REDIR_PROTOCOLS_STR, secure ? "https" : "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(e, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(e, CURLOPT_PROXY, "");  // the script says which proxy; none to fetch it
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, 10'000L);
  curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, 20'000L);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Collect);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &download);
  const CURLcode code = curl_easy_perform(e);
  if (download.tooLarge) {
    reason = "larger than 1 MiB";
    return HResultFromWin32(13);  // ERROR_INVALID_DATA
  }
  if (code != CURLE_OK) {
    reason = curl_easy_strerror(code);
    return HResultFromHttp(code == CURLE_OPERATION_TIMEDOUT ? 12002 : 12029);
  }
  long status = 0;
  curl_easy_getinfo(e, CURLINFO_RESPONSE_CODE, &status);
  // file:// answers 0; an HTTP answer must be a plain 200.
  if (status != 0 && status != 200) {
    reason = "HTTP status " + std::to_string(status);
    return HResultFromHttp(static_cast<std::uint32_t>(status));
  }
  if (download.body.empty()) {
    reason = "empty";
    return HResultFromWin32(13);
  }
  script = std::move(download.body);
  return S_OK;
}

bool LooksLikeProxyScript(std::string_view script, std::string& reason) {
  enum class State { Code, LineComment, BlockComment, Quoted };
  State state = State::Code;
  char quote = 0;
  int braces = 0;
  int parens = 0;
  for (std::size_t i = 0; i < script.size(); ++i) {
    const char c = script[i];
    const char next = i + 1 < script.size() ? script[i + 1] : '\0';
    switch (state) {
      case State::LineComment:
        if (c == '\n') state = State::Code;
        break;
      case State::BlockComment:
        if (c == '*' && next == '/') state = State::Code, ++i;
        break;
      case State::Quoted:
        if (c == '\\') ++i;
        else if (c == quote) state = State::Code;
        else if (c == '\n') return reason = "a string is not closed", false;
        break;
      case State::Code:
        if (c == '/' && next == '/') state = State::LineComment, ++i;
        else if (c == '/' && next == '*') state = State::BlockComment, ++i;
        else if (c == '"' || c == '\'' || c == '`') state = State::Quoted, quote = c;
        else if (c == '\\') ++i;
        else if (c == '{') ++braces;
        else if (c == '(') ++parens;
        else if ((c == '}' && --braces < 0) || (c == ')' && --parens < 0)) {
          return reason = "a bracket is closed that was never opened", false;
        }
        break;
    }
  }
  if (state == State::Quoted || state == State::BlockComment) {
    return reason = "a string or comment is not closed", false;
  }
  if (braces != 0 || parens != 0) return reason = "a bracket is not closed", false;
  const auto name = script.find("FindProxyForURL");
  if (name == std::string_view::npos || script.rfind("function", name) == std::string_view::npos) {
    return reason = "no function FindProxyForURL", false;
  }
  return true;
}

std::string UrlForLog(std::string_view url) {
  const auto scheme = url.find("://");
  if (scheme == std::string_view::npos) return std::string(url);
  const auto authorityEnd = url.find_first_of("/?#", scheme + 3);
  const auto at = url.substr(0, authorityEnd).rfind('@');
  if (at == std::string_view::npos || at < scheme) return std::string(url);
  return std::string(url.substr(0, scheme + 3)) + std::string(url.substr(at + 1));
}

}  // namespace korvex
