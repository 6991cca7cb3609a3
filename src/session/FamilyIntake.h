//===- session/FamilyIntake.h - The owner's door for handed-over families -*- C++ -*-===//
///
/// Other processes write the families they hand over into the task store
/// and leave them there; the owner looks at the folder's family files twice
/// a second and adds each family it has not seen to its manager. A look is
/// a directory listing; the store is read only when a new id shows up.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/Event.h"
#include "platform/HResult.h"

#include <memory>
#include <thread>

namespace korvex {
class TaskManager;
class TaskStore;
}  // namespace korvex

namespace korvex::session {

class TransferOwner;

class FamilyIntake {
 public:
  /// All three must outlive the intake.
  FamilyIntake(TransferOwner& owner, TaskStore& store, TaskManager& manager);
  /// Stops the thread and waits for it.
  ~FamilyIntake();
  FamilyIntake(const FamilyIntake&) = delete;
  FamilyIntake& operator=(const FamilyIntake&) = delete;

  [[nodiscard]] HRESULT Start();
  /// Adds the families that appeared since the last look; also what the thread does.
  void TakeIn();

 private:
  TransferOwner& owner_;
  TaskStore& store_;
  TaskManager& manager_;
  std::unique_ptr<Event> stop_;
  std::thread thread_;
};

}  // namespace korvex::session
