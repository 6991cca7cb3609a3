//===- service/AnswerLookup.h - Values in response headers -*- C++ -*-===//
///
/// Some answers carry what the client needs outside the body, as
/// "name=value" parts separated by ";" inside a response header (the stream
/// status).
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>

namespace korvex {

/// The value of attribute `name` inside one header value: the first
/// ";"-separated part that begins with `name` followed by "=" (letter case
/// ignored) gives the rest of that part; empty when missing. Cookies are
/// read by the same rule with SetCookieValue (net/LoginForm.h).
[[nodiscard]] std::string HeaderAttributeValue(std::string_view headerValue, std::string_view name);

}  // namespace korvex
