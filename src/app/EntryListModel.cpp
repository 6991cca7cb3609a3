//===- app/EntryListModel.cpp - Rows of one store container ----------------===//

#include "app/EntryListModel.h"

#include "app/NameRules.h"
#include "app/TransferTexts.h"
#include "store/ShellTree.h"

#include <QApplication>
#include <QDateTime>
#include <QPainter>
#include <QStyle>
#include <QLocale>
#include <QPalette>
#include <QMimeData>

#include <algorithm>

namespace korvex::app {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

const std::string& NameOf(const ObjectInfo& entry) {
  return entry.kind == kObjectContainer ? static_cast<const ContainerInfo&>(entry).name
                                        : static_cast<const ItemInfo&>(entry).name;
}

// The local store's virtual "Computer" folder keeps its English name in
// every address (stored transfers and backups use them); the pane shows it
// in the window's language. Only at the root: a user's own folder of that
// name deeper down is shown as it is.
QString ShownName(const ObjectInfo& entry) {
  if (entry.kind == kObjectContainer &&
      static_cast<const ContainerInfo&>(entry).uri == "/" + std::string(kComputerDisplayName) + "/")
    return EntryListModel::tr("Computer");
  return QString::fromStdString(NameOf(entry));
}

// FILETIME counts 100 ns steps since 1601; Unix time starts 11644473600 s later.
QString FormatFileTime(std::uint64_t fileTime) {
  if (fileTime == 0) return {};
  constexpr std::int64_t kUnixEpochInFileTimeSeconds = 11644473600;
  const auto seconds = static_cast<std::int64_t>(fileTime / 10'000'000) - kUnixEpochInFileTimeSeconds;
  return QLocale().toString(QDateTime::fromSecsSinceEpoch(seconds), QLocale::ShortFormat);
}

// The theme's shared folder where it has one; otherwise the folder with a
// network emblem in its corner, so that the mark shows on any desktop.
QIcon SharedFolderIcon(const QIcon& folder) {
  if (QIcon::hasThemeIcon("folder-publicshare")) return QIcon::fromTheme("folder-publicshare");
  QIcon marked;
  for (const int size : {16, 24, 32, 48}) {
    QPixmap pixmap = folder.pixmap(size);
    QPainter painter(&pixmap);
    const QPixmap emblem = QApplication::style()->standardIcon(QStyle::SP_DriveNetIcon).pixmap(size / 2 + 2);
    painter.drawPixmap(pixmap.width() - emblem.width(), pixmap.height() - emblem.height(), emblem);
    painter.end();
    marked.addPixmap(pixmap);
  }
  return marked;
}

}  // namespace

EntryListModel::EntryListModel(DataStore* store, QObject* parent)
    : QAbstractTableModel(parent), store_(store), reload_(new QTimer(this)) {
  reload_->setSingleShot(true);
  reload_->setInterval(50);
  connect(reload_, &QTimer::timeout, this, [this] {
    // Listed afresh rather than recounted from the cache: a page fetched
    // while the folder changed on the service may hold the new entry in the
    // place of an old one, which the cache cannot tell. A failed listing
    // leaves the rows as they were; the next change or a refresh tries again.
    if (reloadHold_ && reloadHold_()) {
      reload_->start();
      return;
    }
    (void)Refresh();
  });
  Listen(store_);
}

void EntryListModel::Listen(DataStore* store) {
  for (const auto& [listened, id] : changeListeners_) {
    if (listened == store) return;
  }
  // Changes are heard on whichever thread finished the call (a transfer's
  // executor, too): they are handed to the model's thread.
  const std::uint64_t id = store->AddChangeListener([this](const std::string& uri) {
    QMetaObject::invokeMethod(this, [this, changed = QString::fromStdString(uri)] { OnStoreChanged(changed); },
                              Qt::QueuedConnection);
  });
  changeListeners_.emplace_back(store, id);
}

// Removing a listener waits for a change being told on another thread, so
// nothing is handed to this model once it is gone.
EntryListModel::~EntryListModel() {
  for (const auto& [store, id] : changeListeners_) store->RemoveChangeListener(id);
}

void EntryListModel::SetViews(ContainerInfo top, std::vector<ModelView> views) {
  top_ = std::move(top);
  views_ = std::move(views);
  for (const ModelView& view : views_) {
    if (view.store) Listen(view.store);
  }
}

const ModelView* EntryListModel::ViewOf(const std::string& uri) const {
  for (const ModelView& view : views_) {
    if (uri.starts_with(view.root.uri)) return &view;
  }
  return nullptr;
}

const ContainerInfo& EntryListModel::ViewRoot() const {
  if (AtTop()) return top_;
  const ModelView* view = ViewOf(container_.uri);
  return view ? view->root : container_;
}

