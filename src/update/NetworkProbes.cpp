//===- update/NetworkProbes.cpp - The network check's single probes -------===//

#include "update/NetworkProbes.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <unistd.h>

#include <curl/curl.h>

#include <cerrno>
#include <charconv>
#include <cstring>
#include <memory>

#include "net/HttpRequestor.h"
#include "platform/AsciiText.h"

namespace korvex {

namespace {

using Clock = std::chrono::steady_clock;

bool Cancelled(int cancelFd) {
  pollfd p{cancelFd, POLLIN, 0};
  return cancelFd >= 0 && ::poll(&p, 1, 0) > 0;
}

std::string CurlPart(CURLU* url, CURLUPart part) {
  char* text = nullptr;
  if (curl_url_get(url, part, &text, CURLU_DEFAULT_PORT) != CURLUE_OK || text == nullptr) return {};
  std::string value(text);
  curl_free(text);
  return value;
}

std::string NumericText(const sockaddr* address, socklen_t length) {
  char host[NI_MAXHOST] = {};
  if (::getnameinfo(address, length, host, sizeof host, nullptr, 0, NI_NUMERICHOST) != 0) return "?";
  return host;
}

// One non-blocking connect; S_OK, the time-out, the cancel or a refusal.
HRESULT ConnectOne(const ResolvedAddress& target, Clock::time_point deadline, int cancelFd) {
  const int fd = ::socket(target.address.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return HResultFromHttp(kHttpErrorCannotConnect);
  HRESULT result = HResultFromHttp(kHttpErrorCannotConnect);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&target.address), target.length) == 0) {
    result = S_OK;
  } else if (errno == EINPROGRESS) {
    pollfd waits[2] = {{fd, POLLOUT, 0}, {cancelFd, POLLIN, 0}};
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) {
        result = HResultFromHttp(kHttpErrorTimeout);
        break;
      }
      const int n = ::poll(waits, cancelFd >= 0 ? 2 : 1, static_cast<int>(left));
      if (n < 0 && errno == EINTR) continue;
      if (n > 0 && cancelFd >= 0 && (waits[1].revents & POLLIN)) {
        result = E_ABORT;
      } else if (n > 0) {
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) result = S_OK;
      }
      if (n != 0) break;
    }
  }
  ::close(fd);
  return result;
}

}  // namespace

bool SplitUrl(std::string_view url, HostPort& out, std::string* scheme) {
  std::unique_ptr<CURLU, decltype(&curl_url_cleanup)> parsed(curl_url(), &curl_url_cleanup);
  if (parsed == nullptr) return false;
  std::string text(url);
  if (text.find("://") == std::string::npos) text = "http://" + text;
  if (curl_url_set(parsed.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK) return false;
  const std::string schemeText = CurlPart(parsed.get(), CURLUPART_SCHEME);
  std::string host = CurlPart(parsed.get(), CURLUPART_HOST);
  const std::string port = CurlPart(parsed.get(), CURLUPART_PORT);
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  unsigned number = 0;
  const auto [end, error] = std::from_chars(port.data(), port.data() + port.size(), number);
  if (host.empty() || error != std::errc() || end != port.data() + port.size() || number == 0 || number > 65535) {
    return false;
  }
  out.host = host;
  out.port = static_cast<std::uint16_t>(number);
  if (scheme != nullptr) *scheme = schemeText;
  return true;
}

HRESULT ResolveHost(const std::string& host, std::uint16_t port, std::chrono::milliseconds limit, int cancelFd,
                    std::vector<ResolvedAddress>& addresses) {
  const std::string service = std::to_string(port);
  addrinfo hints{};
  hints.ai_socktype = SOCK_STREAM;
  gaicb request{};
  request.ar_name = host.c_str();
  request.ar_service = service.c_str();
  request.ar_request = &hints;
  gaicb* list[] = {&request};
  if (::getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr) != 0) return HResultFromHttp(kHttpErrorNameNotResolved);
  const Clock::time_point deadline = Clock::now() + limit;
  HRESULT stopped = S_OK;
  while (::gai_error(&request) == EAI_INPROGRESS) {
    if (Cancelled(cancelFd)) stopped = E_ABORT;
    if (Clock::now() >= deadline) stopped = HResultFromHttp(kHttpErrorTimeout);
    if (Failed(stopped)) {
      // The request refers to our stack frame: a lookup that cannot be
      // cancelled any more is waited for (the resolver bounds it).
      if (::gai_cancel(&request) != EAI_CANCELED) {
        while (::gai_error(&request) == EAI_INPROGRESS) (void)::gai_suspend(list, 1, nullptr);
      }
      if (request.ar_result != nullptr) ::freeaddrinfo(request.ar_result);
      return stopped;
    }
    const timespec slice{0, 50'000'000};
    (void)::gai_suspend(list, 1, &slice);
  }
  if (::gai_error(&request) != 0) return HResultFromHttp(kHttpErrorNameNotResolved);
  for (const addrinfo* a = request.ar_result; a != nullptr; a = a->ai_next) {
    ResolvedAddress resolved;
    std::memcpy(&resolved.address, a->ai_addr, a->ai_addrlen);
    resolved.length = a->ai_addrlen;
    resolved.text = NumericText(a->ai_addr, a->ai_addrlen);
    addresses.push_back(resolved);
  }
  ::freeaddrinfo(request.ar_result);
  return addresses.empty() ? HResultFromHttp(kHttpErrorNameNotResolved) : S_OK;
}

HRESULT ConnectTcp(const std::vector<ResolvedAddress>& addresses, std::chrono::milliseconds limit, int cancelFd,
                   std::size_t& connected) {
  HRESULT last = HResultFromHttp(kHttpErrorCannotConnect);
  const Clock::time_point deadline = Clock::now() + limit;
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    last = ConnectOne(addresses[i], deadline, cancelFd);
    if (Succeeded(last)) {
      connected = i;
      return S_OK;
    }
    if (last == E_ABORT || Clock::now() >= deadline) return last;
  }
  return last;
}

bool BypassesProxy(std::string_view noProxyList, std::string_view host) {
  while (!noProxyList.empty()) {
    const std::size_t comma = noProxyList.find(',');
    std::string_view entry = noProxyList.substr(0, comma);
    noProxyList = comma == std::string_view::npos ? std::string_view() : noProxyList.substr(comma + 1);
    while (!entry.empty() && entry.front() == ' ') entry.remove_prefix(1);
    while (!entry.empty() && entry.back() == ' ') entry.remove_suffix(1);
    if (!entry.empty() && entry.front() == '.') entry.remove_prefix(1);
    if (entry.empty()) continue;
    if (entry == "*" || EqualsIgnoringAsciiCase(entry, host)) return true;
    if (host.size() > entry.size() && host[host.size() - entry.size() - 1] == '.' &&
        EqualsIgnoringAsciiCase(host.substr(host.size() - entry.size()), entry)) {
      return true;
    }
  }
  return false;
}

}  // namespace korvex
