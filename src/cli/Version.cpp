//===- cli/Version.cpp - The version marker -------------------------------===//

#include "cli/Version.h"

namespace korvex::cli {

namespace {

constexpr std::string_view kMarkerPrefix = "KORVEX-FILE-VERSION:";

}  // namespace

// Kept in the binary even though only VersionText() reads it, so that a
// scan of the file finds it.
extern const char kKorvexVersionMarker[];
[[gnu::used]] const char kKorvexVersionMarker[] = "KORVEX-FILE-VERSION:" KORVEX_VERSION_TEXT;

std::string_view VersionText() { return std::string_view(kKorvexVersionMarker).substr(kMarkerPrefix.size()); }

}  // namespace korvex::cli