bool EntryListModel::ParentOf(const ContainerInfo& container, ContainerInfo& parent) const {
  if (views_.empty()) return container.uri != store_->RootInfo().uri && store_->GetParentInfo(container.uri, parent);
  if (container.uri == top_.uri) return false;
  const ModelView* view = ViewOf(container.uri);
  if (view && view->store && container.uri != view->root.uri) return view->store->GetParentInfo(container.uri, parent);
  parent = top_;
  return true;
}

void EntryListModel::OnStoreChanged(const QString& uri) {
  if (!container_.uri.empty() && uri.toStdString() == container_.uri) reload_->start();
}

bool EntryListModel::AtRoot() const { return AtTop() || container_.uri == store_->RootInfo().uri; }

HRESULT EntryListModel::Load(const ContainerInfo& container) {
  EntryCounts counts;
  DataStore* store = store_;
  if (!views_.empty() && container.uri == top_.uri) {
    counts = {S_OK, static_cast<std::int32_t>(views_.size()), 0};
  } else {
    if (!views_.empty()) {
      const ModelView* view = ViewOf(container.uri);
      if (!view || !view->store) return kViewNotOffered;
      store = view->store;
      // Each view keeps its own order; the one shown follows the header.
      if (store != store_) store->SetSortOrder(sortOrder_);
    }
    // A listing can take seconds: the window stays alive meanwhile (and the
    // pump drops what the user does, see WaitIndicator).
    counts = store->GetCounts(container, true);
    if (Failed(counts.status)) return counts.status;
    if (sortsWhole_ && counts.items > 1) {
      if (const HRESULT hr = store->SortItems(container, counts.items, false); Failed(hr)) return hr;
    }
    // The first page of files too, here rather than when the rows paint,
    // where no wait may pump; a failure shows as empty rows as before.
    if (counts.items > 0) (void)store->GetEntryAt(container, counts.containers, true);
  }
  beginResetModel();
  ++shown_;
  wanted_.clear();
  store_ = store;
  container_ = container;
  hasParentRow_ = views_.empty() ? !AtRoot() : !AtTop();
  containers_ = counts.containers;
  items_ = counts.items;
  rows_.clear();
  SortContainers();
  endResetModel();
  return S_OK;
}

void EntryListModel::SortContainers() {
  containerOrder_.clear();
  if (AtTop() || containers_ < 2) return;
  // A listing brings all its folders at once, so ordering them costs no request.
  std::vector<std::pair<QString, int>> keyed;
  keyed.reserve(static_cast<std::size_t>(containers_));
  for (int position = 0; position < containers_; ++position) {
    const EntryAt entry = store_->GetEntryAt(container_, position, false);
    if (Failed(entry.status) || !entry.record) return;  // shown as listed
    keyed.emplace_back(Q(NameOf(*entry.record)).toCaseFolded(), position);
  }
  const bool down = sortOrder_ == kSortNameDescending;
  std::stable_sort(keyed.begin(), keyed.end(), [down](const auto& a, const auto& b) {
    const int order = QString::localeAwareCompare(a.first, b.first);
    return down ? order > 0 : order < 0;
  });
  for (const auto& [key, position] : keyed) containerOrder_.push_back(position);
}

int EntryListModel::StorePosition(int position) const {
  if (position < static_cast<int>(containerOrder_.size())) return containerOrder_[static_cast<std::size_t>(position)];
  return position;
}

HRESULT EntryListModel::SetContainer(const ContainerInfo& container) { return Load(container); }

HRESULT EntryListModel::Refresh() {
  if (AtTop()) return Load(container_);
  store_->InvalidateContainer(container_);
  // The listing is gone from the cache; the record itself is kept, so the
  // container can be listed again from it.
  return Load(container_);
}

HRESULT EntryListModel::SortBy(int column, Qt::SortOrder order) {
  const bool down = order == Qt::DescendingOrder;
  std::uint32_t sortOrder = down ? kSortNameDescending : kSortNameAscending;
  if (column == kColumnSize) sortOrder = down ? kSortSizeDescending : kSortSizeAscending;
  if (column == kColumnModified) sortOrder = down ? kSortTimeDescending : kSortTimeAscending;
  sortOrder_ = sortOrder;
  // The top keeps the views in their own order.
  if (AtTop()) return S_OK;
  store_->SetSortOrder(sortOrder);
  if (const HRESULT hr = Refresh(); Failed(hr)) return hr;
  // Pages still to come arrive in the new order; what the listing already
  // brought (all of a local folder) is sorted where it lies.
  if (!store_->AreAllItemsFetched(container_.uri)) return S_OK;
  if (const HRESULT hr = store_->SortItems(container_, items_, false); Failed(hr)) return hr;
  beginResetModel();
  ++shown_;
  wanted_.clear();
  rows_.clear();
  endResetModel();
  return S_OK;
}

