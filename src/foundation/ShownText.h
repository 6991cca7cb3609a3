//===- foundation/ShownText.h - Text from outside, made safe to show -*- C++ -*-===//
///
/// Names, messages and display names come from the service (or from a
/// file system) and are printed to a terminal or written to the log. A
/// terminal obeys what it is sent: an escape sequence in a file name could
/// move the cursor, rewrite a line ("Logged in as root") or set the window
/// title. What is shown therefore never carries a control character or a
/// byte that is not UTF-8; each becomes a visible escape.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace korvex {

/// The length of the well-formed UTF-8 sequence at `text[i]`, or 0 when the
/// bytes there are not one (overlong forms and surrogates included).
[[nodiscard]] std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) noexcept;

/// `text` with every C0 and C1 control character, DEL and every byte that
/// is not part of valid UTF-8 written as "\xNN" (tab, line feed and carriage
/// return as "\t", "\n" and "\r"); everything else unchanged.
[[nodiscard]] std::string ShownText(std::string_view text);

/// True when ShownText would change `text`.
[[nodiscard]] bool NeedsEscaping(std::string_view text) noexcept;

}  // namespace korvex
