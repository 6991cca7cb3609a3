//===- app/DataStoreDlgBase.cpp - One browsing pane over a store -----------===//

#include "app/DataStoreDlgBase.h"

#include "app/CloudMenus.h"
#include "app/NameRules.h"

#include <QAction>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>
#include <memory>

namespace korvex::app {
namespace {

// A list that tells whether a name is being edited in it: the listing waits
// for the edit to end, since a reset would take the editor away mid-word.
class PaneView : public QTableView {
 public:
  using QTableView::QTableView;
  [[nodiscard]] bool Editing() const { return state() == QAbstractItemView::EditingState; }
};

}  // namespace

CDataStoreDlgBase::CDataStoreDlgBase(const QString& caption, DataStore* store, QWidget* parent)
    : QWidget(parent), model_(new EntryListModel(store, this)) {
  address_ = new QLineEdit(this);
  address_->setReadOnly(true);
  auto* top = new QHBoxLayout;
  top->addWidget(new QLabel(caption, this));
  top->addWidget(address_, 1);

  auto* view = new PaneView(this);
  view_ = view;
  view_->setModel(model_);
  model_->SetReloadHold([view] { return view->Editing(); });
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  // Names are edited only when asked for (F2, "Rename", a new folder): a
  // click on a selected row that started an edit would let the next key
  // (Ctrl+U wipes the line) destroy the name.
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setShowGrid(false);
  view_->setWordWrap(false);
  view_->verticalHeader()->hide();
  // Fixed row heights keep the view from asking for every row's size, which
  // would fetch the whole folder from the store.
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  view_->setColumnWidth(EntryListModel::kColumnSize, fontMetrics().horizontalAdvance("0000.0 bytes  "));
  view_->setColumnWidth(EntryListModel::kColumnModified, fontMetrics().horizontalAdvance("00 Sep 0000 00:00     "));
  view_->horizontalHeader()->setSectionResizeMode(EntryListModel::kColumnName, QHeaderView::Stretch);
  // The store sorts; the view only shows which column it sorted by.
  view_->horizontalHeader()->setSortIndicatorShown(true);
  view_->horizontalHeader()->setSectionsClickable(true);
  view_->horizontalHeader()->setSortIndicator(EntryListModel::kColumnName, Qt::AscendingOrder);
  connect(view_->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
          [this](int column, Qt::SortOrder order) { ShowStatus(model_->SortBy(column, order), tr("Sorting")); });

  buttons_ = new QVBoxLayout;
  AddButton(tr("Back"), [this] { (void)GoBack(); });
  AddButton(tr("New Folder"), [this] { (void)NewFolder(); }, kCmdNewFolder);
  AddButton(tr("Delete"), [this] { (void)DeleteSelection(); }, kCmdDelete);
  AddButton(tr("Refresh"), [this] { (void)Refresh(); });

  AddCommand(tr("New &Folder"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N), [this] { (void)NewFolder(); },
             nullptr, kCmdNewFolder);
  AddCommand(tr("&Rename"), QKeySequence(Qt::Key_F2), [this] { RenameSelection(); }, nullptr, kCmdRename);
  AddCommand(tr("&Delete"), QKeySequence::Delete, [this] { (void)DeleteSelection(); }, nullptr, kCmdDelete);
  AddCommand(tr("Refresh"), QKeySequence::Refresh, [this] { (void)Refresh(); });
  // Up a level as file managers do; not in the menu, where "[..]" says it.
  for (const QKeySequence& keys : {QKeySequence(Qt::Key_Backspace), QKeySequence(Qt::ALT | Qt::Key_Up)}) {
    auto* up = new QShortcut(keys, view_, nullptr, nullptr, Qt::WidgetShortcut);
    connect(up, &QShortcut::activated, this, [this] { (void)GoUp(); });
  }
  view_->setContextMenuPolicy(Qt::ActionsContextMenu);
  view_->setDragEnabled(true);
  view_->setDragDropMode(QAbstractItemView::DragDrop);
  view_->setDefaultDropAction(Qt::CopyAction);
  view_->viewport()->setAcceptDrops(true);
  // Drops are taken here rather than by the model: they start transfers,
  // which is the window's business, not the listing's.
  view_->viewport()->installEventFilter(this);

  status_ = new QLabel(this);
  status_->setObjectName("statusLine");
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(buttons_);
  layout->addWidget(view_, 1);
  layout->addWidget(status_);

  connect(view_, &QTableView::activated, this, &CDataStoreDlgBase::Activate);
  connect(model_, &EntryListModel::pageFailed, this, [this](HRESULT status) { ShowStatus(status, tr("Listing")); });
  connect(model_, &EntryListModel::renameRefused, this,
          [this](const QString& message) { QMessageBox::warning(this, tr("Rename"), message); });
}

QAction* CDataStoreDlgBase::AddCommand(const QString& text, const QKeySequence& keys, std::function<void()> action,
                                       QAction* before, int id) {
  auto* command = new QAction(text, view_);
  command->setData(id);
  command->setShortcut(keys);
  command->setShortcutContext(Qt::WidgetShortcut);
  connect(command, &QAction::triggered, this, std::move(action));
  view_->insertAction(before, command);
  return command;
}

void CDataStoreDlgBase::EnableButtons(const std::function<bool(int command)>& permits) {
  for (const auto& [button, command] : commandButtons_) button->setEnabled(permits(command));
}

void CDataStoreDlgBase::AddButton(const QString& text, std::function<void()> action, int command) {
  // Short rows keep the pane narrow enough for both panes to fit a laptop
  // screen side by side, however many commands a pane carries.
  constexpr int kButtonsPerRow = 5;
  auto* row = buttons_->count() > 0 ? static_cast<QHBoxLayout*>(buttons_->itemAt(buttons_->count() - 1)->layout())
                                    : nullptr;
  if (row == nullptr || row->count() > kButtonsPerRow) {
    row = new QHBoxLayout;
    row->addStretch();
    buttons_->addLayout(row);
  }
  auto* button = new QPushButton(text, this);
  connect(button, &QPushButton::clicked, this, std::move(action));
  if (command != 0) commandButtons_.emplace_back(button, command);
  // Buttons go before the stretch that closes the row.
  row->insertWidget(row->count() - 1, button);
}

bool CDataStoreDlgBase::eventFilter(QObject* watched, QEvent* event) {
  if (watched != view_->viewport()) return QWidget::eventFilter(watched, event);
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      const bool takes = drag->source() != view_ && drag->mimeData() && TakesDrop(*drag->mimeData());
      if (takes) drag->acceptProposedAction();
      else drag->ignore();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (drop->source() == view_ || !drop->mimeData() || !TakesDrop(*drop->mimeData())) return true;
      QStringList localPaths;
      for (const QUrl& url : drop->mimeData()->urls()) {
        if (url.isLocalFile()) localPaths << url.toLocalFile();
      }
      const QStringList cloudUris = QString::fromUtf8(drop->mimeData()->data(kCloudEntriesMimeType))
                                        .split('\n', Qt::SkipEmptyParts);
      drop->acceptProposedAction();
      // The drag's own loop is still running; questions wait until it ended.
      QTimer::singleShot(0, this, [this, localPaths, cloudUris] { emit dropped(localPaths, cloudUris); });
      return true;
    }
    default: return QWidget::eventFilter(watched, event);
  }
}