const ObjectInfo* EntryListModel::Entry(int row) const {
  if (IsParentRow(row) || row < 0 || row >= rowCount()) return nullptr;
  const int position = row - (hasParentRow_ ? 1 : 0);
  if (AtTop()) return &views_[static_cast<std::size_t>(position)].root;
  if (auto it = rows_.find(position); it != rows_.end()) return it->second.get();
  // A command asks: the user waits for the answer, as for a listing.
  EntryAt entry = store_->GetEntryAt(container_, StorePosition(position), true);
  // A page that failed is remembered as empty until the next refresh, so
  // that repainting does not send the same failing request again and again.
  if (Failed(entry.status)) entry.record.reset();
  return rows_.emplace(position, std::move(entry.record)).first->second.get();
}

const ObjectInfo* EntryListModel::ShownEntry(int row) const {
  if (IsParentRow(row) || row < 0 || row >= rowCount()) return nullptr;
  const int position = row - (hasParentRow_ ? 1 : 0);
  if (AtTop()) return &views_[static_cast<std::size_t>(position)].root;
  if (auto it = rows_.find(position); it != rows_.end()) {
    // Empty after a failed or cancelled fetch, until a later fetch of the
    // rows around it happens to bring its page; never asked for again.
    if (!it->second) {
      if (EntryAt again = store_->CachedEntryAt(container_, StorePosition(position)); again.status == S_OK)
        it->second = std::move(again.record);
    }
    return it->second.get();
  }
  EntryAt entry = store_->CachedEntryAt(container_, StorePosition(position));
  if (entry.status == S_FALSE) {
    // Fetched after the paint, from the event loop, where a wait may pump.
    if (wanted_.empty()) {
      auto* self = const_cast<EntryListModel*>(this);
      QMetaObject::invokeMethod(self, [self] { self->FetchWanted(); }, Qt::QueuedConnection);
    }
    if (std::find(wanted_.begin(), wanted_.end(), position) == wanted_.end()) wanted_.push_back(position);
    return nullptr;
  }
  if (Failed(entry.status)) entry.record.reset();
  return rows_.emplace(position, std::move(entry.record)).first->second.get();
}

void EntryListModel::FetchWanted() {
  // A nested call (a paint inside this fetch's wait) leaves the new wishes
  // to the loop below.
  if (fetching_) return;
  fetching_ = true;
  const std::uint64_t shown = shown_;
  HRESULT failure = S_OK;
  while (!wanted_.empty() && shown == shown_ && Succeeded(failure)) {
    const int position = wanted_.front();
    wanted_.erase(wanted_.begin());
    if (rows_.count(position) != 0) continue;
    // One fetch brings the page around the row; the others of that page
    // are then in the cache and cost nothing.
    if (store_->CachedEntryAt(container_, StorePosition(position)).status != S_FALSE) continue;
    EntryAt entry = store_->GetEntryAt(container_, StorePosition(position), true);
    if (shown != shown_) break;  // the folder was listed again meanwhile
    if (Failed(entry.status)) {
      // Empty until the next listing: painting again must not ask again,
      // least of all after the user cancelled.
      rows_.emplace(position, nullptr);
      failure = entry.status;
    }
  }
  fetching_ = false;
  if (shown != shown_) return;
  if (Failed(failure)) {
    // The rows painted meanwhile stay empty as well: a cancelled wait that
    // came straight back for the next page would not be a cancel.
    for (const int position : wanted_) rows_.emplace(position, nullptr);
    wanted_.clear();
    emit pageFailed(failure);
  }
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1));
}

int EntryListModel::FindContainerRow(const std::string& name) const {
  const int first = hasParentRow_ ? 1 : 0;
  for (int row = first; row < first + containers_; ++row) {
    if (const ObjectInfo* entry = Entry(row); entry && NameOf(*entry) == name) return row;
  }
  return -1;
}

int EntryListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : containers_ + items_ + (hasParentRow_ ? 1 : 0);
}

int EntryListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kColumnCount; }

bool EntryListModel::IsShared(const ObjectInfo& entry) {
  if (entry.kind != kObjectContainer) return false;
  const std::int32_t kind = static_cast<const ContainerInfo&>(entry).kind;
  return kind == kContainerSharedWithBuddies || kind == kContainerShared;
}

