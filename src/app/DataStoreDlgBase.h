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

#include <QWidget>

#include <vector>

class QHBoxLayout;
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

 protected:
  /// A double-clicked file: panes decide what opening one means.
  virtual void OpenItem(const ItemInfo& item) { (void)item; }
  QHBoxLayout* Buttons() const noexcept { return buttons_; }
  void ShowStatus(HRESULT status, const QString& what);

 private:
  void Activate(const QModelIndex& index);
  void ShowAddress();
  [[nodiscard]] HRESULT DeleteEntry(const ObjectInfo& entry);

  EntryListModel* model_;
  std::vector<ContainerInfo> history_;
  QLineEdit* address_ = nullptr;
  QTableView* view_ = nullptr;
  QHBoxLayout* buttons_ = nullptr;
  QLabel* status_ = nullptr;
};

}  // namespace korvex::app
