//===- cli/TransferRunner.h - One runner of an account's transfers -*- C++ -*-===//
///
/// The families of an account live in one task store that several korvex
/// processes may open: a `put` in one terminal, a `--background` runner, a
/// `transfers resume` in another. Two processes running the same family
/// would send its groups twice and overwrite each other's bitmaps, so the
/// process that runs transfers holds an advisory lock on the store's folder
/// (released by the kernel when the process dies, also on SIGKILL), and the
/// lock file names its pid so that `transfers stop` can ask it to stop.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace korvex::cli {

class TransferLock {
 public:
  TransferLock() = default;
  ~TransferLock();
  TransferLock(const TransferLock&) = delete;
  TransferLock& operator=(const TransferLock&) = delete;

  /// Takes the lock of the task store in `folder`, waiting while another
  /// process holds it (saying so once on standard error). Each wait step
  /// calls `busy` with the holder's pid, which may ask it to stop. E_ABORT
  /// when `interrupted` turns true first.
  [[nodiscard]] HRESULT Acquire(const std::filesystem::path& folder, const std::atomic<bool>& interrupted,
                                void (*busy)(pid_t holder) = nullptr);

 private:
  int fd_ = -1;
};

/// Starts `korvex transfers resume IDS` as a detached process (own session,
/// no terminal, output discarded), passing on the options that a fresh
/// process would not find in its environment. The new process waits for
/// the lock like any other runner.
[[nodiscard]] HRESULT SpawnDetachedResume(const std::vector<std::uint32_t>& ids,
                                          const std::vector<std::string>& passOn);

}  // namespace korvex::cli
