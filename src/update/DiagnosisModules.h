//===- update/DiagnosisModules.h - Where the check module lives -*- C++ -*-===//
///
/// The network-check module comes in up to two copies:
///   - the installed one, found from the running program and never from a
///     path fixed when the build was configured: "../lib/korvexdata/" from
///     the program's "bin/" folder (the package, `cmake --install --prefix
///     ANY`), and, for a program run from the build tree, the module built
///     there;
///   - the per-user copy that the updater keeps in the data folder, since
///     the installed one may sit where the user cannot write.
/// The newest usable copy is used; at the same version the installed one.
/// So a published module older than the installed one is never preferred,
/// and a per-user copy that is damaged is passed over instead of used.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "update/FileVersion.h"

namespace korvex {

inline constexpr const char* kDiagnosisLibraryName = "libKorvexDiagnosis.so";

/// The per-user copy: the application-data folder's "KorvexDataSMB/`name`".
[[nodiscard]] std::filesystem::path UserDiagnosisLibraryPath(const std::string& name = kDiagnosisLibraryName);

/// Where the installed module `name` may be, best first (the files need
/// not exist).
[[nodiscard]] std::vector<std::filesystem::path> InstalledDiagnosisLibraryPaths(
    const std::string& name = kDiagnosisLibraryName);

struct DiagnosisModule {
  std::filesystem::path path;
  FileVersion version = 0;
  bool perUser = false;
};

/// The usable copies (whole ELF files for this machine with a version
/// marker) among the installed ones and `userCopy`, newest first.
[[nodiscard]] std::vector<DiagnosisModule> FindDiagnosisModules(const std::string& name,
                                                                const std::filesystem::path& userCopy);

}  // namespace korvex
