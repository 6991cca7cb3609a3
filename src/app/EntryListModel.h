//===- app/EntryListModel.h - Rows of one store container -------*- C++ -*-===//
///
/// The list of a browsing pane. It knows only the container's row counts
/// up front; a row's record is asked of the store when the view first
/// paints it, and the store fetches the page around it. A folder of 100,000
/// files therefore costs one count and a page per screenful scrolled to.
///
/// Row 0 is the parent row "[..]" everywhere but at the store's root;
/// the rows after it are the store's (sub-containers first, then items).
///
/// The list follows the store's change events: when anyone (a transfer, a
/// backup, the other pane) changes the shown container through the store,
/// the rows are counted again from the cache, shortly after, once for a
/// burst of changes.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "store/DataStore.h"

#include <QAbstractTableModel>
#include <QFileIconProvider>
#include <QMimeDatabase>
#include <QTimer>

#include <functional>
#include <memory>
#include <unordered_map>

namespace korvex::app {

/// What a drag out of the cloud pane carries: the entries' addresses, one a
/// line. Only the local pane of the same process takes it.
inline constexpr const char* kCloudEntriesMimeType = "application/x-korvexdata-cloud-entries";

/// "[..]": the row that leads to the parent container.
inline constexpr const char* kParentRowText = "[..]";

class EntryListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kColumnName, kColumnSize, kColumnModified, kColumnCount };

  explicit EntryListModel(DataStore* store, QObject* parent = nullptr);
  ~EntryListModel() override;

  /// Shows `container`, listing it when the store has not yet. On failure
  /// the model is left showing what it showed before.
  [[nodiscard]] HRESULT SetContainer(const ContainerInfo& container);
  /// Drops the store's listing of the current container and lists it again.
  [[nodiscard]] HRESULT Refresh();
  /// Orders the items by `column`: lists the container again so that pages
  /// arrive in the new order, and sorts what the store already holds.
  [[nodiscard]] HRESULT SortBy(int column, Qt::SortOrder order);

  [[nodiscard]] const ContainerInfo& Container() const noexcept { return container_; }
  [[nodiscard]] DataStore* Store() const noexcept { return store_; }
  [[nodiscard]] bool AtRoot() const;
  [[nodiscard]] bool IsParentRow(int row) const noexcept { return hasParentRow_ && row == 0; }
  /// The record of `row`, fetched when needed; null for the parent row, a
  /// row out of range, or a page the store could not fetch.
  [[nodiscard]] const ObjectInfo* Entry(int row) const;
  /// The row of the sub-container named `name`, or -1.
  [[nodiscard]] int FindContainerRow(const std::string& name) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  /// In-place rename. Refused names are reported by `renameRefused`.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  /// Rows become draggable once the pane says what a drag of them carries.
  using DragSource = std::function<QMimeData*(const std::vector<int>& rows)>;
  void SetDragSource(DragSource source) { dragSource_ = std::move(source); }
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }

 signals:
  void renameRefused(const QString& message);

 private:
  [[nodiscard]] HRESULT Load(const ContainerInfo& container);
  [[nodiscard]] QIcon IconOf(const ObjectInfo& entry) const;
  [[nodiscard]] HRESULT Rename(const ObjectInfo& entry, const std::string& newName);
  /// A change event for `uri`, on the model's thread.
  void OnStoreChanged(const QString& uri);

  DataStore* store_;
  std::uint64_t changeListener_ = 0;
  QTimer* reload_;  // gathers a burst of change events into one recount
  ContainerInfo container_;
  bool hasParentRow_ = false;
  int containers_ = 0;
  int items_ = 0;
  mutable std::unordered_map<int, std::unique_ptr<ObjectInfo>> rows_;
  DragSource dragSource_;
  QFileIconProvider icons_;
  QMimeDatabase mimeTypes_;
};

}  // namespace korvex::app
