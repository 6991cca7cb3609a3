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
/// A model may show several stores under one virtual top (the cloud
/// pane's "My Cloud" over its views): the top lists each view's root, and
/// opening a folder switches to the store whose root address begins its
/// own (the views' roots are "/<root name>/", so addresses never clash).
/// The parent row of a view's root leads back to the top.
///
/// Painting never waits: a row whose page has not arrived paints empty and
/// asks for the page once the paint is over; the page is then fetched with
/// the pumping wait (busy cursor, the wait window past half a second, and
/// Cancel) and the rows are painted again.
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
#include <utility>
#include <vector>

namespace korvex::app {

/// What a drag out of the cloud pane carries: the entries' addresses, one a
/// line. Only the local pane of the same process takes it.
inline constexpr const char* kCloudEntriesMimeType = "application/x-korvexdata-cloud-entries";

/// "[..]": the row that leads to the parent container.
inline constexpr const char* kParentRowText = "[..]";

/// One root under the top; `store` is null for a view that this service
/// does not offer, which is shown but cannot be opened.
struct ModelView {
  ContainerInfo root;
  DataStore* store = nullptr;
};

/// Opening a view that has no store behind it.
inline constexpr HRESULT kViewNotOffered = MakeHResult(0x80070032u);  // ERROR_NOT_SUPPORTED

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

  /// Puts `views` under the virtual container `top` (its address must be
  /// none of any store's). The model stays where it is until told to open.
  void SetViews(ContainerInfo top, std::vector<ModelView> views);

  [[nodiscard]] const ContainerInfo& Container() const noexcept { return container_; }
  /// The store of the folder shown (at the top: of the view shown last).
  [[nodiscard]] DataStore* Store() const noexcept { return store_; }
  /// At the top, or at the root of a store without a top.
  [[nodiscard]] bool AtRoot() const;
  [[nodiscard]] bool AtTop() const noexcept { return !views_.empty() && container_.uri == top_.uri; }
  /// The root of the view shown (the top itself at the top).
  [[nodiscard]] const ContainerInfo& ViewRoot() const;
  /// The container one level up; false at the top (or a store's root).
  [[nodiscard]] bool ParentOf(const ContainerInfo& container, ContainerInfo& parent) const;
  [[nodiscard]] bool IsParentRow(int row) const noexcept { return hasParentRow_ && row == 0; }
  /// The record of `row`, fetched when needed (with the pumping wait: not
  /// from painting); null for the parent row, a row out of range, or a page
  /// the store could not fetch.
  [[nodiscard]] const ObjectInfo* Entry(int row) const;
  /// The record of `row` as far as it is known without waiting, for what
  /// paints; null while its page has not arrived, which is then asked for
  /// once the paint is over.
  [[nodiscard]] const ObjectInfo* ShownEntry(int row) const;
  /// A folder shared with other users, or a share of another user's.
  [[nodiscard]] static bool IsShared(const ObjectInfo& entry);
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
  /// Which entries may be renamed in place; all of them without a rule.
  using RenameRule = std::function<bool(const ObjectInfo& entry)>;
  void SetRenameRule(RenameRule rule) { renameRule_ = std::move(rule); }
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
  /// For a store whose back end lists in its own order (the local disk):
  /// every listing is fetched whole and sorted here.
  void SetSortsWholeListings(bool whole) { sortsWhole_ = whole; }
  /// While `hold` says so (a name is being edited), listing again after a
  /// change waits.
  void SetReloadHold(std::function<bool()> hold) { reloadHold_ = std::move(hold); }

 signals:
  void renameRefused(const QString& message);
  /// A page asked for by painting could not be fetched (E_ABORT: the user
  /// gave the wait up). Its rows stay empty until the folder is listed again.
  void pageFailed(HRESULT status);

 private:
  [[nodiscard]] HRESULT Load(const ContainerInfo& container);
  /// Fetches the pages painting asked for, one wait at a time.
  void FetchWanted();
  [[nodiscard]] QIcon IconOf(const ObjectInfo& entry) const;
  [[nodiscard]] HRESULT Rename(const ObjectInfo& entry, const std::string& newName);
  /// A change event for `uri`, on the model's thread.
  void OnStoreChanged(const QString& uri);

  /// The view whose root address begins `uri`, or null.
  [[nodiscard]] const ModelView* ViewOf(const std::string& uri) const;
  void Listen(DataStore* store);

  /// The position in the store of the `row`-th shown row (past the parent
  /// row): folders follow the name order, which the store keeps for files only.
  [[nodiscard]] int StorePosition(int position) const;
  void SortContainers();

  DataStore* store_;
  std::vector<std::pair<DataStore*, std::uint64_t>> changeListeners_;
  std::function<bool()> reloadHold_;
  bool sortsWhole_ = false;
  std::vector<int> containerOrder_;  // shown folder -> store position; empty: as listed
  ContainerInfo top_;
  std::vector<ModelView> views_;
  std::uint32_t sortOrder_ = kSortNameAscending;
  QTimer* reload_;  // gathers a burst of change events into one recount
  ContainerInfo container_;
  bool hasParentRow_ = false;
  int containers_ = 0;
  int items_ = 0;
  mutable std::unordered_map<int, std::unique_ptr<ObjectInfo>> rows_;
  mutable std::vector<int> wanted_;  // positions painted before their page came
  bool fetching_ = false;
  std::uint64_t shown_ = 0;  // counts resets: a fetch learns that its rows went
  DragSource dragSource_;
  RenameRule renameRule_;
  QFileIconProvider icons_;
  mutable QIcon sharedIcon_;
  QMimeDatabase mimeTypes_;
};

}  // namespace korvex::app
