//===- platform/Process.h - Starting other programs -------------*- C++ -*-===//
///
/// Stands in for the shell's "open" of a program: the program runs on its
/// own with the caller's environment and standard streams, and the caller
/// may wait for it or leave it running after its own end.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/HResult.h"

namespace korvex {

/// Starts `program` with `args` (argv[1] onward). `pid`, when given,
/// receives the child's id for WaitForProcess; without it the child is
/// never waited for. The platform error when it cannot be started.
[[nodiscard]] HRESULT StartProcess(const std::filesystem::path& program, const std::vector<std::string>& args,
                                   pid_t* pid = nullptr);

/// Waits for a child started with a `pid` and returns its exit code (128 +
/// signal number when a signal ended it).
[[nodiscard]] HRESULT WaitForProcess(pid_t pid, int& exitCode);

/// The running program's own file.
[[nodiscard]] std::filesystem::path RunningProgramPath();

}  // namespace korvex
