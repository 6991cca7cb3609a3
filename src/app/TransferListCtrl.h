//===- app/TransferListCtrl.h - The transfer list under the panes -*- C++ -*-===//
///
/// Shows the families of a TransferSession and carries the transfer
/// commands: start, pause, delete, start all, pause all, clear completed,
/// skip error and view detail. New transfers enter through StartTransfers,
/// which refuses duplicates and over-sized files with a message first.
///
/// Deleting an unfinished family cancels it (its tasks undo what they began
/// on the target and drop their files) and removes it once the cancel has
/// run; a completed one is removed at once.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "store/ObjectInfo.h"
#include "tasks/TaskFamily.h"

#include <QWidget>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

class QMenu;
class QTableView;

namespace korvex::app {

class TransferListModel;
class TransferSession;

class CTransferListCtrl : public QWidget {
  Q_OBJECT
 public:
  /// Files larger than this are refused before a transfer starts: beyond it
  /// a lost connection costs hours that the user should decide to spend
  /// some other way.
  static constexpr std::uint64_t kSizeLimit = 32ull << 30;

  /// `session` must outlive the control.
  explicit CTransferListCtrl(TransferSession& session, QWidget* parent = nullptr);
  ~CTransferListCtrl() override;

  /// Queues one family per source (local paths for an upload, service
  /// addresses for a download; folders end in "/") into `into`. Duplicates
  /// and over-sized files are refused with a message and skipped. Returns
  /// the ids of the families queued; emits transfersAdded() unless none.
  std::vector<std::uint32_t> StartTransfers(TransferDirection direction, const std::vector<std::string>& sources,
                                            const ContainerInfo& into);

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

 signals:
  void transfersAdded();
  /// A family completed, or stopped on an error; `text` says which, for a
  /// notification.
  void transferFinished(const QString& title, const QString& text, bool succeeded);

 private:
  void BuildMenu();
  [[nodiscard]] std::vector<std::uint32_t> SelectedIds() const;
  void OnFamilyFinished(std::uint32_t id, bool succeeded, HRESULT error);
  /// Shows a message that closes by itself after a while.
  void Notice(const QString& caption, const QString& text);

  TransferSession& session_;
  TransferListModel* model_;
  QTableView* view_;
  QMenu* menu_;
  std::set<std::uint32_t> removeWhenDone_;  // deleted by the user, canceling
};

}  // namespace korvex::app
