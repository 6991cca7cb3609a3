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
#include <span>
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

/// One file of a batch: its path and its new content.
struct AtomicFileWrite {
  std::filesystem::path path;
  std::string_view content;
};

/// Replaces every file of `files` (all in one folder) atomically, with the
/// durability of kFull, at about the cost of one synchronous write: the
/// contents go to disk together, then the renames, then the folder once.
/// On a failure before the renames nothing is replaced and no temporary file
/// is left; a failing rename leaves the files renamed before it in place (each
/// whole) and the rest untouched. Every file stays open until the contents
/// are synced: callers keep a batch well inside the limit of open files.
[[nodiscard]] HRESULT WriteFilesAtomically(std::span<const AtomicFileWrite> files, mode_t mode = 0600);

}  // namespace korvex
