//===- foundation/LogMgr.h - The process-wide log manager -------*- C++ -*-===//
///
/// Every diagnostic line of the client goes through the one LogMgr. A message
/// below the threshold is dropped before anything is formatted, so a disabled
/// call costs one comparison; callers that build costly arguments test
/// Admits() first. Lock order: the manager's lock, then a logger's own.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <mutex>

namespace korvex {

/// Levels as stored in "LogLevel"; a threshold of kLogNone silences everything.
enum LogLevel : std::int32_t {
  kLogTrace = 0,
  kLogDebug = 1,
  kLogInfo = 2,
  kLogWarn = 3,
  kLogError = 4,
  kLogFatal = 5,
  kLogNone = 6,
};

class Logger;

class LogMgr {
 public:
  /// The process-wide manager (lives until static destruction).
  static LogMgr& Get();

  LogMgr() = default;
  virtual ~LogMgr();
  LogMgr(const LogMgr&) = delete;
  LogMgr& operator=(const LogMgr&) = delete;

  /// Adds one reference to `logger` and serves it first from now on. Null is
  /// ignored. Meant for start-up, but safe at any time.
  void AddLogger(Logger* logger);

  /// Drops every logger (one reference each) and resets the threshold to
  /// kLogNone; used by shutdown and by tests that need a clean manager.
  void Reset();

  /// True when a message of `level` would be delivered at all.
  [[nodiscard]] bool Admits(std::int32_t level) const noexcept {
    return level >= threshold_.load(std::memory_order_relaxed);
  }
  [[nodiscard]] std::int32_t Threshold() const noexcept {
    return threshold_.load(std::memory_order_relaxed);
  }
  void SetThreshold(std::int32_t level) noexcept {
    threshold_.store(level, std::memory_order_relaxed);
  }

  /// printf-style entry points. `category` may be null. A message longer than
  /// 16,384 characters is cut there and marked with "...".
  void Trace(const char* category, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void Debug(const char* category, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void Info(const char* category, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void Warn(const char* category, const char* format, ...) __attribute__((format(printf, 3, 4)));
  void Error(const char* category, const char* format, ...) __attribute__((format(printf, 3, 4)));

  /// Delivers an already formatted message to every logger that admits it.
  void Log(std::int32_t level, const char* category, const char* message);

 private:
  void LogV(std::int32_t level, const char* category, const char* format, va_list args);

  struct Node {
    Logger* logger;
    Node* next;
  };

  std::atomic<std::int32_t> threshold_{kLogNone};
  std::mutex mutex_;  // serialises delivery; taken before any logger's lock
  Node* head_ = nullptr;
};

}  // namespace korvex
