//===- service/AnswerLookup.h - Values in response cookies and headers -*- C++ -*-===//
///
/// Some answers carry what the client needs outside the body: session
/// cookies, and attributes inside a response header (the stream status).
/// Both are "name=value" parts separated by ";".
///
//===----------------------------------------------------------------------===//
#pragma once

#include <deque>
#include <string>
#include <string_view>

namespace korvex {

/// The value of cookie `name`: in arrival order, each Set-Cookie value is
/// split at ";" and the first part that begins with `name` followed by "="
/// (letter case ignored) gives the rest of that part. Empty when missing.
[[nodiscard]] std::string ResponseCookieValue(const std::deque<std::string>& setCookies, std::string_view name);

/// The value of attribute `name` inside one header value, by the same rule.
[[nodiscard]] std::string HeaderAttributeValue(std::string_view headerValue, std::string_view name);

}  // namespace korvex
