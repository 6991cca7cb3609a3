//===- foundation/AutoStart.h - Start the client at log-on ------*- C++ -*-===//
///
/// The "Run" value "KorvexdataVIP_withSync" of the options dialog. On this
/// platform starting at log-on means an XDG autostart entry,
/// UserConfigDir()/autostart/korvexdata.desktop, whose Exec line starts the
/// program; desktop sessions read it at log-in.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace korvex {

/// The value and key through which the registry helpers reach the entry:
/// WriteString, ReadString and DeleteValue on HKCU kRunKey / kRunValueName
/// act on the autostart entry instead of the hive.
inline constexpr std::string_view kRunKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
inline constexpr std::string_view kRunValueName = "KorvexdataVIP_withSync";

/// True when `key`/`name` of HKCU address the Run value (names ignore case).
[[nodiscard]] bool IsRunValue(std::string_view key, std::string_view name);

/// Where the autostart entry lives (follows KORVEX_HOME).
[[nodiscard]] std::filesystem::path AutoStartEntryPath();

/// Enabling writes the entry (atomically) to start `programPath`, which must
/// be an absolute path without line breaks; disabling removes the entry and
/// succeeds when there was none. False when the entry could not be written
/// or removed or the path is unusable; the caller then shows its
/// "Set auto run failed!" message.
[[nodiscard]] bool SetAutoStart(bool enable, const std::string& programPath);

/// True when the entry exists, names a program, and was not switched off
/// by the desktop (Hidden=true or X-GNOME-Autostart-enabled=false).
[[nodiscard]] bool IsAutoStartEnabled();

/// The program the entry starts, empty when there is no usable entry.
[[nodiscard]] std::string AutoStartProgram();

/// The Exec value for `programPath`: quoted when it holds a blank or another
/// reserved character, with the escapes the desktop-entry format requires.
[[nodiscard]] std::string DesktopExecValue(std::string_view programPath);

/// The inverse of DesktopExecValue for the first word of an Exec value.
/// False for a malformed value (unterminated quote).
[[nodiscard]] bool ParseDesktopExecProgram(std::string_view execValue, std::string& program);

}  // namespace korvex
