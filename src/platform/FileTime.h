//===- platform/FileTime.h - FILETIME and the system clock ------*- C++ -*-===//
///
/// FILETIME (100 ns ticks since 1601-01-01 UTC) is the stored form of times in
/// task files and on the wire; these two helpers are the only conversion.
/// The system clock counts nanoseconds and covers only about 1678 to 2262, so
/// FILETIME values outside that range clamp to the clock's ends instead of
/// overflowing.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>
#include <cstdint>

namespace korvex {

/// 1970-01-01 00:00 UTC as a FILETIME.
inline constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;

/// Ticks of `t`, rounded down to a whole tick; times before 1601 give 0.
[[nodiscard]] std::uint64_t FileTimeFromSystemClock(std::chrono::system_clock::time_point t) noexcept;

/// The time point of `fileTime`, clamped to the range of the system clock.
[[nodiscard]] std::chrono::system_clock::time_point SystemClockFromFileTime(std::uint64_t fileTime) noexcept;

/// FILETIME of now.
[[nodiscard]] std::uint64_t FileTimeNow() noexcept;

}  // namespace korvex
