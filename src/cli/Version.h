//===- cli/Version.h - The version marker -----------------------*- C++ -*-===//
///
/// Each binary carries the text "KORVEX-FILE-VERSION:a.b.c.d", which the
/// update check finds by scanning the installed file; korvex prints it.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string_view>

namespace korvex::cli {

/// "a.b.c.d", the marker's text after its prefix.
[[nodiscard]] std::string_view VersionText();

}  // namespace korvex::cli
