//===- update/UpdateFileCheck.h - Is this file ours to run? -----*- C++ -*-===//
///
/// A downloaded program is started and a downloaded module is loaded into
/// the client, so whatever the web site (or anyone between it and us, over
/// plain http) answers must not be taken on trust. A file is accepted only
/// when it is
///   - a whole ELF program or shared object for the machine the client runs
///     on: same class, byte order and machine as the running program, and
///     every segment and section the headers announce lies inside the file
///     (a body cut short fails here even when its headers arrived);
///   - carrying the version marker of the version the description published;
///   - matching the published SHA-256, when the description publishes one.
/// The same first two tests tell whether an installed copy is usable.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "platform/HResult.h"
#include "update/FileVersion.h"
#include "update/UpdateDescription.h"

namespace korvex {

/// Not a whole ELF file for this machine (ERROR_BAD_EXE_FORMAT).
inline constexpr HRESULT kHrNotAProgram = MakeHResult(0x800700C1u);
/// No version marker, or another version than published (ERROR_REVISION_MISMATCH).
inline constexpr HRESULT kHrOtherVersion = MakeHResult(0x8007051Au);
/// The SHA-256 differs from the published one (TRUST_E_BAD_DIGEST).
inline constexpr HRESULT kHrDigestMismatch = MakeHResult(0x80096010u);

/// Checks a downloaded `image`, published as `fileName`, against
/// `published`. On failure `reason` says why, for the user ("it is not a
/// program for this computer").
[[nodiscard]] HRESULT CheckDownloadedFile(std::string_view image, const UpdateDescription& published,
                                          std::string_view fileName, std::string& reason);

/// The version of an installed copy at `file` when it is a whole ELF file
/// for this machine with a version marker; a failure (the platform's code
/// for a file that cannot be read) otherwise.
[[nodiscard]] HRESULT QueryUsableFileVersion(const std::filesystem::path& file, FileVersion& version);

/// Lower-case hexadecimal SHA-256 of `data`.
[[nodiscard]] std::string Sha256Hex(std::string_view data);

}  // namespace korvex
