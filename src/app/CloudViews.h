//===- app/CloudViews.h - The disks the cloud pane shows --------*- C++ -*-===//
#pragma once

#include "app/NetDriveDlg.h"
#include "session/SessionStores.h"

#include <vector>

namespace korvex::app {

/// The views of the session's account in the order the pane lists them:
/// "My Disk", "Share for Me", "My Backup", "VEZO Space"; for an access code
/// "My Uploading" alone. Empty, with `status` set, when the first cannot be
/// opened; a later view that fails is left out (and logged).
[[nodiscard]] std::vector<CloudView> CloudViews(session::SessionStores& stores, HRESULT& status);

}  // namespace korvex::app
