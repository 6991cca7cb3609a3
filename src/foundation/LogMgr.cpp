//===- foundation/LogMgr.cpp - The process-wide log manager ---------------===//

#include "foundation/LogMgr.h"

#include "foundation/FileLogger.h"
#include "foundation/Logger.h"
#include "foundation/ShownText.h"

#include <cstdio>
#include <cstring>

namespace korvex {

namespace {

constexpr std::size_t kMessageCapacity = 16384;
constexpr char kCutMarker[] = "...";

}  // namespace

LogMgr& LogMgr::Get() {
  static LogMgr instance;
  return instance;
}

LogMgr::~LogMgr() { Reset(); }

void LogMgr::AddLogger(Logger* logger) {
  if (!logger) return;
  logger->AddRef();
  std::lock_guard lock(mutex_);
  head_ = new Node{logger, head_};
}

void LogMgr::Reset() {
  threshold_.store(kLogNone, std::memory_order_relaxed);
  Node* node = nullptr;
  {
    std::lock_guard lock(mutex_);
    node = head_;
    head_ = nullptr;
    FileLogger::SetLineCount(0);
  }
  // Released outside the lock: a logger's destructor may close a file, and
  // nothing can reach these nodes any more.
  while (node) {
    Node* next = node->next;
    node->logger->Release();
    delete node;
    node = next;
  }
}

void LogMgr::Log(std::int32_t level, const char* category, const char* message) {
  if (!message || !Admits(level)) return;
  // Names and messages from the service land in log lines: a line break
  // would forge a line of its own, an escape sequence would act on whoever
  // reads the log in a terminal.
  const std::string shown = ShownText(message);
  message = shown.c_str();
  std::lock_guard lock(mutex_);
  for (Node* node = head_; node; node = node->next) {
    Logger* logger = node->logger;
    if (level < logger->Level() || !logger->AcceptsCategory(category)) continue;
    logger->Lock();
    logger->WriteLine(logger->FormatLine(level, category, message));
    if (logger->GetAutoFlush()) logger->Flush();
    logger->Unlock();
  }
}

void LogMgr::LogV(std::int32_t level, const char* category, const char* format, va_list args) {
  if (!format) return;
  // Room for the cut-off marker behind the last kept character.
  char buffer[kMessageCapacity + sizeof kCutMarker];
  const int needed = std::vsnprintf(buffer, kMessageCapacity + 1, format, args);
  if (needed < 0 || static_cast<std::size_t>(needed) > kMessageCapacity) {
    if (needed < 0) buffer[0] = '\0';
    std::memcpy(buffer + std::strlen(buffer), kCutMarker, sizeof kCutMarker);
  }
  Log(level, category, buffer);
}

// Each entry point tests the threshold before touching its arguments, so a
// disabled call costs one comparison.
void LogMgr::Trace(const char* category, const char* format, ...) {
  if (!Admits(kLogTrace)) return;
  va_list args;
  va_start(args, format);
  LogV(kLogTrace, category, format, args);
  va_end(args);
}

void LogMgr::Debug(const char* category, const char* format, ...) {
  if (!Admits(kLogDebug)) return;
  va_list args;
  va_start(args, format);
  LogV(kLogDebug, category, format, args);
  va_end(args);
}

void LogMgr::Info(const char* category, const char* format, ...) {
  if (!Admits(kLogInfo)) return;
  va_list args;
  va_start(args, format);
  LogV(kLogInfo, category, format, args);
  va_end(args);
}

void LogMgr::Warn(const char* category, const char* format, ...) {
  if (!Admits(kLogWarn)) return;
  va_list args;
  va_start(args, format);
  LogV(kLogWarn, category, format, args);
  va_end(args);
}

void LogMgr::Error(const char* category, const char* format, ...) {
  if (!Admits(kLogError)) return;
  va_list args;
  va_start(args, format);
  LogV(kLogError, category, format, args);
  va_end(args);
}

}  // namespace korvex
