//===- net/LoginInputCheck.h - Checking typed login input -------*- C++ -*-===//
///
/// Before anything is sent, the typed enterprise domain is reduced to the
/// enterprise name wherever the user pasted the web-site address or the
/// enterprise's full host name, and input that cannot work is refused with a
/// user text. Both front ends (login dialog, command line) call this, so the
/// same input is accepted and refused the same way.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>

#include "foundation/StringTable.h"
#include "net/LoginForm.h"

namespace korvex {

/// Reduces `domain` the way the OK command does, against the service's
/// domain name `serviceDomain` (a deployment value, e.g. "korvexdata.com"):
/// "https://www.<D>/acme" -> "acme", "http://acme.<D>/" -> "acme",
/// "acme.<D>" -> "acme", "acme" -> "acme". Text that no rule reduces comes
/// back unchanged.
[[nodiscard]] std::string NormaliseLoginDomain(std::string_view domain,
                                               std::string_view serviceDomain);

/// Checks `input` for the mode it is in and, in account mode, replaces its
/// domain with the normalised one. Returns 0 when the input may be sent,
/// otherwise the string-table id of the message to show (the caller keeps
/// the focus in the input and sends nothing):
///   kIdsLoginNameTooLong    the login name is over kMaxLoginNameUnits;
///   kIdsLoginNoHttpsPrefix  (613) the domain still holds "https://";
///   kIdsLoginDomainRequired (614) no domain and no "@" in the login name;
///   kIdsLoginNameRequired   account mode with an empty login name;
///   kIdsLoginCodeRequired   access-code mode with an empty code.
[[nodiscard]] unsigned CheckLoginInput(LoginInput& input, std::string_view serviceDomain);

/// The text of a CheckLoginInput id in the current language, with the
/// service's domain filled in where the text names it.
[[nodiscard]] std::string LoginInputMessage(unsigned id, std::string_view serviceDomain);

}  // namespace korvex
