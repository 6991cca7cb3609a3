//===- app/TransferListCtrl.h - The transfer list under the panes -*- C++ -*-===//
///
/// Shows the families of the session's task manager and carries the
/// transfer commands: start, pause, delete, start all, pause all, clear
/// completed, skip error and view detail.
///
/// Deleting an unfinished family cancels it (its tasks undo what they began
/// on the target and drop their files) and removes it once the cancel has
/// run; a completed one is removed at once.
///
/// Automatic skipping: a few seconds after a family stopped on a failing
/// task, that task is given up (and recorded in the family) and the family
/// goes on with the rest, so that one unreadable file does not hold up a
/// whole folder. Left waiting are a pause, what only the user can settle
/// (an existing target: overwrite or not; a full disk or quota, which every
/// following task would meet as well) and what the network's return mends.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <QWidget>

#include <cstdint>
#include <set>
#include <vector>

class QMenu;
class QTableView;
class QTimer;

namespace korvex {
class TaskManager;
}

namespace korvex::app {

class TransferListModel;
class CConflictAsker;

class CTransferListCtrl : public QWidget {
  Q_OBJECT
 public:
  /// `manager` must outlive the control.
  explicit CTransferListCtrl(TaskManager& manager, QWidget* parent = nullptr);
  ~CTransferListCtrl() override;

  [[nodiscard]] TransferListModel* Model() const noexcept { return model_; }
  [[nodiscard]] QTableView* View() const noexcept { return view_; }
  /// The transfer menu, for the window's menu bar.
  [[nodiscard]] QMenu* Menu() const noexcept { return menu_; }

  // The commands; the selected ones act on the selected rows.
  void StartSelected();
  void PauseSelected();
  /// Asks first unless `confirm` is false.
  void DeleteSelected(bool confirm = true);
  void StartAll();
  void PauseAll();
  void ClearCompleted();
  void SkipError();
  void ViewDetail();
  /// Skips the failing task of every family stopped on an error that may be
  /// skipped without asking; what the window's skip timer runs.
  void SkipErrorsAutomatically();

  /// How long a family stays stopped on an error before its failing task is
  /// skipped.
  static constexpr int kAutoSkipDelayMs = 3000;

 signals:
  /// A family completed, or stopped on an error; `text` says which, for a
  /// notification.
  void transferFinished(const QString& title, const QString& text, bool succeeded);

 private:
  void BuildMenu();
  [[nodiscard]] std::vector<std::uint32_t> SelectedIds() const;
  void OnFamilyFinished(std::uint32_t id, bool succeeded, HRESULT error);

  TaskManager& manager_;
  TransferListModel* model_;
  QTableView* view_;
  QMenu* menu_;
  std::set<std::uint32_t> removeWhenDone_;  // deleted by the user, canceling
  QTimer* autoSkip_;
  CConflictAsker* conflicts_;
};

}  // namespace korvex::app
