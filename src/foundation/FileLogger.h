//===- foundation/FileLogger.h - Log lines appended to a file ---*- C++ -*-===//
///
/// Writes each line with "\r\n" and flushes it at once, so that the log
/// survives a crash or a forced termination. The file is opened by the first
/// line, not by the constructor, so a logger whose level admits nothing never
/// creates a file. An open failure silences the logger for the rest of the
/// run: logging must never stop the client. Log files are mode 0600 and
/// close-on-exec, because Trace lines may carry secrets.
///
/// All file loggers share one line counter; when it passes a logger's line
/// limit, the logger that receives the next line empties its file first. The
/// counter is process-wide rather than per file because both logs together
/// must stay bounded. It changes only while LogMgr's lock is held.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Logger.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>

namespace korvex {

class FileLogger final : public Logger {
 public:
  /// `append` chooses "ab" over "wb" for the first opening only.
  FileLogger(std::filesystem::path path, std::int32_t level, bool append,
             std::uint32_t lineLimit);
  ~FileLogger() override;

  void WriteLine(std::string_view line) override;
  void Flush() override;

  /// 0 not yet opened, 1 open, -1 opening failed (silent for the run).
  [[nodiscard]] int OpenState() const noexcept { return openState_; }
  [[nodiscard]] const std::filesystem::path& Path() const noexcept { return path_; }

  /// The shared counter of lines written since the last truncation.
  [[nodiscard]] static std::uint32_t LineCount() noexcept;
  /// Sets the shared counter; for tests and for a manager reset.
  static void SetLineCount(std::uint32_t count) noexcept;

 private:
  /// Opens the file (mode 0600, close-on-exec), emptied or for appending.
  bool Reopen(bool truncate);

  std::filesystem::path path_;
  std::FILE* file_ = nullptr;
  bool append_;
  int openState_ = 0;
  std::uint32_t lineLimit_;
};

}  // namespace korvex
