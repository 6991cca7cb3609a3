//===- foundation/Logger.cpp - Abstract destination of log lines ----------===//

#include "foundation/Logger.h"

#include <unistd.h>

#include <cassert>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace korvex {

namespace {

constexpr const char* kLevelNames[] = {"TRACE", "DEBUG", "INFO ", "WARN ",
                                       "ERROR", "FATAL", "NONE "};

}  // namespace

const char* Logger::LevelName(std::int32_t level) noexcept {
  if (level < 0 || level >= static_cast<std::int32_t>(std::size(kLevelNames))) return "NONE ";
  return kLevelNames[level];
}

Logger::Logger(std::int32_t level, bool autoFlush) noexcept
    : level_(level), autoFlush_(autoFlush) {}

Logger::~Logger() = default;

std::int32_t Logger::AddRef() noexcept {
  return refCount_.fetch_add(1, std::memory_order_relaxed) + 1;
}

std::int32_t Logger::Release() noexcept {
  const std::int32_t left = refCount_.fetch_sub(1, std::memory_order_acq_rel) - 1;
  assert(left >= 0 && "Logger released more often than referenced");
  if (left == 0) delete this;
  return left;
}

std::string_view Logger::FormatLine(std::int32_t level, const char* category,
                                    const char* message) {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = static_cast<unsigned>(
      std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000);
  std::tm local{};
  localtime_r(&seconds, &local);

  char stamp[48];
  std::snprintf(stamp, sizeof stamp, "%04u-%02u-%02u %02u:%02u:%02u.%03u",
                static_cast<unsigned>(local.tm_year + 1900), static_cast<unsigned>(local.tm_mon + 1),
                static_cast<unsigned>(local.tm_mday), static_cast<unsigned>(local.tm_hour),
                static_cast<unsigned>(local.tm_min), static_cast<unsigned>(local.tm_sec), millis);

  line_.resize(kLineCapacity);
  int written = std::snprintf(line_.data(), line_.size(), "%s-%5s-%04i-%20s-%s", stamp,
                              LevelName(level), static_cast<int>(gettid()),
                              category ? category : "", message ? message : "");
  if (written < 0) written = 0;
  // snprintf reserves the last byte for its terminator, so a cut line keeps
  // kLineCapacity - 1 characters.
  line_.resize(std::min<std::size_t>(static_cast<std::size_t>(written), kLineCapacity - 1));
  return line_;
}

bool Logger::AcceptsCategory(const char* /*category*/) { return true; }

void Logger::Flush() {}

bool Logger::GetAutoFlush() const { return autoFlush_.load(std::memory_order_relaxed); }

void Logger::SetAutoFlush(bool autoFlush) {
  autoFlush_.store(autoFlush, std::memory_order_relaxed);
}

void Logger::Lock() { mutex_.lock(); }

void Logger::Unlock() { mutex_.unlock(); }

}  // namespace korvex
