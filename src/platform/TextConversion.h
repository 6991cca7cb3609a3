//===- platform/TextConversion.h - UTF-8, UTF-16 and code page 936 -*- C++ -*-===//
///
/// Strings are UTF-8 everywhere in the client; UTF-16 appears only inside the
/// binary file formats and where a limit counts UTF-16 code units, and code
/// page 936 (GBK) only where an old peer expects it.
///
/// The UTF conversions never fail: a malformed sequence (bad lead or
/// continuation byte, overlong form, surrogate code point, value above
/// U+10FFFF, lone surrogate in UTF-16) becomes one U+FFFD, and decoding goes on
/// right after the longest valid prefix of the bad sequence, the
/// way the platform's own converters substitute.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>

namespace korvex {

[[nodiscard]] std::u16string Utf8ToUtf16(std::string_view utf8);
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view utf16);

/// Converts through iconv. False, with `out` emptied, when the input is not
/// valid in its encoding or holds a character the other one lacks.
[[nodiscard]] bool Utf8ToGbk(std::string_view in, std::string& out);
[[nodiscard]] bool GbkToUtf8(std::string_view in, std::string& out);

}  // namespace korvex
