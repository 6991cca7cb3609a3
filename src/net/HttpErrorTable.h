//===- net/HttpErrorTable.h - libcurl results as transport numbers -*- C++ -*-===//
///
/// Callers and the status-message table know transport failures by the
/// classic numbers (12002 time-out, 12029 cannot connect, ...); this is the
/// one place that decides which libcurl result becomes which number.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>

namespace korvex {

/// The transport failure number for a libcurl result code (a CURLcode),
/// kHttpErrorInternal for anything without a closer match.
[[nodiscard]] std::uint32_t HttpErrorFromCurl(int curlCode) noexcept;

}  // namespace korvex
