//===- tasks/SpeedMeter.cpp - Bytes per second over a sliding window ------===//

#include "tasks/SpeedMeter.h"

#include <algorithm>

namespace korvex {
namespace {

std::int64_t SecondOf(SpeedMeter::Clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::seconds>(t.time_since_epoch()).count();
}

}  // namespace

SpeedMeter::SpeedMeter(std::size_t windowSamples, std::size_t minSamples)
    : windowSamples_(std::max<std::size_t>(windowSamples, 1)), minSamples_(minSamples) {}

void SpeedMeter::DropOld(std::int64_t second) const {
  const auto oldest = second - static_cast<std::int64_t>(windowSamples_) + 1;
  while (!samples_.empty() && samples_.front().second < oldest) samples_.pop_front();
}

void SpeedMeter::Add(std::uint64_t bytes, Clock::time_point now) {
  const std::int64_t second = SecondOf(now);
  std::lock_guard lock(mutex_);
  if (firstSecond_ < 0) firstSecond_ = second;
  DropOld(second);
  if (!samples_.empty() && samples_.back().second == second) {
    samples_.back().bytes += bytes;
  } else {
    samples_.push_back({second, bytes});
  }
}

double SpeedMeter::BytesPerSecond(Clock::time_point now) const {
  const std::int64_t second = SecondOf(now);
  std::lock_guard lock(mutex_);
  if (firstSecond_ < 0) return 0;
  DropOld(second);
  const std::int64_t seen = second - firstSecond_ + 1;
  if (samples_.empty() || seen < static_cast<std::int64_t>(minSamples_)) return 0;
  std::uint64_t bytes = 0;
  for (const Sample& s : samples_) bytes += s.bytes;
  const std::int64_t span = std::min<std::int64_t>(seen, static_cast<std::int64_t>(windowSamples_));
  return static_cast<double>(bytes) / static_cast<double>(span);
}

}  // namespace korvex
