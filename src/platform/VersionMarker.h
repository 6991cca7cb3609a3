//===- platform/VersionMarker.h - The program's file version -----*- C++ -*-===//
///
/// Every binary that links this carries the text "KORVEX-FILE-VERSION:a.b.c.d"
/// in its data, where an updater finds it by scanning the file, the way a
/// version resource is read elsewhere. The number comes from the one version
/// of the build (the project's VERSION in the top CMakeLists.txt), so what
/// the program sends about itself and what an updater reads from the file on
/// disk never differ.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string_view>

namespace korvex {

/// The prefix that a scan of a binary looks for; the four dot-separated
/// numbers follow it directly.
inline constexpr std::string_view kVersionMarkerPrefix = "KORVEX-FILE-VERSION:";

/// The whole marker as embedded: prefix and version.
[[nodiscard]] std::string_view VersionMarker() noexcept;

/// The running program's version, "a.b.c.d".
[[nodiscard]] std::string_view ProgramVersion() noexcept;

}  // namespace korvex
