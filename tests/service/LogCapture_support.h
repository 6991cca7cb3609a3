// A logger that keeps "Category|message" lines for tests that pin log texts.
#pragma once

#include "foundation/LogMgr.h"
#include "foundation/Logger.h"

#include <mutex>
#include <string>
#include <vector>

namespace korvex::testing {

class CapturingLogger : public Logger {
 public:
  CapturingLogger() : Logger(kLogTrace) {}
  std::string_view FormatLine(std::int32_t, const char* category, const char* message) override {
    line_ = std::string(category ? category : "") + "|" + (message ? message : "");
    return line_;
  }
  void WriteLine(std::string_view line) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.emplace_back(line);
  }
  std::vector<std::string> Lines() {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }

 private:
  std::string line_;
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

/// Installs a capturing logger at `threshold` for the lifetime of the scope.
class ScopedLogCapture {
 public:
  explicit ScopedLogCapture(std::int32_t threshold) : logger_(new CapturingLogger) {
    LogMgr::Get().Reset();
    LogMgr::Get().AddLogger(logger_);
    LogMgr::Get().SetThreshold(threshold);
  }
  ~ScopedLogCapture() { LogMgr::Get().Reset(); }
  std::vector<std::string> Lines() { return logger_->Lines(); }

 private:
  CapturingLogger* logger_;  // the manager holds the only reference
};

}  // namespace korvex::testing
