//===- app/NetworkResume.cpp - Going on when the network returns ----------===//

#include "app/NetworkResume.h"

#include "foundation/LogMgr.h"
#include "tasks/TaskErrorRules.h"
#include "tasks/TaskManager.h"

namespace korvex::app {

std::size_t ResumeAfterNetworkReturn(TaskManager& manager) {
  std::size_t resumed = 0;
  for (const auto& family : manager.Families()) {
    if (family->state != FamilyState::kStopped || family->canceling != 0) continue;
    const HRESULT error = family->lastError;
    if (error == E_ABORT) continue;  // the user's pause
    if (Failed(error)) {
      const ErrorRuleOutcome rule = ApplyErrorRules({error, family->Direction(), 0, false});
      if (rule.action == ErrorRuleOutcome::Action::kReport && rule.detail == ErrorDetail::kFamilyStops) continue;
    }
    if (manager.ResumeFamily(family->Id())) ++resumed;
  }
  LogMgr::Get().Debug("CMainDlg", "network returned, %zu transfer(s) resumed", resumed);
  return resumed;
}

}  // namespace korvex::app
