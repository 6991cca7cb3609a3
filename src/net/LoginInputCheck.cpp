//===- net/LoginInputCheck.cpp - Checking typed login input ---------------===//

#include "net/LoginInputCheck.h"

#include <array>

#include <boost/format.hpp>
#include <boost/regex.hpp>

#include "platform/AsciiText.h"
#include "platform/TextConversion.h"

namespace korvex {
namespace {

bool ContainsIgnoringAsciiCase(std::string_view text, std::string_view part) {
  if (part.size() > text.size()) return false;
  for (std::size_t i = 0; i + part.size() <= text.size(); ++i) {
    if (EqualsIgnoringAsciiCase(text.substr(i, part.size()), part)) return true;
  }
  return false;
}

std::string EscapeForRegex(std::string_view text) {
  std::string escaped;
  for (const char c : text) {
    if (std::string_view(".[]{}()\\*+?|^$").find(c) != std::string_view::npos) escaped += '\\';
    escaped += c;
  }
  return escaped;
}

}  // namespace

std::string NormaliseLoginDomain(std::string_view domain, std::string_view serviceDomain) {
  const std::string d = EscapeForRegex(serviceDomain);
  // Host names and schemes are case-blind, so "ACME.KorvexData.com" and
  // "HTTPS://..." are reduced and refused exactly like their lower-case forms.
  const auto flags = boost::regex::perl | boost::regex::icase;
  const std::array<boost::regex, 4> patterns = {
      boost::regex("^https://www\\." + d + "/([^@]+)", flags),
      boost::regex("^http[s]*://([^@]+)\\." + d + "/?.*", flags),
      boost::regex("^([^@]+)\\." + d + "/?.*", flags),
      boost::regex("^([^@]+)$", flags),
  };
  const std::string text(domain);
  const std::string dottedService = "." + std::string(serviceDomain);
  for (const boost::regex& pattern : patterns) {
    boost::smatch match;
    if (!boost::regex_match(text, match, pattern)) continue;
    for (const auto& group : match) {
      const std::string candidate = group.str();
      if (!ContainsIgnoringAsciiCase(candidate, dottedService) &&
          !ContainsIgnoringAsciiCase(candidate, "http://") &&
          !ContainsIgnoringAsciiCase(candidate, "https://")) {
        return candidate;
      }
    }
    break;
  }
  return text;
}

unsigned CheckLoginInput(LoginInput& input, std::string_view serviceDomain) {
  if (input.mode == LoginMode::AccessCode) {
    return input.accessCode.empty() ? unsigned{kIdsLoginCodeRequired} : 0u;
  }
  if (input.loginName.empty()) return kIdsLoginNameRequired;
  if (Utf8ToUtf16(input.loginName).size() > kMaxLoginNameUnits) return kIdsLoginNameTooLong;
  std::string domain = NormaliseLoginDomain(input.domain, serviceDomain);
  if (ContainsIgnoringAsciiCase(domain, "https://")) return kIdsLoginNoHttpsPrefix;
  if (domain.empty() && input.loginName.find('@') == std::string::npos) {
    return kIdsLoginDomainRequired;
  }
  input.domain = std::move(domain);
  return 0;
}

std::string LoginInputMessage(unsigned id, std::string_view serviceDomain) {
  const std::string text(UiString(id));
  try {
    // Only 613 and 614 have a placeholder; boost::format rejects extra
    // arguments, so fill it only where it is.
    if (text.find("%1%") == std::string::npos) return text;
    return (boost::format(text) % std::string(serviceDomain)).str();
  } catch (const boost::io::format_error&) {
    return text;
  }
}

}  // namespace korvex
