//===- cli/BackgroundRunner.h - Transfers that go on without a terminal -*- C++ -*-===//
#pragma once

#include "platform/HResult.h"

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

}  // namespace korvex::cli
