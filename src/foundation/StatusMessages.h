//===- foundation/StatusMessages.h - User texts for status codes -*- C++ -*-===//
///
/// The client's vocabulary of failures: the service's account, file,
/// directory, link and circle refusals, HTTP statuses and transport errors,
/// each mapped to a text for the user. The process-wide table is built on
/// first use in the language current at that moment and never changes
/// afterwards, so a language switch takes effect at the next start, like
/// every other text.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Language.h"
#include "platform/HResult.h"

#include <cstddef>
#include <string>
#include <unordered_map>

namespace korvex {

class StatusMessages {
 public:
  /// The text returned for a status the table does not hold.
  static constexpr const char* kUnknown = "Unknown error type";

  /// The process-wide table, built once (thread-safe) in CurrentLanguage().
  static const StatusMessages& Get();

  /// A table in `language` (English for kLanguageUnset).
  explicit StatusMessages(LanguageId language);

  /// True and the message when `status` is in the table; otherwise false and
  /// kUnknown, so that a caller with a better text of its own can use it.
  bool Lookup(HRESULT status, std::string& text) const;

  [[nodiscard]] std::size_t Size() const noexcept { return messages_.size(); }
  [[nodiscard]] LanguageId Language() const noexcept { return language_; }

 private:
  LanguageId language_;
  std::unordered_map<HRESULT, std::string> messages_;
};

}  // namespace korvex
