//===- update/UpdateInstall.h - Replacing the installed program -*- C++ -*-===//
///
/// The second half of a self-update. The downloaded program is started as
/// "PROGRAM update TARGET"; it copies itself over TARGET, records the result
/// in HKCU "SOFTWARE\KorvexDataSMB" "AutoUpdateResult" (DWORD) and starts
/// TARGET, which reports the result once and deletes the value.
///
/// The copy goes to a temporary file beside TARGET that is then renamed over
/// it: a program still running from TARGET keeps its old file, and no crash
/// or full disk can leave TARGET half written.
///
///   installer: attempt 1..10 --ok--> result 0 ------------+--> record --> start TARGET
///                  | fails: result = error, pause          |
///                  +--- 10th failure: result = last error -+
///
//===----------------------------------------------------------------------===//
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/HResult.h"

namespace korvex {

inline constexpr const char* kAutoUpdateResultName = "AutoUpdateResult";
/// The command-line word of update-install mode.
inline constexpr std::string_view kUpdateWord = "update";

struct InstallOptions {
  int attempts = 10;
  std::chrono::milliseconds pause{1000};  ///< after every failed attempt
  bool startTarget = true;
};

/// One attempt: copies `source` to a temporary file beside `target` and
/// renames it over `target`, which keeps its permission bits (0755 when it
/// is new). Nothing is recorded.
[[nodiscard]] HRESULT CopyFileOver(const std::filesystem::path& source, const std::filesystem::path& target);

/// Copies `source` over `target` as described above and records the result;
/// returns it.
[[nodiscard]] HRESULT InstallUpdate(const std::filesystem::path& source, const std::filesystem::path& target,
                                    const InstallOptions& options = {});

/// Whether `target` may be replaced by `self` in update-install mode: an
/// absolute path with the same file name, and, when it exists, a program of
/// ours (it carries a version marker). Keeps a mistyped "update FILE" from
/// overwriting some other file with this program.
[[nodiscard]] bool IsInstallTarget(const std::filesystem::path& target, const std::filesystem::path& self);

/// Reads and deletes "AutoUpdateResult"; nothing when no update is pending.
[[nodiscard]] std::optional<HRESULT> TakeAutoUpdateResult();

/// "Update successfully", the privilege text for 0x80070005, otherwise the
/// failure text with the code.
[[nodiscard]] std::string UpdateResultMessage(HRESULT result);

/// Whether the user may replace `target` (the folder must be writable for
/// the rename, the file itself when it exists). A program installed by the
/// package manager into a system folder is not: it is updated there.
[[nodiscard]] bool CanReplaceFile(const std::filesystem::path& target);

}  // namespace korvex
