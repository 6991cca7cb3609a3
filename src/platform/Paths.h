//===- platform/Paths.h - Per-user and machine folders ----------*- C++ -*-===//
///
/// The special folders of the client, following the XDG base directories.
/// KORVEX_HOME=D moves every per-user and machine folder under D (D/config,
/// D/etc, D/data) so that tests and side-by-side installs never touch the
/// real ones; the temporary folder is not moved. Values are read from the
/// environment on every call, so a change of KORVEX_HOME takes effect at once.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>

namespace korvex::paths {

/// $XDG_CONFIG_HOME or ~/.config; $KORVEX_HOME/config when that is set.
std::filesystem::path UserConfigDir();
/// /etc; $KORVEX_HOME/etc when that is set.
std::filesystem::path MachineConfigDir();
/// Roaming application data: $XDG_DATA_HOME or ~/.local/share;
/// $KORVEX_HOME/data when that is set.
std::filesystem::path AppDataDir();
/// $TMPDIR or /tmp.
std::filesystem::path TempDir();
/// $HOME, else the password database's home of the user, else "/".
std::filesystem::path HomeDir();

}  // namespace korvex::paths
