//===- app/WindowSettings.cpp - Display settings the window reads ---------===//

#include "app/WindowSettings.h"

#include "foundation/Registry.h"
#include "foundation/StringTable.h"

namespace korvex::app {

bool ReadFlag(std::string_view name) {
  return ReadString(Hive::CurrentUser, kProductKey, kCommonSubkey, name, "1") == "1";
}

bool WriteFlag(std::string_view name, bool on) {
  return WriteString(Hive::CurrentUser, kProductKey, kCommonSubkey, name, on ? "1" : "0");
}

CloseAction DecideClose(bool trayIconShown) {
  if (trayIconShown) return CloseAction::kHide;
  return ReadFlag(kExitConfirm) ? CloseAction::kAsk : CloseAction::kExit;
}

QString UiText(unsigned id) {
  const std::string_view text = UiString(id);
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace korvex::app
