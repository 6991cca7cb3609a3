//===- mount/ErrnoMap.h - Status codes as the kernel wants them -*- C++ -*-===//
///
/// A FUSE operation answers with a negative errno. The stores answer with
/// status codes, some of them the service's own; this is the one place that
/// turns one into the other, and the one log of failures, so that a program
/// retrying a broken file does not flood the log.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <utility>

namespace korvex::mount {

/// The service's "no space left" refusal (the account's quota).
inline constexpr HRESULT kQuotaExceeded = MakeHResult(0x804F0007u);
/// ERROR_DIR_NOT_EMPTY.
inline constexpr HRESULT kFolderNotEmpty = HResultFromWin32(145);

/// The positive errno for `status`: ENOENT for what is missing, EACCES for
/// a right the user lacks, ENOSPC for the quota, EEXIST, ENOTEMPTY, EINVAL,
/// and EIO for everything else (transport faults, timeouts, a service that
/// answered nonsense). 0 for a success.
[[nodiscard]] int ErrnoOf(HRESULT status);

/// Logs each failing (path, status) once, and tells the front end so.
class FailureLog {
 public:
  using Tell = std::function<void(const std::string& line)>;
  explicit FailureLog(Tell tell = {}) : tell_(std::move(tell)) {}

  /// Logs "`what` `path`: 0x..." the first time this path fails with this
  /// status, and returns the negative errno for the answer.
  int Report(const char* what, const std::string& path, HRESULT status);

 private:
  Tell tell_;
  std::mutex mutex_;
  std::set<std::pair<std::string, HRESULT>> told_;
};

}  // namespace korvex::mount
