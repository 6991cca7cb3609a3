//===- service/RequestText.h - Building request paths and bodies -*- C++ -*-===//
///
/// Request paths and form bodies are filled from "%1%"-style templates.
/// Names of directories and files travel percent-encoded byte by byte, with
/// only ASCII letters and digits left as they are; the service decodes
/// exactly that form, so "-", ".", "_", "~" and the blank are encoded too.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <boost/format.hpp>

#include <string>
#include <string_view>

namespace korvex {

/// Percent-encodes the UTF-8 bytes of `name`: A-Z, a-z and 0-9 stay, every
/// other byte becomes "%" and two upper-case hex digits.
[[nodiscard]] std::string EncodeName(std::string_view name);

/// Mail addresses and texts, link and code fields and the transfer report
/// travel as they are (blanks, tabs and non-ASCII text included),
/// except the three bytes that would end or change a form value on the
/// service: "%", "&" and "+" become %25, %26 and %2B.
[[nodiscard]] std::string EncodeFormText(std::string_view text);

/// Fills `pattern` ("%1%", "%2%", ...; "%%" for "%") with `args`. 64-bit ids
/// are passed as unsigned integers so they print as unsigned decimal.
template <typename... Args>
[[nodiscard]] std::string FillTemplate(const char* pattern, const Args&... args) {
  boost::format format(pattern);
  (format % ... % args);
  return format.str();
}

}  // namespace korvex
