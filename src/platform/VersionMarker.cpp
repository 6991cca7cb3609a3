//===- platform/VersionMarker.cpp - The program's file version ------------===//

#include "platform/VersionMarker.h"

#ifndef KORVEX_VERSION
#error "the build defines KORVEX_VERSION from the project version"
#endif

namespace korvex {
namespace {

// "used" keeps the bytes in every binary that links this object even where
// nothing reads them, so a scan of the file always finds them.
[[gnu::used]] constexpr char kMarker[] = "KORVEX-FILE-VERSION:" KORVEX_VERSION;

}  // namespace

std::string_view VersionMarker() noexcept { return {kMarker, sizeof kMarker - 1}; }

std::string_view ProgramVersion() noexcept { return VersionMarker().substr(kVersionMarkerPrefix.size()); }

}  // namespace korvex
