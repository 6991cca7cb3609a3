//===- cli/CommandLine.h - korvex's command line ----------------*- C++ -*-===//
///
/// `korvex [GLOBAL OPTIONS] COMMAND [ARGS]`: reads the command line, runs
/// start-up, runs the command and returns the process's exit code (0 done,
/// 1 failed, 2 bad usage). Global options are accepted after the command
/// too ("korvex ls / --json").
///
//===----------------------------------------------------------------------===//
#pragma once

namespace korvex::cli {

/// Never throws.
int RunCommandLine(int argc, char** argv);

}  // namespace korvex::cli
