//===- app/BackupCommands.cpp - The local pane's backup commands ----------===//

#include "app/BackupCommands.h"

#include "app/LocalDriveDlg.h"
#include "app/NameRules.h"
#include "app/NetDriveDlg.h"
#include "app/Notice.h"
#include "app/SessionBackup.h"
#include "tasks/StoreWalk.h"

#include <QAction>
#include <QApplication>
#include <QHelpEvent>
#include <QInputDialog>
#include <QItemSelectionModel>
#include <QMainWindow>
#include <QMessageBox>
#include <QPainter>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QToolTip>

#include <filesystem>

namespace korvex::app {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

std::string Trimmed(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string NameOf(const std::string& path) { return std::filesystem::path(Trimmed(path)).filename().string(); }

/// A typed cloud folder as "/a/b/"; empty when a name in it is not one.
std::string CloudFolderPath(const QString& typed) {
  std::string path = "/";
  for (const QString& name : typed.trimmed().split('/', Qt::SkipEmptyParts)) {
    if (!RefusedNameMessage(name).isEmpty() || name == "." || name == "..") return {};
    path += name.toStdString() + "/";
  }
  return path == "/" ? std::string() : path;
}

/// The id of the cloud folder `target` ("/a/b/" below the root of
/// `store`), or 0 when it is missing but can be made in its parent.
/// HR_FILE_NOT_FOUND when neither the folder nor its parent is there, or
/// when a file has the folder's name.
HRESULT FindTarget(DataStore& store, const std::string& target, std::uint64_t& id) {
  const std::string root = store.RootInfo().uri;
  bool isFolder = false;
  ContainerInfo found;
  ItemInfo file;
  id = 0;
  HRESULT hr = FindByAddress(store, root + target.substr(1), isFolder, found, file);
  if (Succeeded(hr)) {
    if (!isFolder) return HR_FILE_NOT_FOUND;
    if (const auto* tag = boost::any_cast<std::uint64_t>(&found.tag)) id = *tag;
    return S_OK;
  }
  if (hr != HR_FILE_NOT_FOUND) return hr;
  // The first backup makes the folder, but only inside an existing one.
  const std::string parent = target.substr(0, target.rfind('/', target.size() - 2) + 1);
  if (parent == "/") return S_OK;
  hr = FindByAddress(store, root + parent.substr(1), isFolder, found, file);
  return Succeeded(hr) && !isFolder ? HR_FILE_NOT_FOUND : hr;
}

QString StatusTip(std::uint32_t status) {
  const bool paused = (status & kSyncPathPaused) != 0;
  if (status & kSyncPathIsFolder) return paused ? QObject::tr("Backup folder (paused)") : QObject::tr("Backup folder");
  if (status & kSyncPathInsideFolder) return QObject::tr("Inside a backup folder");
  if (status & kSyncPathContainsFolder) return QObject::tr("Holds a backup folder");
  return {};
}

/// Draws the backup emblem on the name column's icon: a filled dot on a
/// backup folder (grey while paused), a ring on a folder that holds one.
class BackupEmblemDelegate : public QStyledItemDelegate {
 public:
  BackupEmblemDelegate(const CBackupCommands& commands, QObject* parent)
      : QStyledItemDelegate(parent), commands_(commands) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QStyledItemDelegate::paint(painter, option, index);
    const std::uint32_t status = commands_.RowStatus(index.row());
    if ((status & (kSyncPathIsFolder | kSyncPathContainsFolder)) == 0) return;
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = option.widget;
    const QStyle* style = widget ? widget->style() : QApplication::style();
    const QRect icon = style->subElementRect(QStyle::SE_ItemViewItemDecoration, &item, widget);
    const int size = std::max(6, icon.height() / 2);
    const QRect dot(icon.right() - size + 2, icon.bottom() - size + 2, size, size);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const QColor color = (status & kSyncPathPaused) ? QColor(128, 128, 128) : QColor(32, 150, 60);
    painter->setPen(QPen(Qt::white, 1));
    painter->setBrush((status & kSyncPathIsFolder) ? QBrush(color) : QBrush(Qt::white));
    painter->drawEllipse(dot);
    if ((status & kSyncPathIsFolder) == 0) {
      painter->setPen(QPen(color, 2));
      painter->drawEllipse(dot.adjusted(2, 2, -2, -2));
    }
    painter->restore();
  }

  bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                 const QModelIndex& index) override {
    const QString tip = StatusTip(commands_.RowStatus(index.row()));
    if (event->type() != QEvent::ToolTip || tip.isEmpty())
      return QStyledItemDelegate::helpEvent(event, view, option, index);
    QToolTip::showText(event->globalPos(), index.data().toString() + "\n" + tip, view);
    return true;
  }