void CDataStoreDlgBase::ShowNotice(const QString& text) { status_->setText(text); }

void CDataStoreDlgBase::ShowStatus(HRESULT status, const QString& what) {
  if (Succeeded(status)) {
    status_->clear();
    return;
  }
  // The user stopped waiting: nothing failed, and the line says so.
  if (status == E_ABORT) {
    status_->setText(tr("%1 cancelled.").arg(what));
    return;
  }
  const std::string why = DataStore::LastErrorMessage();
  status_->setText(why.empty() ? tr("%1 failed (error 0x%2).").arg(what).arg(static_cast<quint32>(status), 8, 16, QChar('0'))
                               : tr("%1 failed: %2").arg(what, QString::fromStdString(why)));
}

void CDataStoreDlgBase::ShowAddress() {
  const ContainerInfo& at = model_->Container();
  // A root addressed as "/" reads better under its own name.
  const bool top = at.uri == "/" || model_->AtTop();
  address_->setText(top && !rootLabel_.isEmpty() ? rootLabel_
                                                 : QString::fromStdString(top ? at.name : at.uri));
  view_->scrollToTop();
}

HRESULT CDataStoreDlgBase::ShowRoot() {
  const HRESULT hr = model_->SetContainer(model_->Store()->RootInfo());
  ShowStatus(hr, tr("Listing"));
  if (Succeeded(hr)) ShowAddress();
  return hr;
}

HRESULT CDataStoreDlgBase::Open(const ContainerInfo& container) {
  ContainerInfo previous = model_->Container();
  const HRESULT hr = model_->SetContainer(container);
  ShowStatus(hr, tr("Opening \"%1\"").arg(QString::fromStdString(container.name)));
  if (Failed(hr)) return hr;
  history_.push_back(std::move(previous));
  ShowAddress();
  return S_OK;
}

HRESULT CDataStoreDlgBase::GoUp() {
  ContainerInfo parent;
  if (!model_->ParentOf(model_->Container(), parent)) return S_FALSE;
  return Open(parent);
}

HRESULT CDataStoreDlgBase::GoBack() {
  if (history_.empty()) return S_FALSE;
  const HRESULT hr = model_->SetContainer(history_.back());
  ShowStatus(hr, tr("Listing"));
  if (Failed(hr)) return hr;
  history_.pop_back();
  ShowAddress();
  return S_OK;
}

HRESULT CDataStoreDlgBase::Refresh() {
  const HRESULT hr = model_->Refresh();
  ShowStatus(hr, tr("Refreshing"));
  return hr;
}

