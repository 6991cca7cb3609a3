//===- net/ProxyConfigHelper.cpp - The user's proxy configuration --------===//

#include "net/ProxyConfigHelper.h"

#include <cstdlib>
#include <mutex>
#include <vector>

#ifdef KORVEX_HAVE_LIBPROXY
#include <proxy.h>
#endif

#include <filesystem>

#include "foundation/LogMgr.h"
#include "foundation/Registry.h"
#include "net/ProxyScript.h"
#include "platform/AsciiText.h"

namespace korvex {
namespace {

constexpr const char* kCategory = "ProxyConfigHelper";
constexpr const char* kAccessTypeValue = "ProxyConfig_AccessType";
constexpr const char* kProxyValue = "ProxyConfig_Proxy";
constexpr const char* kBypassValue = "ProxyConfig_ProxyBypass";

std::vector<std::string_view> SplitList(std::string_view text, std::string_view separators) {
  std::vector<std::string_view> parts;
  while (!text.empty()) {
    const auto end = text.find_first_of(separators);
    const std::string_view part = text.substr(0, end);
    if (!part.empty()) parts.push_back(part);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return parts;
}

std::string Env(const char* lower, const char* upper) {
  for (const char* name : {lower, upper}) {
    if (name == nullptr) continue;
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return value;
  }
  return {};
}

std::string_view SchemeOf(std::string_view url) {
  const auto colon = url.find("://");
  return colon == std::string_view::npos ? std::string_view() : url.substr(0, colon);
}

/// Step 3 of the classic resolver, fed from the environment: a proxy list
/// (per scheme when the two differ) and the bypass list, or no proxy.
ProxySettings FromEnvironment() {
  ProxySettings settings;
  // Upper-case HTTP_PROXY is ignored, as libcurl does: CGI programs receive
  // it from the request's "Proxy:" header.
  std::string http = Env("http_proxy", nullptr);
  std::string https = Env("https_proxy", "HTTPS_PROXY");
  if (http.empty() && https.empty()) http = https = Env("all_proxy", "ALL_PROXY");
  // A script named as "pac+URL" is libproxy's business, never a proxy name.
  for (std::string* value : {&http, &https}) {
    if (StartsWithIgnoringAsciiCase(*value, "pac+")) value->clear();
  }
  if (http.empty() && https.empty()) return settings;
  settings.accessType = kProxyAccessNamedProxy;
  if (http == https) {
    settings.proxy = http;
  } else {
    if (!http.empty()) settings.proxy = "http=" + http;
    if (!https.empty()) settings.proxy += (settings.proxy.empty() ? "https=" : ";https=") + https;
  }
  settings.bypass = Env("no_proxy", "NO_PROXY");
  return settings;
}

#ifdef KORVEX_HAVE_LIBPROXY
/// libproxy's answer for `url`: false when it could not give one.
bool FromLibproxy(const std::string& url, ProxySettings& settings) {
  // libproxy 0.4 loads its plug-ins into process-wide state; requestors may
  // be initialised on several threads at once.
  static std::mutex serialise;
  std::lock_guard lock(serialise);
  // One factory for the whole process, never freed: freeing it unloads the
  // script-runner plug-in while JavaScriptCore's helper threads still run
  // its code, which crashes the process.
  static pxProxyFactory* const factory = px_proxy_factory_new();
  if (factory == nullptr) return false;
  char** proxies = px_proxy_factory_get_proxies(factory, url.c_str());
  bool ok = false;
  if (proxies != nullptr && proxies[0] != nullptr) {
    ok = true;
    const std::string_view first(proxies[0]);
    if (first.starts_with("direct://")) {
      settings = ProxySettings{};
    } else {
      settings.accessType = kProxyAccessNamedProxy;
      // libproxy's generic "socks://" is what libcurl calls SOCKS5.
      settings.proxy = first.starts_with("socks://") ? "socks5://" + std::string(first.substr(8))
                                                     : std::string(first);
      // libproxy answers for one address; the bypass list keeps other hosts
      // of the service (API, data) direct when the environment says so.
      settings.bypass = Env("no_proxy", "NO_PROXY");
    }
  }
  px_proxy_factory_free_proxies(proxies);
  return ok;
}
#endif

/// "10.*" -> "10.0.0.0/8": libcurl matches address ranges only in CIDR form.
std::string WildcardAddressToCidr(std::string_view entry) {
  const auto parts = SplitList(entry, ".");
  if (parts.size() < 2 || parts.size() > 4 || parts.back() != "*") return {};
  std::string cidr;
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    if (parts[i].find_first_not_of("0123456789") != std::string_view::npos) return {};
    cidr += std::string(parts[i]) + ".";
  }
  for (std::size_t i = parts.size() - 1; i < 4; ++i) cidr += i == 3 ? "0" : "0.";
  return cidr + "/" + std::to_string(8 * (parts.size() - 1));
}

}  // namespace

ProxySettings ProxyConfigHelper::Load() {
  ProxySettings settings;
  settings.accessType =
      ReadDword(Hive::CurrentUser, kProductKey, kAccessTypeValue, kProxyAccessNoProxy);
  settings.proxy = ReadString(Hive::CurrentUser, kProductKey, kProxyValue, "");
  settings.bypass = ReadString(Hive::CurrentUser, kProductKey, kBypassValue, "");
  return settings;
}

bool ProxyConfigHelper::Save(const ProxySettings& settings) {
  // Every requestor saves on destruction; rewriting unchanged values would
  // only cost a locked, synced hive rewrite each time.
  const ProxySettings stored = Load();
  bool ok = true;
  if (stored.accessType != settings.accessType) {
    ok = WriteDword(Hive::CurrentUser, kProductKey, kAccessTypeValue, settings.accessType) && ok;
  }
  if (stored.proxy != settings.proxy) {
    ok = WriteString(Hive::CurrentUser, kProductKey, kProxyValue, settings.proxy) && ok;
  }
  if (stored.bypass != settings.bypass) {
    ok = WriteString(Hive::CurrentUser, kProductKey, kBypassValue, settings.bypass) && ok;
  }
  if (!ok) LogMgr::Get().Warn(kCategory, "Cannot save the proxy settings to the registry");
  return ok;
}

HRESULT ProxyConfigHelper::QueryActiveUserProxyConfig(std::string_view url,
                                                      ProxySettings& settings) {
  if (SchemeOf(url).empty()) {
    LogMgr::Get().Error(kCategory, "Cannot resolve the proxy for an address without scheme: %.*s",
                        static_cast<int>(url.size()), url.data());
    return E_INVALIDARG;
  }
  const std::string script = ConfigurationScriptUrl();
  if (!script.empty()) return ResolveWithScript(url, script, settings);
  // A fixed proxy or none. libproxy is not asked: with nothing configured it
  // runs WPAD auto-detection, and auto-detection alone never picks a proxy.
  settings = FromEnvironment();
  return S_OK;
}

HRESULT ProxyConfigHelper::ResolveWithScript(std::string_view url, const std::string& scriptUrl,
                                             ProxySettings& settings) {
  std::string reason;
  std::string script;
  HRESULT status = LoadConfigurationScript(scriptUrl, script, reason);
  if (Succeeded(status) && !LooksLikeProxyScript(script, reason)) status = HResultFromWin32(13);
#ifdef KORVEX_HAVE_LIBPROXY
  ProxySettings resolved;
  if (Succeeded(status) && !HaveScriptRunner()) {
    reason = "libproxy has no JavaScript engine (package libproxy1-plugin-webkit)";
    status = E_NOTIMPL;
  }
  if (Succeeded(status) && !FromLibproxy(std::string(url), resolved)) {
    reason = "libproxy gave no answer";
    status = E_FAIL;
  }
#else
  ProxySettings resolved;
  if (Succeeded(status)) {
    reason = "this build has no libproxy to run it";
    status = E_NOTIMPL;
  }
#endif
  if (Failed(status)) {
    LogMgr::Get().Warn(kCategory,
                       "Cannot use the proxy configuration script %s (%s); keeping the proxy "
                       "settings of the last run",
                       UrlForLog(scriptUrl).c_str(), reason.c_str());
    return status;
  }
  settings = std::move(resolved);
  return S_OK;
}

bool ProxyConfigHelper::HaveScriptRunner() {
#ifndef KORVEX_HAVE_LIBPROXY
  return false;
#else
  // libproxy runs scripts only through a plug-in; without one it answers
  // "direct" for every script, which must not pass for the script's answer.
  const char* override = std::getenv("PX_MODULE_PATH");
  const std::filesystem::path folder =
      override != nullptr && *override != '\0' ? override : KORVEX_LIBPROXY_MODULE_DIR;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (entry.path().filename().string().starts_with("pacrunner_")) return true;
  }
  return false;
#endif
}