 private:
  const CBackupCommands& commands_;
};

}  // namespace

CBackupCommands::CBackupCommands(SessionBackup& backup, CLocalDriveDlg& local, CNetDriveDlg& cloud, QWidget& window)
    : QObject(&window), backup_(backup), local_(local), cloud_(cloud), window_(window) {}

void CBackupCommands::AttachToPane() {
  local_.AddButton(tr("New Backup"), [this] { (void)NewBackup(); });
  local_.AddButton(tr("Cancel Backup"), [this] { (void)CancelBackup(); });
  local_.AddButton(tr("Backup"), [this] { (void)BackUpNow(); });
  folderCommands_ = {local_.AddCommand(tr("New Backup"), {}, [this] { (void)NewBackup(); }),
                     local_.AddCommand(tr("Cancel Backup"), {}, [this] { (void)CancelBackup(); }),
                     local_.AddCommand(tr("&Backup"), {}, [this] { (void)BackUpNow(); })};
  connect(local_.View()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &CBackupCommands::UpdateCommands);
  UpdateCommands();
  local_.View()->setItemDelegateForColumn(EntryListModel::kColumnName, new BackupEmblemDelegate(*this, &local_));
  local_.SetDeleteQuestion([this](const std::vector<std::shared_ptr<ObjectInfo>>& entries) {
    std::vector<std::string> folders;
    for (const auto& entry : entries) {
      if (entry->kind == kObjectContainer) folders.push_back(local_.PathOf(*entry));
    }
    return DeleteQuestion(folders);
  });
  connect(&local_, &CDataStoreDlgBase::entriesDeleted, this, &CBackupCommands::ForgetDeletedFolders);
  connect(&retry_, &QTimer::timeout, this, &CBackupCommands::RetryRunner);
  // The other runner, usually `korvex daemon`, may end at any time.
  retry_.start(60000);
  ShowOutcome(RunnerText());
}

std::uint32_t CBackupCommands::RowStatus(int row) const {
  // Asked by painting, which must not wait for a page.
  const ObjectInfo* entry = local_.Model()->ShownEntry(row);
  if (!entry || entry->kind != kObjectContainer) return 0;
  const std::string path = local_.PathOf(*entry);
  return path.empty() ? 0 : backup_.Sync().PathStatus(path);
}

QString CBackupCommands::RunnerText() const {
  const BackupRunner runner = backup_.OtherRunner();
  if (runner.pid == 0) return {};
  return tr("Backups of this account are run by %1 (process %2).").arg(Q(runner.program)).arg(runner.pid);
}

void CBackupCommands::RetryRunner() {
  if (backup_.IsRunner()) return;
  if (backup_.Start() == S_OK) ShowOutcome(tr("This window runs the backups of this account now."));
}

void CBackupCommands::ShowOutcome(const QString& text) {
  if (text.isEmpty()) return;
  if (auto* main = qobject_cast<QMainWindow*>(&window_)) main->statusBar()->showMessage(text);
  local_.ShowNotice(text);
}

void CBackupCommands::UpdateCommands() {
  bool folder = false;
  for (const auto& entry : local_.SelectedEntries()) folder = folder || entry->kind == kObjectContainer;
  for (QAction* command : folderCommands_) command->setVisible(folder);
}

std::string CBackupCommands::SelectedFolder(const QString& command) {
  for (const std::string& path : local_.SelectedPaths()) {
    if (path.ends_with('/')) return path;
  }
  QMessageBox::information(&window_, command, tr("Choose a local folder first."));
  return {};
}

std::string CBackupCommands::DefaultTarget(const std::string& localFolder) const {
  const std::string root = cloud_.OwnDisk().RootInfo().uri;
  const std::string shown = cloud_.Model()->Container().uri;
  // The cloud pane's folder when it shows the own disk, else its root.
  const std::string parent = shown.starts_with(root) ? shown.substr(root.size() - 1) : "/";
  return parent + NameOf(localFolder) + "/";
}

