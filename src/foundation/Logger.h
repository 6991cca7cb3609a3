//===- foundation/Logger.h - Abstract destination of log lines --*- C++ -*-===//
///
/// A logger receives messages that LogMgr admitted, formats them into one
/// line and writes it somewhere. Loggers are reference counted because the
/// manager and whoever created them may both hold one; the last Release()
/// deletes. LogMgr calls Lock(), FormatLine(), WriteLine(), Flush() and
/// Unlock() in that order while holding its own lock, so a logger's lock is
/// always taken second.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

namespace korvex {

class Logger {
 public:
  /// Room for one formatted line; longer lines are cut to fit.
  static constexpr std::size_t kLineCapacity = 32768;

  /// Five-character level names as they appear in a line; out-of-range levels
  /// print as "NONE ".
  [[nodiscard]] static const char* LevelName(std::int32_t level) noexcept;

  explicit Logger(std::int32_t level, bool autoFlush = true) noexcept;
  virtual ~Logger();
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  /// Reference counting; the count starts at 0. Release() deletes the logger
  /// when the count reaches 0 and returns the new count.
  std::int32_t AddRef() noexcept;
  std::int32_t Release() noexcept;

  /// The lowest level this logger writes.
  [[nodiscard]] std::int32_t Level() const noexcept { return level_; }

  /// Builds "time-LEVEL-thread-category-message" in the line buffer and
  /// returns a view of it (valid until the next call). Null category and null
  /// message print as empty texts. Call with the logger locked.
  virtual std::string_view FormatLine(std::int32_t level, const char* category,
                                      const char* message);
  /// Whether the logger wants messages of `category` (null allowed); all here.
  virtual bool AcceptsCategory(const char* category);
  /// Writes one line (without terminator). Call with the logger locked.
  virtual void WriteLine(std::string_view line) = 0;
  virtual void Flush();
  virtual bool GetAutoFlush() const;
  virtual void SetAutoFlush(bool autoFlush);
  virtual void Lock();
  virtual void Unlock();

 private:
  std::atomic<std::int32_t> refCount_{0};
  std::int32_t level_;
  std::atomic<bool> autoFlush_;
  std::mutex mutex_;
  std::string line_;  // reused for every line; guarded by mutex_
};

}  // namespace korvex
