//===- app/UpdateSteps.cpp - Start-up's calls into the self-update --------===//

#include "app/UpdateSteps.h"

namespace korvex::app {

// TODO(#19): the self-update fills both steps; until it lands, "update"
// installs nothing and start-up goes on as for any other command line.
bool RunUpdateInstall(const std::string& commandLine) {
  (void)commandLine;
  return false;
}

void RunStartupUpdateCheck() {}

}  // namespace korvex::app
