//===- session/SessionKeeper.h - Answering the end of a session for the transfers -*- C++ -*-===//
///
/// The service may end a session while families run: every task under way
/// then reports the refusal and, left alone, retries it for ever. The owner
/// of the transfers watches for that refusal and answers it once for all of
/// them: it logs in again with the saved password, and the retrying tasks
/// send the new cookies; without a saved password it stops the families,
/// and the front end asks the user to log in.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Deployment.h"
#include "session/SessionStores.h"
#include "tasks/TaskFamilyEventListener.h"

#include <atomic>
#include <chrono>
#include <functional>

namespace korvex {
class TaskManager;
}  // namespace korvex

namespace korvex::session {

class SessionKeeper final : public TaskFamilyEventListener {
 public:
  enum class Answer {
    kNone,     ///< no refusal since the last answer
    kRenewed,  ///< logged in again; the tasks go on
    kStopped,  ///< no saved password: the families that ran are stopped
  };

  /// Listens to `manager` while it lives. `refused` is called on the
  /// reporting task's thread at each refusal (it must not block); the front
  /// end then calls Handle() where it may wait.
  SessionKeeper(TaskManager& manager, SessionStores& stores, const DeploymentValues& deployment,
                std::function<void()> refused);
  ~SessionKeeper() override;
  SessionKeeper(const SessionKeeper&) = delete;
  SessionKeeper& operator=(const SessionKeeper&) = delete;

  void OnTaskFamilyEvent(TaskFamily& family, FamilyEventKind kind, Task* task, TaskEvent event, ErrorDetail detail,
                         HRESULT error) override;

  /// Answers the refusals reported since the last call. Tasks that were
  /// under way with the old cookies keep reporting for a moment; those that
  /// come within a few seconds of a renewal are answered by it.
  [[nodiscard]] Answer Handle();

 private:
  TaskManager& manager_;
  SessionStores& stores_;
  DeploymentValues deployment_;
  std::function<void()> refused_;
  std::atomic<bool> pending_{false};
  std::chrono::steady_clock::time_point lastRenewal_{};
};

}  // namespace korvex::session
