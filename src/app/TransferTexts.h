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

namespace korvex::app {

/// "512 B", "1.5 KB", "3.2 MB", "1.0 GB".
[[nodiscard]] QString FormatBytes(std::uint64_t bytes);
/// "hh:mm:ss" (hours keep counting past a day).
[[nodiscard]] QString FormatDuration(double seconds);
/// "0x8007000E".
[[nodiscard]] QString HexStatus(HRESULT status);
/// 0..100; a completed family is 100 whatever its counters say.
[[nodiscard]] int PercentDone(FamilyState state, const FamilyProgress& progress);
/// The last name of a path or address, folders' trailing "/" ignored.
[[nodiscard]] QString EntryName(const QString& path);

/// "Size limited, ...": the size in kilobytes from 1024 bytes on.
[[nodiscard]] QString SizeLimitedText(bool upload, const QString& path, std::uint64_t bytes);

}  // namespace korvex::app
