//===- tasks/TaskStore.h - Where families and tasks persist -----*- C++ -*-===//
///
/// The task manager writes every change of a family and every new or changed
/// task through this interface, so that transfers resume after a restart.
/// Saving failures are logged by the store; callers carry on with what they
/// hold in memory.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <span>

#include "platform/HResult.h"

namespace korvex {

class Task;
class TaskFamily;

using FamilyMap = std::map<std::uint32_t, std::shared_ptr<TaskFamily>>;

class TaskStore {
 public:
  virtual ~TaskStore() = default;

  /// Rebuilds every stored family with its tasks queued and adds it to
  /// `families` (by id). Unreadable files are skipped and left alone.
  [[nodiscard]] virtual HRESULT LoadAll(FamilyMap& families) = 0;
  /// Replaces the family's file with its present state.
  [[nodiscard]] virtual HRESULT SaveFamily(const TaskFamily& family) = 0;
  /// Replaces the task's file with its present record.
  [[nodiscard]] virtual HRESULT SaveTask(const Task& task) = 0;
  /// Saves several tasks at once (a folder's children): on success every
  /// one is stored. On failure some may be stored, each whole. A store that
  /// can write them together for less than one by one overrides this.
  [[nodiscard]] virtual HRESULT SaveTasks(std::span<const Task* const> tasks) {
    for (const Task* task : tasks) {
      if (const HRESULT hr = SaveTask(*task); Failed(hr)) return hr;
    }
    return S_OK;
  }
  /// Deletes the family's file and every task file of that family.
  [[nodiscard]] virtual HRESULT DeleteFamily(std::uint32_t familyId) = 0;
  [[nodiscard]] virtual HRESULT DeleteTask(std::uint32_t familyId, std::uint32_t taskId) = 0;
};

}  // namespace korvex
