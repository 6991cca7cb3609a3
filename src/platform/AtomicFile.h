//===- platform/AtomicFile.h - Replace a file all at once -------*- C++ -*-===//
///
/// Settings files are rewritten whole; a crash or a full disk halfway
/// through must leave the old content, never a truncated file. The new text
/// goes to a temporary file in the same folder, is flushed to disk, renamed
/// over the old name, and the folder entry is flushed too.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <string_view>

#include "platform/HResult.h"

namespace korvex {

/// What must be on disk when WriteFileAtomically returns.
enum class AtomicDurability {
  kFull,         ///< content and folder entry: the new file survives a power loss
  kContentOnly,  ///< content only: after a power loss either version, each whole
};

/// Writes `content` to `path` atomically with permission bits `mode` (the
/// process umask does not apply). The folder must exist. On failure the old
/// file is untouched, no temporary file is left, and the errno-based code
/// is returned.
[[nodiscard]] HRESULT WriteFileAtomically(const std::filesystem::path& path, std::string_view content,
                                          mode_t mode = 0600,
                                          AtomicDurability durability = AtomicDurability::kFull);

}  // namespace korvex
