//===- tasks/SpeedMeter.h - Bytes per second over a sliding window -*- C++ -*-===//
///
/// The transfer list shows how fast data moves. Progress reports arrive in
/// bursts, so the meter sums them into one-second samples and divides the
/// bytes of the last `windowSamples` seconds by the time they cover. Until
/// `minSamples` seconds have been seen the figure would swing wildly, and
/// the meter says 0. Safe to feed and read from any thread.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <mutex>

namespace korvex {

class SpeedMeter {
 public:
  using Clock = std::chrono::steady_clock;

  SpeedMeter(std::size_t windowSamples, std::size_t minSamples);

  void Add(std::uint64_t bytes, Clock::time_point now = Clock::now());
  /// Bytes per second over the window ending at `now`; 0 when too young or idle.
  [[nodiscard]] double BytesPerSecond(Clock::time_point now = Clock::now()) const;

 private:
  struct Sample {
    std::int64_t second;
    std::uint64_t bytes;
  };
  void DropOld(std::int64_t second) const;

  const std::size_t windowSamples_;
  const std::size_t minSamples_;
  mutable std::mutex mutex_;
  mutable std::deque<Sample> samples_;
  std::int64_t firstSecond_ = -1;
};

}  // namespace korvex
