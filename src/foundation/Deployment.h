//===- foundation/Deployment.h - Where the service lives --------*- C++ -*-===//
///
/// The web-site, API and data base URLs and the service's domain name
/// differ per deployment. Each value is taken from the
/// first of these that sets it, highest first:
///   1. overrides passed by the caller (command-line flags),
///   2. the environment: KORVEX_WEB_URL, KORVEX_API_URL, KORVEX_DATA_URL,
///      KORVEX_SERVICE_DOMAIN,
///   3. HKCU "SOFTWARE\KorvexDataSMB",
///   4. HKLM "SOFTWARE\KorvexDataSMB",
/// and with nothing configured the URLs point at the local service,
/// "http://127.0.0.1:8790", in domain "korvexdata.local". An empty value
/// counts as not set. Registry value names (SZ): "WebSiteUrl", "ApiUrl",
/// "DataUrl", "ServiceDomain". The certificate policy is not a deployment
/// value here: connections take it from EffectiveTlsSettings() (net/), and
/// one resolver keeps both from ever disagreeing.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/HResult.h"

namespace korvex {

inline constexpr std::string_view kDefaultServiceUrl = "http://127.0.0.1:8790";
inline constexpr std::string_view kDefaultServiceDomain = "korvexdata.local";

struct DeploymentValues {
  std::string webUrl{kDefaultServiceUrl};
  std::string apiUrl{kDefaultServiceUrl};
  std::string dataUrl{kDefaultServiceUrl};
  std::string serviceDomain{kDefaultServiceDomain};
};

/// What the caller's flags set; unset members leave the lower layers' value.
struct DeploymentOverrides {
  std::optional<std::string> webUrl;
  std::optional<std::string> apiUrl;
  std::optional<std::string> dataUrl;
  std::optional<std::string> serviceDomain;
};

/// Resolves every value. E_INVALIDARG when the winning value of a URL is not
/// an http(s) URL with a host, or the domain is not a host name; `error`
/// (when given) then names the source and the value, and `out` is untouched.
[[nodiscard]] HRESULT LoadDeployment(const DeploymentOverrides& overrides, DeploymentValues& out,
                                     std::string* error = nullptr);

/// True for "http://host[:port][/path]" or https, with a non-empty host and
/// no blanks or control characters.
[[nodiscard]] bool IsServiceUrl(std::string_view url);
/// True for a DNS-style name: letters, digits, '-' and '.', not empty.
[[nodiscard]] bool IsDomainName(std::string_view name);

}  // namespace korvex
