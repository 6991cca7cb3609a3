//===- platform/TextConversion.h - UTF-8, UTF-16 and code page 936 -*- C++ -*-===//
///
/// Strings are UTF-8 everywhere in the client; UTF-16 appears only inside the
/// binary file formats and where a limit counts UTF-16 code units, and code
/// page 936 (GBK) only where an old peer expects it.
///
/// The UTF conversions never fail: a malformed sequence becomes one U+FFFD.
/// A bad lead byte is replaced on its own; a sequence cut short by a byte
/// that is not a continuation byte is replaced up to that byte, where
/// decoding goes on; a complete sequence with a forbidden value (overlong
/// form, surrogate code point, value above U+10FFFF) is replaced as a whole.
/// A lone surrogate in UTF-16 becomes one U+FFFD as well.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korvex {

[[nodiscard]] std::u16string Utf8ToUtf16(std::string_view utf8);
[[nodiscard]] std::string Utf16ToUtf8(std::u16string_view utf16);

/// Converts through iconv. False, with `out` emptied, when the input is not
/// valid in its encoding or holds a character the other one lacks.
[[nodiscard]] bool Utf8ToGbk(std::string_view in, std::string& out);
[[nodiscard]] bool GbkToUtf8(std::string_view in, std::string& out);

/// UTF-8 to the Windows code page `codePage` (936, 1252, 65001, ...) through
/// iconv. False, with `out` emptied, like Utf8ToGbk, and also for a code page
/// iconv does not know.
[[nodiscard]] bool Utf8ToCodePage(std::string_view in, std::uint32_t codePage, std::string& out);

}  // namespace korvex