HRESULT CBackupCommands::NewBackup() {
  const std::string folder = SelectedFolder(tr("New Backup"));
  if (folder.empty()) return S_FALSE;
  bool ok = false;
  const QString typed = QInputDialog::getText(
      &window_, tr("New Backup"),
      tr("Back \"%1\" up every day into this cloud folder\n(made at the first backup when missing):").arg(Q(NameOf(folder))),
      QLineEdit::Normal, Q(DefaultTarget(folder)), &ok);
  if (!ok) return S_FALSE;
  const QString illegal = tr("Illegal path or the path doen not exist");
  const std::string target = CloudFolderPath(typed);
  if (target.empty()) {
    QMessageBox::warning(&window_, tr("New Backup"), illegal);
    return E_INVALIDARG;
  }
  std::uint64_t id = 0;
  HRESULT hr = FindTarget(cloud_.OwnDisk(), target, id);
  if (Failed(hr)) {
    QMessageBox::warning(&window_, tr("New Backup"),
                         hr == HR_FILE_NOT_FOUND
                             ? illegal
                             : tr("The cloud folder could not be looked up (error 0x%1).")
                                   .arg(static_cast<quint32>(hr), 8, 16, QChar('0')));
    return hr;
  }
  hr = backup_.Sync().AddFolder(Trimmed(folder), target, id);
  if (Failed(hr)) {
    QMessageBox::warning(&window_, tr("New Backup"),
                         hr == HR_ALREADY_EXISTS ? tr("A backup directory with the same name already exists, you can not set again.")
                         : hr == HR_SYNC_PATH_TOO_LONG ? tr("The path is too long for a backup folder.")
                         : hr == HR_SYNC_FOLDERS_OVERLAP
                             ? tr("This cloud folder lies inside the cloud folder of another backup, or holds one.")
                             : illegal);
    return hr;
  }
  local_.View()->viewport()->update();
  ShowOutcome(tr("\"%1\" is backed up into \"%2\" every day.").arg(Q(Trimmed(folder)), Q(target)));
  return S_OK;
}

HRESULT CBackupCommands::CancelBackup() {
  const std::string folder = SelectedFolder(tr("Cancel Backup"));
  if (folder.empty()) return S_FALSE;
  if ((backup_.Sync().PathStatus(folder) & kSyncPathIsFolder) == 0) {
    QMessageBox::information(&window_, tr("Cancel Backup"), tr("\"%1\" is not a backup folder.").arg(Q(Trimmed(folder))));
    return S_FALSE;
  }
  if (QMessageBox::question(&window_, tr("Cancel Backup"),
                            tr("Stop backing up \"%1\"?\nThe files already in the cloud stay there.").arg(Q(Trimmed(folder)))) !=
      QMessageBox::Yes)
    return S_FALSE;
  const HRESULT hr = backup_.Sync().RemoveFolder(folder);
  local_.ShowStatus(hr, tr("Cancel Backup"));
  local_.View()->viewport()->update();
  return hr;
}

HRESULT CBackupCommands::BackUpNow() {
  bool active = false;
  for (const SyncFolder& folder : backup_.Sync().Folders()) active = active || folder.paused == 0;
  if (!active) {
    QMessageBox::information(&window_, tr("Backup"),
                             tr("There is no active backup folder. Choose a folder and use \"New Backup\"."));
    return S_FALSE;
  }
  BackupRunner asked;
  const HRESULT hr = backup_.BackUpNow(asked);
  if (Failed(hr)) {
    ShowNotice(&window_, tr("Backup"),
               tr("The backup could not be started (error 0x%1).").arg(static_cast<quint32>(hr), 8, 16, QChar('0')));
    return hr;
  }
  ShowOutcome(asked.pid == 0 ? tr("The backup has started; the transfer list shows its progress.")
                             : tr("Backups of this account are run by %1 (process %2); it was asked to back up now.")
                                   .arg(Q(asked.program))
                                   .arg(asked.pid));
  return S_OK;
}

QString CBackupCommands::DeleteQuestion(const std::vector<std::string>& folders) {
  deleting_.clear();
  QString question;
  for (const std::string& folder : folders) {
    const std::uint32_t status = backup_.Sync().PathStatus(folder);
    if (status & kSyncPathIsFolder) {
      question = tr("\"%1\" is an automatic backup directory, Are you sure you want to delete it?").arg(Q(Trimmed(folder)));
    } else if ((status & kSyncPathContainsFolder) && question.isEmpty()) {
      question = tr("The directory has automatic backup directory under it,Are you sure you want to delete it?");
    }
    for (const SyncFolder& pair : backup_.Sync().Folders()) {
      if ((pair.localPath + "/").starts_with(folder)) deleting_.push_back(pair.localPath);
    }
  }
  return question;
}

void CBackupCommands::ForgetDeletedFolders() {
  // A deleted backup folder is not coming back like an unplugged disk's;
  // its pair would only linger unseen in "sync.cfg".
  std::error_code ec;
  for (const std::string& pair : deleting_) {
    if (!std::filesystem::exists(pair, ec)) (void)backup_.Sync().RemoveFolder(pair);
  }
  deleting_.clear();
}

}  // namespace korvex::app
