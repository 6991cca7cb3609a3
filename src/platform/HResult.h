//===- platform/HResult.h - Status codes in HRESULT form --------*- C++ -*-===//
///
/// Every operation of the client ends in a 32-bit status code in the form the
/// service protocol and the stored files already use: 0 is success, negative
/// is failure. Platform errors travel as 0x8007xxxx with the Windows error
/// number in the low 16 bits (callers compare against 0x80070050 "exists" and
/// 0x80070002 "not found"), HTTP and transport failures as 0x804Fxxxx.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>

namespace korvex {

using HRESULT = std::int32_t;

/// Builds a code from its unsigned bit pattern (the constants below are
/// written the way logs and the status-message table print them).
constexpr HRESULT MakeHResult(std::uint32_t bits) noexcept {
  return static_cast<HRESULT>(bits);
}

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = MakeHResult(0x80004001u);
inline constexpr HRESULT E_POINTER = MakeHResult(0x80004003u);
inline constexpr HRESULT E_ABORT = MakeHResult(0x80004004u);
inline constexpr HRESULT E_FAIL = MakeHResult(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = MakeHResult(0x8000FFFFu);
inline constexpr HRESULT E_ACCESSDENIED = MakeHResult(0x80070005u);
inline constexpr HRESULT E_OUTOFMEMORY = MakeHResult(0x8007000Eu);
inline constexpr HRESULT E_INVALIDARG = MakeHResult(0x80070057u);

/// Frequently tested platform codes.
inline constexpr HRESULT HR_FILE_NOT_FOUND = MakeHResult(0x80070002u);
inline constexpr HRESULT HR_ALREADY_EXISTS = MakeHResult(0x80070050u);
inline constexpr HRESULT HR_DISK_FULL = MakeHResult(0x80070070u);

/// Base of HTTP status and transport failures: 0x804F0000 | number.
inline constexpr std::uint32_t kHttpFacilityBits = 0x804F0000u;

[[nodiscard]] constexpr bool Succeeded(HRESULT hr) noexcept { return hr >= 0; }
[[nodiscard]] constexpr bool Failed(HRESULT hr) noexcept { return hr < 0; }

/// HRESULT_FROM_WIN32: error numbers above 0 become 0x8007xxxx (low 16
/// bits kept); 0 and negative values pass through unchanged.
[[nodiscard]] constexpr HRESULT HResultFromWin32(std::int64_t error) noexcept {
  if (error <= 0) return static_cast<HRESULT>(error);
  return MakeHResult(0x80070000u | (static_cast<std::uint32_t>(error) & 0xFFFFu));
}

/// 0x804F0000 | number, for an HTTP status (404 -> 0x804F0194) or a
/// transport error number (12002 -> 0x804F2EE2).
[[nodiscard]] constexpr HRESULT HResultFromHttp(std::uint32_t number) noexcept {
  return MakeHResult(kHttpFacilityBits | (number & 0xFFFFu));
}

}  // namespace korvex
