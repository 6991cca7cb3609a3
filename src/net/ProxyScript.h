//===- net/ProxyScript.h - Proxy configuration scripts ----------*- C++ -*-===//
///
/// A proxy configuration (PAC) script is named the way libproxy reads it
/// from the environment: "pac+<url>" in https_proxy, http_proxy or
/// all_proxy. libproxy answers "direct" for a script it cannot download or
/// run, which would silently replace the last working proxy with none; so
/// the script is fetched and checked here first, and only a script that
/// loads, looks like a proxy script and can be run is handed to libproxy.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>

#include "platform/HResult.h"

namespace korvex {

/// The script URL the environment names (without "pac+"), or "".
[[nodiscard]] std::string ConfigurationScriptUrl();

/// Fetches the script at `url` (http, https or file; no proxy, bounded in
/// time and to 1 MiB). A transport failure, an HTTP status other than 200
/// or an empty body fail; `reason` then says which, for the log.
[[nodiscard]] HRESULT LoadConfigurationScript(const std::string& url, std::string& script,
                                              std::string& reason);

/// A lexical check, not an interpreter: the text defines a function
/// FindProxyForURL, and its strings, comments, braces and parentheses are
/// closed. Catches error pages, truncated downloads and files of the wrong
/// kind; `reason` says what is wrong.
[[nodiscard]] bool LooksLikeProxyScript(std::string_view script, std::string& reason);

/// `url` without a "user:password@" part, for log lines.
[[nodiscard]] std::string UrlForLog(std::string_view url);

}  // namespace korvex
