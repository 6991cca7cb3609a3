//===- app/TransferTexts.h - How the transfer list words things -*- C++ -*-===//
///
/// Sizes, durations and states as the transfer list shows them, and the
/// refusal of a file over the size limit.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "tasks/TaskFamily.h"

#include <QString>

#include <cstdint>
#include <string>

namespace korvex::app {

/// "512 bytes", "1.5 kB", "3.2 MB", "1.0 GB" (powers of 1024), in the
/// default locale, which follows the chosen language.
[[nodiscard]] QString FormatBytes(std::uint64_t bytes);
/// "hh:mm:ss" (hours keep counting past a day).
[[nodiscard]] QString FormatDuration(double seconds);
/// "0x8007000E".
[[nodiscard]] QString HexStatus(HRESULT status);
/// What `status` means to the user, in the language shown: the service's
/// own texts, then the transport and local-disk failures everybody knows,
/// then `detail` (what the failing step said), and only then "Error
/// 0x80004005". A bare code tells the user nothing they can act on.
[[nodiscard]] QString FailureText(HRESULT status, const std::string& detail = {});
/// 0..100; a completed family is 100 whatever its counters say.
[[nodiscard]] int PercentDone(FamilyState state, const FamilyProgress& progress);
/// The last name of a path or address, folders' trailing "/" ignored.
[[nodiscard]] QString EntryName(const QString& path);

/// A service address whose first part is a view's root name in either
/// language ("/My Disk/a/" queued in English), with that root in the language
/// shown now ("/我的网盘/a/" in Chinese); any other text as it is.
[[nodiscard]] std::string ShownServicePath(const std::string& path);

/// "Size limited, ...": the size in kilobytes from 1024 bytes on.
[[nodiscard]] QString SizeLimitedText(bool upload, const QString& path, std::uint64_t bytes);

}  // namespace korvex::app