std::string ProxyConfigHelper::CurlProxyFor(const ProxySettings& settings,
                                            std::string_view scheme) {
  if (settings.accessType == kProxyAccessNoProxy) return {};
  std::string generic;
  for (const std::string_view entry : SplitList(settings.proxy, "; \t")) {
    const auto equals = entry.find('=');
    if (equals == std::string_view::npos) {
      if (generic.empty()) generic = std::string(entry);
      continue;
    }
    if (entry.substr(0, equals) == scheme) return std::string(entry.substr(equals + 1));
  }
  return generic;
}

std::string ProxyConfigHelper::CurlNoProxyList(std::string_view bypass) {
  std::string list;
  auto add = [&list](std::string_view host) {
    if (host.empty()) return;
    if (!list.empty()) list += ',';
    list += host;
  };
  for (std::string_view entry : SplitList(bypass, ";, \t")) {
    if (entry == "<local>") {
      add("localhost");
      add("127.0.0.1");
      add("::1");
    } else if (entry == "*") {
      add("*");
    } else if (entry.starts_with("*.")) {
      add(entry.substr(1));  // ".example.com" matches the domain's hosts
    } else if (entry.find('*') == std::string_view::npos) {
      add(entry);
    } else {
      add(WildcardAddressToCidr(entry));  // other patterns have no libcurl form
    }
  }
  return list;
}

}  // namespace korvex
