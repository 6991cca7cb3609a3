//===- app/TransferListModel.h - Rows of the transfer list ------*- C++ -*-===//
///
/// One row per transfer family, in the order the families were added. The
/// model listens to the task manager. Its calls arrive on executor threads
/// (progress comes with every block), so the listener only records which
/// families changed and posts one refresh to the GUI thread; rows are read
/// and changed there alone. A one-second tick brings speed, time left and
/// elapsed time up to date in between.
///
/// A family that reaches "completed", or stops on an error rather than by the
/// user's pause, is announced once through familyFinished().
///
//===----------------------------------------------------------------------===//
#pragma once

#include "tasks/TaskFamily.h"
#include "tasks/TaskFamilyEventListener.h"

#include <QAbstractTableModel>
#include <QTimer>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

namespace korvex {
class TaskManager;
}

namespace korvex::app {

class TransferListModel : public QAbstractTableModel, public TaskFamilyEventListener {
  Q_OBJECT
 public:
  enum Column { kName, kKind, kDirection, kSize, kProgress, kSpeed, kRemain, kElapsed, kStatus, kLocalPath, kNetUri, kColumnCount };
  /// The progress column's value in percent (0..100) under this role.
  static constexpr int kPercentRole = Qt::UserRole + 1;

  /// Lists the manager's families and registers as its listener; `manager`
  /// must outlive the model.
  explicit TransferListModel(TaskManager& manager, QObject* parent = nullptr);
  ~TransferListModel() override;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  [[nodiscard]] std::shared_ptr<TaskFamily> FamilyAt(int row) const;
  [[nodiscard]] int RowOf(std::uint32_t familyId) const;
  [[nodiscard]] std::vector<std::uint32_t> FamilyIds() const;

  /// The state text the list shows for `family`.
  [[nodiscard]] static QString StateText(const TaskFamily& family);
  /// Local and service ends of `family`, whichever way it moves.
  [[nodiscard]] static QString LocalEnd(const TaskFamily& family);
  /// The service end names its view's root in the language shown now,
  /// whichever language the family was queued in.
  [[nodiscard]] static QString ServiceEnd(const TaskFamily& family);

  void OnTaskFamilyEvent(TaskFamily& family, FamilyEventKind kind, Task* task, TaskEvent event, ErrorDetail detail,
                         HRESULT error) override;

 signals:
  /// `succeeded` false: the family stopped on `error`.
  void familyFinished(std::uint32_t familyId, bool succeeded, HRESULT error);

 private:
  struct Row {
    std::shared_ptr<TaskFamily> family;
    FamilyState lastState = FamilyState::kQueued;
    /// (seconds on a steady clock, bytes done) of the last few ticks, for
    /// the speed over a short window rather than the whole run.
    std::deque<std::pair<double, std::uint64_t>> samples;
    double speed = 0;
  };

  /// GUI thread: applies what the listener recorded.
  void ApplyPending();
  void Tick();
  void AddRow(std::shared_ptr<TaskFamily> family);
  void UpdateRow(int row);
  [[nodiscard]] QVariant DisplayText(const Row& row, int column) const;

  TaskManager& manager_;
  std::vector<Row> rows_;
  QTimer tick_;

  std::mutex pendingMutex_;  // taken by executor threads
  std::set<std::uint32_t> pending_;  // families added, removed or changed since the last refresh
  std::atomic<bool> refreshPosted_{false};
};

}  // namespace korvex::app
