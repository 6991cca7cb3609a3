#include "platform/FileTime.h"

#include <gtest/gtest.h>

namespace korvex {
namespace {

using Clock = std::chrono::system_clock;
using namespace std::chrono;

TEST(FileTime, KnownInstantsConvertBothWays) {
  // 2013-03-05 09:07:00 UTC
  const auto t = sys_days{year{2013} / March / 5} + hours{9} + minutes{7};
  const std::uint64_t ft = kUnixEpochAsFileTime + 1362474420ull * 10'000'000ull;
  EXPECT_EQ(FileTimeFromSystemClock(t), ft);
  EXPECT_EQ(SystemClockFromFileTime(ft), t);
  EXPECT_EQ(FileTimeFromSystemClock(Clock::time_point{}), kUnixEpochAsFileTime);
  const auto y1900 = sys_days{year{1900} / January / 1};
  EXPECT_EQ(SystemClockFromFileTime(FileTimeFromSystemClock(y1900)), y1900);
  // 50 ns before the Unix epoch lies in the tick that starts 100 ns before it.
  EXPECT_EQ(FileTimeFromSystemClock(Clock::time_point{} - nanoseconds(50)), kUnixEpochAsFileTime - 1);
}

TEST(FileTime, OutOfRangeValuesClampInsteadOfOverflowing) {
  EXPECT_EQ(SystemClockFromFileTime(0), Clock::time_point::min());
  EXPECT_EQ(SystemClockFromFileTime(~0ull), Clock::time_point::max());
  // The clock's earliest instant (1677) lies after 1601, and its tick reads back clamped.
  const std::uint64_t earliest = FileTimeFromSystemClock(Clock::time_point::min());
  EXPECT_GT(earliest, 0u);
  EXPECT_EQ(SystemClockFromFileTime(earliest), Clock::time_point::min());
}

}  // namespace
}  // namespace korvex
