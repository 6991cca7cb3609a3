//===- session/OwnedTaskStore.h - Task-store writes only by the owner -*- C++ -*-===//
///
/// A process that shows an account's transfers while another one runs them
/// (the desktop client beside `korvex daemon`) keeps a task manager of its
/// own, whose commands would rewrite records the owner keeps moving. Its
/// manager writes through this store: a write goes on while the process owns
/// the transfers, or while it hands a new family over under the store's
/// lock; any other write is dropped (S_FALSE), and the owner's next save
/// shows the true state again.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "session/TransferOwner.h"
#include "tasks/TaskStore.h"

namespace korvex::session {

class OwnedTaskStore final : public TaskStore {
 public:
  /// Both must outlive this store.
  OwnedTaskStore(TaskStore& inner, const TransferOwner& owner) : inner_(inner), owner_(owner) {}

  [[nodiscard]] HRESULT LoadAll(FamilyMap& families) override { return inner_.LoadAll(families); }
  [[nodiscard]] HRESULT SaveFamily(const TaskFamily& family) override {
    return MayWrite() ? inner_.SaveFamily(family) : S_FALSE;
  }
  [[nodiscard]] HRESULT SaveTask(const Task& task) override { return MayWrite() ? inner_.SaveTask(task) : S_FALSE; }
  /// Passed on whole, so that the inner store can write the tasks together.
  [[nodiscard]] HRESULT SaveTasks(std::span<const Task* const> tasks) override {
    return MayWrite() ? inner_.SaveTasks(tasks) : S_FALSE;
  }
  [[nodiscard]] HRESULT DeleteFamily(std::uint32_t familyId) override {
    return MayWrite() ? inner_.DeleteFamily(familyId) : S_FALSE;
  }
  [[nodiscard]] HRESULT DeleteTask(std::uint32_t familyId, std::uint32_t taskId) override {
    return MayWrite() ? inner_.DeleteTask(familyId, taskId) : S_FALSE;
  }

 private:
  [[nodiscard]] bool MayWrite() const noexcept { return owner_.Owns() || owner_.HoldsStore(); }

  TaskStore& inner_;
  const TransferOwner& owner_;
};

}  // namespace korvex::session
