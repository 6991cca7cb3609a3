//===- foundation/ShownText.cpp - Text from outside, made safe to show ----===//

#include "foundation/ShownText.h"

#include <cstdio>

namespace korvex {
namespace {

// Code points a terminal may act on: C0, DEL and C1 (U+0080 to U+009F,
// which some terminals read as 8-bit escape introducers).
bool IsControl(std::string_view text, std::size_t i, std::size_t length) noexcept {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (length == 1) return lead < 0x20 || lead == 0x7F;
  return length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
}

void AppendEscaped(std::string& out, unsigned char byte) {
  switch (byte) {
    case '\t': out += "\\t"; return;
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    default: break;
  }
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\x%02X", byte);
  out += escape;
}

}  // namespace

std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) noexcept {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  const std::size_t length = lead < 0x80                    ? 1
                             : lead >= 0xC2 && lead <= 0xDF ? 2
                             : lead >= 0xE0 && lead <= 0xEF ? 3
                             : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                            : 0;
  if (length == 0 || i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return 0;
  }
  if (lead == 0xE0 && byte(i + 1) < 0xA0) return 0;
  if (lead == 0xED && byte(i + 1) >= 0xA0) return 0;
  if (lead == 0xF0 && byte(i + 1) < 0x90) return 0;
  if (lead == 0xF4 && byte(i + 1) >= 0x90) return 0;
  return length;
}

bool NeedsEscaping(std::string_view text) noexcept {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0 || IsControl(text, i, length)) return true;
    i += length;
  }
  return false;
}

std::string ShownText(std::string_view text) {
  if (!NeedsEscaping(text)) return std::string(text);
  std::string out;
  out.reserve(text.size() + 16);
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8SequenceLength(text, i);
    if (length == 0 || IsControl(text, i, length)) {
      // A C1 control is two bytes; both are shown, so nothing is lost.
      const std::size_t span = length == 0 ? 1 : length;
      for (std::size_t k = 0; k < span; ++k) AppendEscaped(out, static_cast<unsigned char>(text[i + k]));
      i += span;
      continue;
    }
    out.append(text.substr(i, length));
    i += length;
  }
  return out;
}

}  // namespace korvex
