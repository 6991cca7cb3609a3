//===- store/LocalFileSystem.h - File-system helpers of the local store -*- C++ -*-===//
///
/// Small POSIX helpers shared by the listing and the file operations of
/// ShellFolderDataStoreRemote. Listing and counting must agree entry for
/// entry (the item count sizes the cache, pages are fetched by position),
/// so both go through EnumerateFolder.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace korvex::localfs {

enum class EntryType { kFolder, kFile };

/// Calls `visit` for each folder and regular file in `path`, in directory
/// order, until it returns false. Skipped: "." and "..", symbolic links
/// (a linked folder could loop a recursive transfer), devices, pipes and
/// sockets, and names beginning with "." unless `showHidden`. Returns the
/// opendir failure as an HRESULT, else S_OK.
[[nodiscard]] HRESULT EnumerateFolder(const std::string& path, bool showHidden,
                                      const std::function<bool(std::string_view, EntryType)>& visit);

/// False for a name that could reach outside the folder it is created in:
/// empty, ".", "..", or holding "/" or NUL.
[[nodiscard]] bool IsSafeEntryName(std::string_view name) noexcept;

[[nodiscard]] std::uint64_t FileTimeFromTimespec(const timespec& time) noexcept;
[[nodiscard]] timespec TimespecFromFileTime(std::uint64_t fileTime) noexcept;

/// The path of the folder holding `path` ("/" for a top-level entry).
[[nodiscard]] std::string ParentFolder(const std::string& path);

/// The name a download writes `name` under until it is complete: hidden, and
/// holding the transfer task's id, so that it can never be a file of the
/// user's (".report.pdf.korvex-17.part"). A name too long for the file
/// system loses its `name` part.
[[nodiscard]] std::string PartialFileName(std::string_view name, std::uint32_t taskId);

/// True for a name PartialFileName makes.
[[nodiscard]] bool IsPartialFileName(std::string_view name) noexcept;

/// rename(2) that never replaces an existing entry (errno EEXIST then).
[[nodiscard]] int RenameNoReplace(const std::string& from, const std::string& to) noexcept;

}  // namespace korvex::localfs
