//===- platform/FileTime.cpp - FILETIME and the system clock --------------===//

#include "platform/FileTime.h"

#include <limits>

namespace korvex {
namespace {

using Ticks = std::chrono::duration<std::int64_t, std::ratio<1, 10'000'000>>;
using Clock = std::chrono::system_clock;

}  // namespace

std::uint64_t FileTimeFromSystemClock(Clock::time_point t) noexcept {
  // floor, not duration_cast: a time before 1970 must round toward the past
  // like every later one, or one tick would hold two different instants.
  const std::int64_t sinceUnix = std::chrono::floor<Ticks>(t.time_since_epoch()).count();
  const std::int64_t epoch = static_cast<std::int64_t>(kUnixEpochAsFileTime);
  if (sinceUnix < -epoch) return 0;
  return static_cast<std::uint64_t>(sinceUnix + epoch);
}

Clock::time_point SystemClockFromFileTime(std::uint64_t fileTime) noexcept {
  // Work in ticks relative to 1970 (fits int64 for every FILETIME below 2^63)
  // and compare against the clock's limits expressed in ticks.
  const Ticks minTicks = std::chrono::ceil<Ticks>(Clock::time_point::min().time_since_epoch());
  const Ticks maxTicks = std::chrono::floor<Ticks>(Clock::time_point::max().time_since_epoch());
  Ticks sinceUnix;
  if (fileTime >= kUnixEpochAsFileTime) {
    const std::uint64_t after = fileTime - kUnixEpochAsFileTime;
    if (after > static_cast<std::uint64_t>(maxTicks.count())) return Clock::time_point::max();
    sinceUnix = Ticks(static_cast<std::int64_t>(after));
  } else {
    sinceUnix = -Ticks(static_cast<std::int64_t>(kUnixEpochAsFileTime - fileTime));
    if (sinceUnix < minTicks) return Clock::time_point::min();
  }
  return Clock::time_point(std::chrono::duration_cast<Clock::duration>(sinceUnix));
}

std::uint64_t FileTimeNow() noexcept { return FileTimeFromSystemClock(Clock::now()); }

}  // namespace korvex
