//===- foundation/Deployment.cpp - Where the service lives ----------------===//

#include "foundation/Deployment.h"

#include <cstdlib>

#include "foundation/LogMgr.h"
#include "foundation/Registry.h"
#include "platform/AsciiText.h"

namespace korvex {
namespace {

/// One value with the name of the layer that set it, for error messages.
struct Resolved {
  std::string value;
  std::string source;
};

/// Applies the layers from lowest to highest; a later non-empty one wins.
Resolved ResolveText(std::string_view registryName, const char* envName, const std::optional<std::string>& flag,
                     std::string_view fallback) {
  Resolved r{std::string(fallback), "default"};
  for (Hive hive : {Hive::LocalMachine, Hive::CurrentUser}) {
    std::string v = ReadString(hive, kProductKey, registryName, "");
    if (!v.empty()) {
      r = {v, std::string(hive == Hive::LocalMachine ? "HKLM" : "HKCU") + " value \"" +
                  std::string(registryName) + "\""};
    }
  }
  if (envName != nullptr) {
    const char* v = std::getenv(envName);
    if (v != nullptr && v[0] != '\0') r = {v, envName};
  }
  if (flag && !flag->empty()) r = {*flag, "command line"};
  return r;
}

bool CheckUrl(const Resolved& r, std::string* error) {
  if (IsServiceUrl(r.value)) return true;
  if (error) *error = r.source + ": not an http or https URL: \"" + r.value + "\"";
  return false;
}

}  // namespace

bool IsServiceUrl(std::string_view url) {
  std::string_view rest;
  for (std::string_view scheme : {"http://", "https://"}) {
    // Schemes compare without case ("HTTPS://" is as good as "https://").
    if (url.size() > scheme.size() && StartsWithIgnoringAsciiCase(url, scheme)) {
      rest = url.substr(scheme.size());
    }
  }
  if (rest.empty() || rest.front() == '/' || rest.front() == ':') return false;
  for (char c : url) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F) return false;
  }
  return true;
}

bool IsDomainName(std::string_view name) {
  if (name.empty() || name.size() > 253 || name.front() == '.' || name.front() == '-') return false;
  for (char c : name) {
    bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
    if (!ok) return false;
  }
  return name.find("..") == std::string_view::npos;
}

HRESULT LoadDeployment(const DeploymentOverrides& overrides, DeploymentValues& out, std::string* error) {
  const Resolved web = ResolveText("WebSiteUrl", "KORVEX_WEB_URL", overrides.webUrl, kDefaultServiceUrl);
  const Resolved api = ResolveText("ApiUrl", "KORVEX_API_URL", overrides.apiUrl, kDefaultServiceUrl);
  const Resolved data = ResolveText("DataUrl", "KORVEX_DATA_URL", overrides.dataUrl, kDefaultServiceUrl);
  const Resolved domain =
      ResolveText("ServiceDomain", "KORVEX_SERVICE_DOMAIN", overrides.serviceDomain, kDefaultServiceDomain);
  if (!CheckUrl(web, error) || !CheckUrl(api, error) || !CheckUrl(data, error)) return E_INVALIDARG;
  if (!IsDomainName(domain.value)) {
    if (error) *error = domain.source + ": not a domain name: \"" + domain.value + "\"";
    return E_INVALIDARG;
  }

  out = DeploymentValues{web.value, api.value, data.value, domain.value};
  // Trace only: a URL may carry credentials.
  LogMgr::Get().Trace("Deployment", "web %s, api %s, data %s, domain %s", out.webUrl.c_str(), out.apiUrl.c_str(),
                      out.dataUrl.c_str(), out.serviceDomain.c_str());
  return S_OK;
}

}  // namespace korvex