void CDataStoreDlgBase::Activate(const QModelIndex& index) {
  if (model_->IsParentRow(index.row())) {
    (void)GoUp();
    return;
  }
  const ObjectInfo* entry = model_->Entry(index.row());
  if (!entry) return;
  if (entry->kind == kObjectContainer) {
    const ContainerInfo container = static_cast<const ContainerInfo&>(*entry);
    OpenFolder(container);
  } else {
    OpenItem(static_cast<const ItemInfo&>(*entry));
  }
}

std::vector<int> CDataStoreDlgBase::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : view_->selectionModel()->selectedRows()) {
    if (!model_->IsParentRow(index.row())) rows.push_back(index.row());
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::shared_ptr<ObjectInfo> CDataStoreDlgBase::CopyEntry(const ObjectInfo& entry) {
  if (entry.kind == kObjectContainer) return std::make_shared<ContainerInfo>(static_cast<const ContainerInfo&>(entry));
  return std::make_shared<ItemInfo>(static_cast<const ItemInfo&>(entry));
}

std::vector<std::shared_ptr<ObjectInfo>> CDataStoreDlgBase::SelectedEntries() const {
  std::vector<std::shared_ptr<ObjectInfo>> entries;
  for (const int row : SelectedRows()) {
    if (const ObjectInfo* entry = model_->Entry(row)) entries.push_back(CopyEntry(*entry));
  }
  return entries;
}

HRESULT CDataStoreDlgBase::NewFolder() {
  if (!Permits(kCmdNewFolder)) {
    ShowNotice(tr("New folders cannot be made here."));
    return S_FALSE;
  }
  DataStore* store = model_->Store();
  const ContainerInfo parent = model_->Container();
  ItemInfo sameName;
  const QString name = NewFolderName([&](const QString& candidate) {
    return store->ContainerExists(parent.uri + candidate.toStdString() + "/") ||
           store->GetItemInfo(parent.uri + candidate.toStdString(), sameName);
  });
  ContainerInfo created;
  created.name = name.toStdString();
  HRESULT hr = store->CreateContainer(parent, created);
  if (Succeeded(hr)) hr = model_->Refresh();
  ShowStatus(hr, tr("Creating a folder"));
  if (Failed(hr)) return hr;
  if (const int row = model_->FindContainerRow(created.name); row >= 0) {
    const QModelIndex index = model_->index(row, EntryListModel::kColumnName);
    // The button that asked keeps the focus otherwise, and the editor
    // closes as soon as it opens.
    view_->setFocus(Qt::OtherFocusReason);
    view_->setCurrentIndex(index);
    view_->scrollTo(index);
    view_->edit(index);
  }
  return S_OK;
}

void CDataStoreDlgBase::RenameSelection() {
  const std::vector<int> rows = SelectedRows();
  if (rows.empty()) return;
  if (!Permits(kCmdRename)) {
    ShowNotice(tr("This cannot be renamed here."));
    return;
  }
  const QModelIndex index = model_->index(rows.front(), EntryListModel::kColumnName);
  view_->setFocus(Qt::OtherFocusReason);
  view_->setCurrentIndex(index);
  view_->edit(index);
}

HRESULT CDataStoreDlgBase::DeleteEntry(const ObjectInfo& entry) {
  DataStore* store = model_->Store();
  if (entry.kind == kObjectContainer) return store->DeleteContainer(static_cast<const ContainerInfo&>(entry));
  return store->DeleteItem(static_cast<const ItemInfo&>(entry));
}

HRESULT CDataStoreDlgBase::DeleteSelection() {
  // Records are copied first: deleting changes the rows under the model.
  const std::vector<std::shared_ptr<ObjectInfo>> entries = SelectedEntries();
  if (entries.empty()) return S_FALSE;
  if (!Permits(kCmdDelete)) {
    ShowNotice(tr("You have no right to delete this."));
    return S_FALSE;
  }
  QString caption = tr("Delete File(s)");
  QString question = tr("Are you sure you want to delete these %1 entries?").arg(entries.size());
  if (entries.size() == 1) {
    const bool folder = entries.front()->kind == kObjectContainer;
    const std::string& name = folder ? static_cast<ContainerInfo&>(*entries.front()).name
                                     : static_cast<ItemInfo&>(*entries.front()).name;
    caption = folder ? tr("Delete Folder") : tr("Delete File");
    question = tr("Are you sure you want to delete \"%1\"?").arg(QString::fromStdString(name));
  }
  if (deleteQuestion_) {
    if (const QString own = deleteQuestion_(entries); !own.isEmpty()) question = own;
  }
  if (deletesPermanently_) question += "\n\n" + tr("This deletes permanently: it cannot be undone.");
  // No is the default: Enter pressed by habit keeps the files.
  if (QMessageBox::question(this, caption, question, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) !=
      QMessageBox::Yes)
    return S_FALSE;
  HRESULT hr = S_OK;
  for (const auto& entry : entries) {
    if (Failed(hr = DeleteEntry(*entry))) break;
  }
  emit entriesDeleted();
  ShowStatus(hr, tr("Deleting"));
  const HRESULT listed = model_->Refresh();
  return Failed(hr) ? hr : listed;
}

}  // namespace korvex::app
