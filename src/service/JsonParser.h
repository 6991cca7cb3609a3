//===- service/JsonParser.h - Parsing service answers ------------*- C++ -*-===//
///
/// ParseJson turns the bytes of one answer into a JsonValue. It accepts
/// exactly one complete value (surrounding white space allowed) and gives the
/// empty value for anything else, so callers never see a half-built document.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "service/JsonValue.h"

#include <cstddef>
#include <string_view>

namespace korvex {

/// Arrays and objects nested deeper than this are refused: the grammar
/// recurses once per level, and a hostile answer must not exhaust the stack
/// of the connection thread that parses it.
inline constexpr int kMaxJsonDepth = 512;

/// Parses `length` bytes at `data`. Returns the document, or the empty value
/// when the text is not one complete value, nests deeper than kMaxJsonDepth,
/// or holds an integer that does not fit in 64 bits.
///
/// Numbers without ".", "e" or "E" become unsigned 64-bit integers (a leading
/// "-" wraps modulo 2^64); others become 32-bit floats. Escapes are resolved
/// and "\u" code points written as UTF-8, each surrogate half on its own.
/// Of duplicated keys the first one wins. Thread safe.
[[nodiscard]] JsonValue ParseJson(const char* data, std::size_t length);

[[nodiscard]] inline JsonValue ParseJson(std::string_view text) {
  return ParseJson(text.data(), text.size());
}

}  // namespace korvex
