//===- cli/BackgroundRunner.h - Transfers that go on without a terminal -*- C++ -*-===//
#pragma once

#include "platform/HResult.h"
#include "session/ClientStartup.h"

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvex::cli {

/// Starts `korvex transfers resume IDS` as a detached process (own session,
/// no terminal, output discarded), passing on the options that a fresh
/// process would not find in its environment. The new process waits for
/// the lock like any other runner.
[[nodiscard]] HRESULT SpawnDetachedResume(const std::vector<std::uint32_t>& ids,
                                          const std::vector<std::string>& passOn);

/// The global options a detached korvex must be given: it must reach the
/// service this run reached, whatever its environment or the settings hold
/// by the time it starts.
[[nodiscard]] std::vector<std::string> PassOnFlags(const session::GlobalOptions& options);

/// Starts this program with `words` (after the program name) in a session
/// of its own, standard input from /dev/null and both outputs appended to
/// `logFile` (discarded when empty). `child` receives its pid.
[[nodiscard]] HRESULT SpawnDetached(const std::vector<std::string>& words, const std::string& logFile, pid_t& child);

}  // namespace korvex::cli
