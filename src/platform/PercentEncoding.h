//===- platform/PercentEncoding.h - %XX escapes for URLs and forms -*- C++ -*-===//
///
/// Request paths and form bodies escape bytes as "%" and two upper-case hex
/// digits. Which bytes stay raw differs by use (form fields keep only ASCII
/// letters and digits; a request line keeps everything but what would break
/// it), so the caller says which bytes to keep.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <string>
#include <string_view>

namespace korvex {

/// `text` with every byte for which `keepRaw(byte)` is false written as %XX.
template <typename KeepRaw>
[[nodiscard]] std::string PercentEncode(std::string_view text, KeepRaw keepRaw) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (keepRaw(byte)) {
      out += c;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 0x0F];
    }
  }
  return out;
}

[[nodiscard]] constexpr bool IsAsciiAlphanumeric(unsigned char byte) noexcept {
  return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9');
}

}  // namespace korvex
