//===- cli/PasswordInput.h - Reading a password -----------------*- C++ -*-===//
///
/// Passwords never come from the command line, where other users can read
/// them in the process list: either from the terminal with echo off, or as
/// the first line of standard input (--password-stdin) for scripts.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <string>
#include <string_view>

namespace korvex::cli {

/// Reads one line without its line break. With `fromStdin` it is standard
/// input's first line; otherwise `prompt` is shown on the controlling
/// terminal and the line is read there with echo off (the echo setting is
/// restored also when reading fails). E_ABORT when standard input or the
/// terminal ends before a line; the errno status when there is no terminal.
[[nodiscard]] HRESULT ReadPassword(bool fromStdin, std::string_view prompt, std::string& password);

}  // namespace korvex::cli
