//===- net/HttpErrorTable.h - libcurl results as transport numbers -*- C++ -*-===//
///
/// Callers and the status-message table know transport failures by the
/// classic numbers (12002 time-out, 12029 cannot connect, ...); this is the
/// one place that decides which libcurl result becomes which number.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string_view>

#include "platform/HResult.h"

namespace korvex {

/// The transport failure number for a libcurl result code (a CURLcode),
/// kHttpErrorInternal for anything without a closer match.
[[nodiscard]] std::uint32_t HttpErrorFromCurl(int curlCode) noexcept;

/// What a transport failure means to the user, for the failures the
/// status-message table has no text for (a certificate that cannot be
/// verified, a host that cannot be resolved, ...); empty for any other
/// status. Keeps a failed connection from reading as a wrong password or
/// an unknown error.
[[nodiscard]] std::string_view TransportFailureText(HRESULT status) noexcept;

}  // namespace korvex
