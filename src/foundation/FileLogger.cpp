//===- foundation/FileLogger.cpp - Log lines appended to a file -----------===//

#include "foundation/FileLogger.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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

bool FileLogger::Reopen(bool truncate) {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  // Trace lines can hold secrets (a proxy address with its password, whole
  // service answers), so the file is the user's alone whatever the umask,
  // and no child process inherits the handle.
  const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : O_APPEND);
  const int fd = ::open(path_.c_str(), flags, 0600);
  // A file left by an older version keeps its looser mode until fixed here.
  if (fd >= 0 && ::fchmod(fd, 0600) == 0) file_ = ::fdopen(fd, truncate ? "wb" : "ab");
  if (fd >= 0 && file_ == nullptr) ::close(fd);
  openState_ = file_ ? 1 : -1;
  return file_ != nullptr;
}

void FileLogger::WriteLine(std::string_view line) {
  if (openState_ == 0) Reopen(/*truncate=*/!append_);
  if (openState_ != 1) return;

  const std::uint32_t count = gLineCount.load(std::memory_order_relaxed) + 1;
  if (count > lineLimit_) {
    gLineCount.store(0, std::memory_order_relaxed);
    // If the file cannot be opened again (folder removed, disk trouble) the
    // logger goes silent instead of writing through a closed handle.
    if (!Reopen(/*truncate=*/true)) return;
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
