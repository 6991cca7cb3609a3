//===- foundation/FileLogger.cpp - Log lines appended to a file -----------===//

#include "foundation/FileLogger.h"

#include <atomic>
#include <utility>

namespace korvex {

namespace {

// Relaxed atomics only keep a stray direct caller (a test, a logger used
// without the manager) from a data race; the ordering comes from the
// manager's lock.
std::atomic<std::uint32_t> gLineCount{0};

}  // namespace

FileLogger::FileLogger(std::filesystem::path path, std::int32_t level, bool append,
                       std::uint32_t lineLimit)
    : Logger(level, /*autoFlush=*/true),
      path_(std::move(path)),
      append_(append),
      lineLimit_(lineLimit) {}

FileLogger::~FileLogger() {
  if (file_) std::fclose(file_);
}

std::uint32_t FileLogger::LineCount() noexcept {
  return gLineCount.load(std::memory_order_relaxed);
}

void FileLogger::SetLineCount(std::uint32_t count) noexcept {
  gLineCount.store(count, std::memory_order_relaxed);
}

bool FileLogger::Reopen(const char* mode) {
  if (file_) std::fclose(file_);
  file_ = std::fopen(path_.c_str(), mode);
  openState_ = file_ ? 1 : -1;
  return file_ != nullptr;
}

void FileLogger::WriteLine(std::string_view line) {
  if (openState_ == 0) Reopen(append_ ? "ab" : "wb");
  if (openState_ != 1) return;

  const std::uint32_t count = gLineCount.load(std::memory_order_relaxed) + 1;
  if (count > lineLimit_) {
    gLineCount.store(0, std::memory_order_relaxed);
    // If the file cannot be opened again (folder removed, disk trouble) the
    // logger goes silent instead of writing through a closed handle.
    if (!Reopen("wb")) return;
  } else {
    gLineCount.store(count, std::memory_order_relaxed);
  }
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fwrite("\r\n", 1, 2, file_);
}

void FileLogger::Flush() {
  if (file_) std::fflush(file_);
}

}  // namespace korvex