QIcon EntryListModel::IconOf(const ObjectInfo& entry) const {
  if (IsShared(entry)) {
    if (sharedIcon_.isNull()) sharedIcon_ = SharedFolderIcon(icons_.icon(QFileIconProvider::Folder));
    return sharedIcon_;
  }
  if (entry.kind == kObjectContainer) return icons_.icon(QFileIconProvider::Folder);
  const QMimeType type = mimeTypes_.mimeTypeForFile(Q(NameOf(entry)), QMimeDatabase::MatchExtension);
  return QIcon::fromTheme(type.iconName(), icons_.icon(QFileIconProvider::File));
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  if (IsParentRow(index.row())) {
    if (index.column() != kColumnName) return {};
    if (role == Qt::DisplayRole) return QString::fromLatin1(kParentRowText);
    if (role == Qt::DecorationRole) return icons_.icon(QFileIconProvider::Folder);
    return {};
  }
  const bool marks = role == Qt::ForegroundRole || role == Qt::ToolTipRole;
  if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::DecorationRole && !marks) return {};
  const ObjectInfo* entry = ShownEntry(index.row());
  if (!entry) return {};
  const bool isItem = entry->kind == kObjectItem;
  if (marks && IsShared(*entry)) {
    if (role == Qt::ToolTipRole) return tr("Shared with other users");
    return {};
  }
  if (marks) {
    // A file still on its way (an upload on the service, a download on this
    // computer) is shown, greyed, so that nobody takes it for the whole file.
    if (!isItem || static_cast<const ItemInfo*>(entry)->partial == 0) return {};
    if (role == Qt::ToolTipRole) return tr("Not finished: still being transferred");
    return QPalette().brush(QPalette::Disabled, QPalette::Text);
  }
  switch (index.column()) {
    case kColumnName:
      if (role == Qt::DecorationRole) return IconOf(*entry);
      return ShownName(*entry);
    case kColumnSize:
      if (role != Qt::DisplayRole || !isItem) return {};
      return FormatBytes(static_cast<const ItemInfo*>(entry)->size);
    case kColumnModified:
      if (role != Qt::DisplayRole || !isItem) return {};
      return FormatFileTime(static_cast<const ItemInfo*>(entry)->modifyTime);
  }
  return {};
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  switch (section) {
    case kColumnName: return tr("Name");
    case kColumnSize: return tr("Size");
    case kColumnModified: return tr("Modify Time");
  }
  return {};
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags flags = QAbstractTableModel::flags(index);
  // The views themselves are neither renamed nor dragged anywhere.
  if (index.isValid() && !IsParentRow(index.row()) && !AtTop()) {
    if (index.column() == kColumnName) {
      const ObjectInfo* entry = renameRule_ ? ShownEntry(index.row()) : nullptr;
      if (!renameRule_ || (entry && renameRule_(*entry))) flags |= Qt::ItemIsEditable;
    }
    if (dragSource_) flags |= Qt::ItemIsDragEnabled;
  }
  return flags;
}

QMimeData* EntryListModel::mimeData(const QModelIndexList& indexes) const {
  if (!dragSource_) return nullptr;
  std::vector<int> rows;
  for (const QModelIndex& index : indexes) {
    if (index.column() == kColumnName && !IsParentRow(index.row())) rows.push_back(index.row());
  }
  std::sort(rows.begin(), rows.end());
  return rows.empty() ? nullptr : dragSource_(rows);
}

HRESULT EntryListModel::Rename(const ObjectInfo& entry, const std::string& newName) {
  if (entry.kind == kObjectContainer) return store_->RenameContainer(static_cast<const ContainerInfo&>(entry), newName);
  return store_->RenameItem(static_cast<const ItemInfo&>(entry), newName);
}

bool EntryListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::EditRole || !(flags(index) & Qt::ItemIsEditable)) return false;
  const ObjectInfo* entry = Entry(index.row());
  if (!entry) return false;
  const QString name = value.toString();
  if (name == Q(NameOf(*entry))) return false;
  if (const QString refused = RefusedNameMessage(name); !refused.isEmpty()) {
    emit renameRefused(refused);
    return false;
  }
  if (const HRESULT hr = Rename(*entry, name.toStdString()); Failed(hr)) {
    // Given up in the wait window: the old name stays, and nothing failed.
    if (hr == E_ABORT) return false;
    const std::string why = DataStore::LastErrorMessage();
    emit renameRefused(why.empty() ? tr("The name could not be changed (error 0x%1).").arg(static_cast<quint32>(hr), 8, 16, QChar('0'))
                                   : Q(why));
    return false;
  }
  // The row shows the new name at once; the listing that may move it comes
  // once the editor has closed (a reset now would pull it from under the view).
  if (auto it = rows_.find(index.row() - (hasParentRow_ ? 1 : 0)); it != rows_.end() && it->second) {
    ObjectInfo& shown = *it->second;
    (shown.kind == kObjectContainer ? static_cast<ContainerInfo&>(shown).name : static_cast<ItemInfo&>(shown).name) =
        name.toStdString();
  }
  emit dataChanged(index, index);
  reload_->start();
  return true;
}

}  // namespace korvex::app
