//===- update/FileVersion.h - Four-part file versions -----------*- C++ -*-===//
///
/// A version "a.b.c.d" packs into one 64-bit number, 16 bits per part, so
/// that comparing two versions is comparing two integers. A part above 65535
/// would spill into its neighbour and make an older release look newer, so
/// such a text is refused rather than packed.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "platform/HResult.h"

namespace korvex {

using FileVersion = std::uint64_t;

[[nodiscard]] constexpr FileVersion PackVersion(std::uint16_t a, std::uint16_t b, std::uint16_t c,
                                                std::uint16_t d) noexcept {
  return (FileVersion{a} << 48) | (FileVersion{b} << 32) | (FileVersion{c} << 16) | FileVersion{d};
}

/// Reads exactly four decimal numbers of 0..65535 separated by dots;
/// blanks around the whole text are allowed, anything else is not.
[[nodiscard]] bool ParseVersion(std::string_view text, FileVersion& version);

/// "a.b.c.d".
[[nodiscard]] std::string FormatVersion(FileVersion version);

/// The version of the first complete marker in `data` (a whole file's
/// bytes); false when there is none.
[[nodiscard]] bool FindVersionMarker(std::string_view data, FileVersion& version);

/// The version carried by the marker compiled into the binary at `file`.
/// HR_FILE_NOT_FOUND (or another platform code) when the file cannot be
/// read, E_FAIL when it holds no valid marker.
[[nodiscard]] HRESULT QueryFileVersion(const std::filesystem::path& file, FileVersion& version);

}  // namespace korvex
