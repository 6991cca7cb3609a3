//===- app/DataStoreDlgBase.h - One browsing pane over a store --*- C++ -*-===//
///
/// What the cloud pane and the local pane share: a caption, an address box,
/// the tool buttons, and the lazy list of the current container. Opening a
/// folder, going back, refreshing, making a new folder, renaming in place
/// and deleting all go through the pane's DataStore; the pane itself only
/// decides what the user meant and reports what the store answered.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "app/EntryListModel.h"
#include "platform/HResult.h"
#include "store/DataStore.h"

#include <QKeySequence>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

class QAction;
class QMimeData;

class QVBoxLayout;
class QLabel;
class QLineEdit;
class QTableView;

namespace korvex::app {

class CDataStoreDlgBase : public QWidget {
  Q_OBJECT
 public:
  CDataStoreDlgBase(const QString& caption, DataStore* store, QWidget* parent = nullptr);

  /// Lists the store's root; a failure is shown in the pane and returned.
  [[nodiscard]] HRESULT ShowRoot();
  /// Opens `container`, remembering the current one for "Back".
  [[nodiscard]] HRESULT Open(const ContainerInfo& container);
  [[nodiscard]] HRESULT GoUp();
  [[nodiscard]] HRESULT GoBack();
  [[nodiscard]] HRESULT Refresh();
  /// Creates "New folder" (or the first free "New folder (n)") in the
  /// current container and opens its name for editing.
  [[nodiscard]] HRESULT NewFolder();
  /// Asks for confirmation, then deletes the selected entries. S_FALSE when
  /// nothing was selected or the user declined.
  [[nodiscard]] HRESULT DeleteSelection();
  void RenameSelection();

  [[nodiscard]] EntryListModel* Model() const noexcept { return model_; }
  [[nodiscard]] QTableView* View() const noexcept { return view_; }
  /// The selected rows in list order, the parent row left out.
  [[nodiscard]] std::vector<int> SelectedRows() const;
  /// Copies of the records of the selected rows, in list order.
  [[nodiscard]] std::vector<std::shared_ptr<ObjectInfo>> SelectedEntries() const;

  /// Adds a command to the list's context menu (before `before` when given)
  /// with `keys` working while the list has the focus.
  /// `command` (a CloudCommand) lets a pane offer the command only where
  /// it applies.
  QAction* AddCommand(const QString& text, const QKeySequence& keys, std::function<void()> action,
                      QAction* before = nullptr, int command = 0);
  void AddButton(const QString& text, std::function<void()> action, int command = 0);
  /// Shows what failed (with the store's own words when it has some) below
  /// the list, what the user cancelled (E_ABORT), or clears the line after
  /// a success.
  void ShowStatus(HRESULT status, const QString& what);
  void ShowNotice(const QString& text);

  /// Whether `command` (a CloudCommand) may be used on the selection in the
  /// folder shown; a pane without rights permits everything.
  [[nodiscard]] virtual bool Permits(int command) const {
    (void)command;
    return true;
  }

  [[nodiscard]] static std::shared_ptr<ObjectInfo> CopyEntry(const ObjectInfo& entry);

  /// Gives DeleteSelection() a question of its own for entries that need
  /// one (an empty answer keeps the usual question).
  using DeleteQuestion = std::function<QString(const std::vector<std::shared_ptr<ObjectInfo>>& entries)>;
  void SetDeleteQuestion(DeleteQuestion question) { deleteQuestion_ = std::move(question); }
  /// Deleting here cannot be undone (no trash): the question says so.
  void SetDeletesPermanently(bool permanent) { deletesPermanently_ = permanent; }
  /// What the address box shows at the top instead of the root's name.
  void SetRootLabel(const QString& label) { rootLabel_ = label; }

 signals:
  /// Something was dropped that this pane takes; emitted after the drop has
  /// ended, so that handlers may ask the user.
  void dropped(const QStringList& localPaths, const QStringList& cloudUris);
  /// DeleteSelection() deleted what the user confirmed (some may have failed).
  void entriesDeleted();

 protected:
  /// A double-clicked folder (or its parent row): opened by default.
  virtual void OpenFolder(const ContainerInfo& container) { (void)Open(container); }
  /// A double-clicked file: panes decide what opening one means.
  virtual void OpenItem(const ItemInfo& item) { (void)item; }
  /// Whether a drop of `data` means something here; none by default.
  [[nodiscard]] virtual bool TakesDrop(const QMimeData& data) const {
    (void)data;
    return false;
  }
  bool eventFilter(QObject* watched, QEvent* event) override;
  /// Enables each button that carries a command by `permits`.
  void EnableButtons(const std::function<bool(int command)>& permits);

 private:
  void Activate(const QModelIndex& index);
  void ShowAddress();
  [[nodiscard]] HRESULT DeleteEntry(const ObjectInfo& entry);

  EntryListModel* model_;
  std::vector<ContainerInfo> history_;
  QLineEdit* address_ = nullptr;
  QTableView* view_ = nullptr;
  QVBoxLayout* buttons_ = nullptr;  // rows of buttons
  std::vector<std::pair<QWidget*, int>> commandButtons_;
  QLabel* status_ = nullptr;
  DeleteQuestion deleteQuestion_;
  bool deletesPermanently_ = false;
  QString rootLabel_;
};

}  // namespace korvex::app
