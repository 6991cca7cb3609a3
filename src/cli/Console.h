//===- cli/Console.h - What korvex prints -----------------------*- C++ -*-===//
///
/// Everything the command-line client writes goes through here, so that the
/// human and the machine-readable forms stay consistent: results on standard
/// output (tables, or JSON with --json), failures on standard error as the
/// status-message text followed by the code in "(0x%08X)" form.
///
/// Exit codes: kExitOk on success, kExitFailure when an operation failed,
/// kExitUsage for a command line that cannot be run.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvex::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

/// The status of a failure that its command has reported in full already:
/// the report functions print nothing more for it and return kExitFailure.
inline constexpr HRESULT kFailureReported = MakeHResult(0x8004FFFEu);

/// With --json, a failure is one JSON object on standard output,
/// {"error": TEXT, "code": "0x...", "path": SUBJECT}, so that a reader of
/// the output always gets JSON; the exit status stays the same.
void SetJsonErrors(bool json) noexcept;
[[nodiscard]] bool JsonErrors() noexcept;

/// "korvex: TEXT (0xCODE)" on standard error, where TEXT is `context` (when
/// not empty) and the status message of `status` (or `fallback` when the
/// table has none and a fallback is given). Returns kExitFailure.
int ReportFailure(HRESULT status, std::string_view context = {}, std::string_view fallback = {});

/// "korvex: TEXT (0xCODE)" on standard error. Returns kExitFailure.
int ReportText(HRESULT status, std::string_view text);

/// "korvex: TEXT" on standard error without a code. Returns `exitCode`.
int ReportMessage(std::string_view text, int exitCode = kExitFailure);

/// The status-message text of `status`, or `fallback` (when not empty) for a
/// status the table does not hold.
[[nodiscard]] std::string StatusText(HRESULT status, std::string_view fallback = {});

/// 0 B, 1023 B, 1.0 KiB, 12.3 MiB, 1.5 GiB ...: one decimal from KiB up.
[[nodiscard]] std::string HumanSize(std::uint64_t bytes);

/// A FILETIME as local time "YYYY-MM-DD HH:MM"; "-" for 0.
[[nodiscard]] std::string LocalTimeText(std::uint64_t fileTime);

/// A FILETIME as ISO 8601 in UTC, "YYYY-MM-DDTHH:MM:SSZ"; empty for 0.
[[nodiscard]] std::string IsoUtcText(std::uint64_t fileTime);

/// `text` as a JSON string literal, quotes included. Bytes that are not
/// valid UTF-8 become U+FFFD so that the output always parses.
[[nodiscard]] std::string JsonString(std::string_view text);

/// Left-aligned columns separated by two blanks; the columns listed in
/// `rightAligned` are aligned right (sizes). Widths count code points, so
/// names in Chinese line up as well as a terminal allows.
class Table {
 public:
  explicit Table(std::vector<std::string> header, std::vector<std::size_t> rightAligned = {});
  void AddRow(std::vector<std::string> cells);
  /// Writes the rows to standard output, the header first unless told not to.
  void Print(bool withHeader = true) const;

 private:
  std::vector<std::vector<std::string>> rows_;
  std::vector<std::size_t> rightAligned_;
};

}  // namespace korvex::cli
