//===- session/SessionKeeper.cpp - Answering the end of a session for the transfers -===//

#include "session/SessionKeeper.h"

#include "foundation/LogMgr.h"
#include "session/SessionRenewal.h"
#include "tasks/TaskFamily.h"
#include "tasks/TaskManager.h"

#include <vector>

namespace korvex::session {
namespace {

constexpr std::chrono::seconds kRenewalCovers{10};

}  // namespace

SessionKeeper::SessionKeeper(TaskManager& manager, SessionStores& stores, const DeploymentValues& deployment,
                             std::function<void()> refused)
    : manager_(manager), stores_(stores), deployment_(deployment), refused_(std::move(refused)) {
  manager_.AddListener(this);
}

SessionKeeper::~SessionKeeper() { manager_.RemoveListener(this); }

void SessionKeeper::OnTaskFamilyEvent(TaskFamily&, FamilyEventKind, Task*, TaskEvent event, ErrorDetail,
                                      HRESULT error) {
  if (event != TaskEvent::kError || error != kSessionRefused) return;
  pending_ = true;
  if (refused_) refused_();
}

SessionKeeper::Answer SessionKeeper::Handle() {
  if (!pending_.exchange(false)) return Answer::kNone;
  const auto now = std::chrono::steady_clock::now();
  if (now - lastRenewal_ < kRenewalCovers) return Answer::kNone;
  Session session = stores_.GetSession();
  if (RenewSession(session, deployment_)) {
    stores_.UseSession(session);
    lastRenewal_ = now;
    LogMgr::Get().Info("SessionKeeper", "the service ended the session; logged in again");
    return Answer::kRenewed;
  }
  LogMgr::Get().Warn("SessionKeeper", "the service ended the session; no saved password, transfers stopped");
  std::vector<std::uint32_t> active;
  for (const auto& family : manager_.Families()) {
    const FamilyState state = family->state;
    if (state == FamilyState::kQueued || state == FamilyState::kRunning) active.push_back(family->Id());
  }
  (void)manager_.StopFamilies(active);
  return Answer::kStopped;
}

}  // namespace korvex::session
