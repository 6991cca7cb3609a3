//===- update/NetworkProbes.h - The network check's single probes -*- C++ -*-===//
///
/// Name resolution and TCP connection set-up, each bounded by a time limit
/// and abandoned as soon as `cancelFd` becomes readable. Failures use the
/// transport codes of HttpRequestor (0x804F2EE7 name not resolved,
/// 0x804F2EFD cannot connect, 0x804F2EE2 time-out), so the check reports a
/// broken network the way a failed request would.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <sys/socket.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HResult.h"

namespace korvex {

struct HostPort {
  std::string host;  ///< without IPv6 brackets
  std::uint16_t port = 0;
};

/// "scheme://host[:port]/..." (the scheme's port when none is given) or a
/// proxy's "host:port" (http assumed). False for anything else.
[[nodiscard]] bool SplitUrl(std::string_view url, HostPort& out, std::string* scheme = nullptr);

struct ResolvedAddress {
  sockaddr_storage address{};
  socklen_t length = 0;
  std::string text;  ///< numeric form, for the report
};

/// Resolves `host` to its TCP addresses.
[[nodiscard]] HRESULT ResolveHost(const std::string& host, std::uint16_t port, std::chrono::milliseconds limit,
                                  int cancelFd, std::vector<ResolvedAddress>& addresses);

/// Connects to the addresses in turn until one accepts; `connected` is its
/// index. The connection is closed again at once.
[[nodiscard]] HRESULT ConnectTcp(const std::vector<ResolvedAddress>& addresses, std::chrono::milliseconds limit,
                                 int cancelFd, std::size_t& connected);

/// True when the proxy's bypass list (libcurl's comma-separated form)
/// names `host`.
[[nodiscard]] bool BypassesProxy(std::string_view noProxyList, std::string_view host);

}  // namespace korvex
