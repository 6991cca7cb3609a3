//===- net/ProxyConfigHelper.h - The user's proxy configuration -*- C++ -*-===//
///
/// Each HttpRequestor keeps one set of proxy settings: loaded from the
/// registry when it is constructed, replaced by the user's live configuration
/// during Init, applied to every request, and saved back when the requestor
/// is destroyed, so that a later run can fall back to the last good answer
/// when the live configuration cannot be read.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/HResult.h"

namespace korvex {

/// Access types as they are stored in "ProxyConfig_AccessType".
inline constexpr std::uint32_t kProxyAccessNoProxy = 1;
inline constexpr std::uint32_t kProxyAccessNamedProxy = 3;

struct ProxySettings {
  std::uint32_t accessType = kProxyAccessNoProxy;
  /// Proxy server list: "host:port", "scheme://host:port", or per-scheme
  /// entries "http=host:port;https=host:port" (blanks or ';' between entries).
  std::string proxy;
  /// Hosts that bypass the proxy: "*.example.com;<local>;10.0.0.1" style
  /// entries separated by ';', ',' or blanks.
  std::string bypass;

  friend bool operator==(const ProxySettings&, const ProxySettings&) = default;
};

class ProxyConfigHelper {
 public:
  /// Defaults, then the three "ProxyConfig_..." values under HKCU.
  [[nodiscard]] static ProxySettings Load();

  /// Writes the three values from `settings`; false if any write failed.
  static bool Save(const ProxySettings& settings);

  /// Resolves the proxy the user's configuration picks for `url` (the
  /// service's web-site address). A configuration script ("pac+URL" in the
  /// proxy variables, see ProxyScript.h) is fetched and checked, then run
  /// by libproxy; otherwise the http_proxy/https_proxy/no_proxy environment
  /// decides, and WPAD auto-detection is never used. On success `settings`
  /// holds access type 1 (direct) or 3 with the proxy list and the bypass
  /// list. A script that cannot be loaded, is not a proxy script or cannot
  /// be run logs a warning and fails, leaving `settings` unchanged, so the
  /// requestor keeps the last run's settings.
  [[nodiscard]] static HRESULT QueryActiveUserProxyConfig(std::string_view url,
                                                         ProxySettings& settings);

  /// Whether libproxy has a plug-in that runs configuration scripts.
  [[nodiscard]] static bool HaveScriptRunner();

  /// The proxy libcurl should use for a request with the given scheme
  /// ("http" or "https"), empty for none. Applies only when the access type
  /// is not 1.
  [[nodiscard]] static std::string CurlProxyFor(const ProxySettings& settings,
                                                std::string_view scheme);

  /// The bypass list in libcurl's no-proxy form (comma separated host
  /// suffixes). "<local>" becomes the loopback names, since libcurl has no
  /// notion of "every name without a dot".
  [[nodiscard]] static std::string CurlNoProxyList(std::string_view bypass);

 private:
  [[nodiscard]] static HRESULT ResolveWithScript(std::string_view url, const std::string& scriptUrl,
                                                 ProxySettings& settings);
};

}  // namespace korvex
