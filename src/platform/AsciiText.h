//===- platform/AsciiText.h - Case-insensitive ASCII comparisons -*- C++ -*-===//
///
/// Setting names, cookie names, URL schemes and file extensions compare
/// without regard to letter case, but only for ASCII letters: the result must
/// not change with the process locale, and UTF-8 bytes compare as they are.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <string_view>

namespace korvex {

[[nodiscard]] constexpr char AsciiToLower(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] constexpr bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiToLower(a[i]) != AsciiToLower(b[i])) return false;
  }
  return true;
}

[[nodiscard]] constexpr bool StartsWithIgnoringAsciiCase(std::string_view text,
                                                         std::string_view prefix) noexcept {
  return text.size() >= prefix.size() && EqualsIgnoringAsciiCase(text.substr(0, prefix.size()), prefix);
}

[[nodiscard]] constexpr bool EndsWithIgnoringAsciiCase(std::string_view text,
                                                       std::string_view suffix) noexcept {
  return text.size() >= suffix.size() &&
         EqualsIgnoringAsciiCase(text.substr(text.size() - suffix.size()), suffix);
}

}  // namespace korvex
