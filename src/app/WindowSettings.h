//===- app/WindowSettings.h - Display settings the window reads -*- C++ -*-===//
///
/// The per-user display flags under HKCU "SOFTWARE\KorvexDataSMB\common" and
/// what closing the main window does with them. Flags are on only when the
/// text is exactly "1".
///
//===----------------------------------------------------------------------===//
#pragma once

#include <QString>

#include <string_view>

namespace korvex::app {

inline constexpr std::string_view kCommonSubkey = "common";
inline constexpr std::string_view kDisplayTrayIcon = "DisplayTrayIcon";
inline constexpr std::string_view kExitConfirm = "ExitConfirm";

[[nodiscard]] bool ReadFlag(std::string_view name);
[[nodiscard]] bool WriteFlag(std::string_view name, bool on);

enum class CloseAction {
  kHide,  ///< the tray icon stays: closing only hides the window
  kAsk,   ///< ask "Exiting ..., continue?" first
  kExit,
};

/// What closing the window does while the tray icon is (not) shown.
[[nodiscard]] CloseAction DecideClose(bool trayIconShown);

/// A text of the string table in the current language.
[[nodiscard]] QString UiText(unsigned id);

}  // namespace korvex::app
