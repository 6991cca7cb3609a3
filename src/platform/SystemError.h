//===- platform/SystemError.h - errno to Windows error numbers --*- C++ -*-===//
///
/// Callers and stored files compare status codes against the Windows error
/// numbers (0x80070002 "not found", 0x80070050 "exists", 0x80070070 "disk
/// full"), so every errno is translated through one table into the matching
/// Windows number before it becomes an HRESULT.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>

#include "platform/HResult.h"

namespace korvex {

/// ERROR_GEN_FAILURE: what an errno without a counterpart maps to.
inline constexpr std::uint32_t kWin32GenFailure = 31;

/// The Windows error number matching `err`; 0 for 0, kWin32GenFailure for an
/// errno the table does not know.
[[nodiscard]] std::uint32_t Win32ErrorFromErrno(int err) noexcept;

/// S_OK for 0, else 0x8007xxxx with Win32ErrorFromErrno(err).
[[nodiscard]] HRESULT HResultFromErrno(int err) noexcept;

/// HResultFromErrno(errno), for the line right after a failed call.
[[nodiscard]] HRESULT HResultFromLastErrno() noexcept;

}  // namespace korvex
