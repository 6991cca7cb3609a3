//===- app/CloudCommands.cpp - Commands on cloud entries ------------------===//

#include "app/CloudCommands.h"

#include "app/LinkDlg.h"
#include "app/NetDriveDlg.h"
#include "app/Notice.h"
#include "app/PreviewDlg.h"
#include "app/ShareDlg.h"
#include "app/UploadCodeDlg.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QInputDialog>
#include <QMessageBox>
#include <QTableView>

#include <algorithm>

namespace korvex::app {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

const std::string& NameOf(const ObjectInfo& entry) {
  return entry.kind == kObjectContainer ? static_cast<const ContainerInfo&>(entry).name
                                        : static_cast<const ItemInfo&>(entry).name;
}

}  // namespace

CCloudCommands::CCloudCommands(CNetDriveDlg& cloud, QWidget& window) : QObject(&window), cloud_(cloud), window_(window) {}

void CCloudCommands::AttachToPane() {
  // After the transfer commands, before the folder commands of the pane.
  QAction* before = cloud_.View()->actions().value(2);
  cloud_.AddCommand(tr("&Preview"), QKeySequence(), [this] { (void)Preview(); }, before, kCmdPreview);
  cloud_.AddCommand(tr("Cu&t"), QKeySequence::Cut, [this] { CopySelection(true); }, before, kCmdMove);
  cloud_.AddCommand(tr("&Copy"), QKeySequence::Copy, [this] { CopySelection(false); }, before, kCmdCopy);
  cloud_.AddCommand(tr("&Paste"), QKeySequence::Paste, [this] { (void)Paste(); }, before, kCmdPaste);
  cloud_.AddCommand(tr("Create Link"), QKeySequence(Qt::CTRL | Qt::Key_L), [this] { (void)CreateLink(); }, before,
                    kCmdCreateLink);
  cloud_.AddCommand(tr("Manage Link"), QKeySequence(), [this] { ManageLink(); }, before, kCmdManageLink);
  cloud_.AddCommand(tr("Send Link"), QKeySequence(), [this] { SendLink(); }, before, kCmdSendLink);
  cloud_.AddCommand(tr("Manage &Upload Code"), QKeySequence(), [this] { ManageUploadCodes(); }, before,
                    kCmdUploadCode);
  cloud_.AddCommand(tr("&Share Folder..."), QKeySequence(), [this] { ShareFolder(); }, before, kCmdShareFolder);
  cloud_.UpdateCommands();
}

bool CCloudCommands::Refused(int command, const QString& name) {
  if (cloud_.Permits(command)) return false;
  ShowNotice(&window_, name, tr("This folder does not allow it: your rights here are not enough."));
  return true;
}

void CCloudCommands::CopySelection(bool cut) {
  if (Refused(cut ? kCmdMove : kCmdCopy, cut ? tr("Cut") : tr("Copy"))) return;
  clipboard_ = cloud_.SelectedEntries();
  clipboardParent_ = cloud_.Model()->Container();
  cut_ = cut;
  if (clipboard_.empty()) return;
  cloud_.ShowNotice((cut ? tr("%n item(s) cut; paste them into another folder.", nullptr, int(clipboard_.size()))
                         : tr("%n item(s) copied; paste them into another folder.", nullptr, int(clipboard_.size()))));
}

HRESULT CCloudCommands::PasteOne(ObjectInfo& entry, const ContainerInfo& target, bool& replaceAll) {
  DataStore& store = *cloud_.Model()->Store();
  for (std::uint32_t flag = replaceAll ? 1 : 0;; flag = 1) {
    HRESULT hr = E_INVALIDARG;
    if (entry.kind == kObjectContainer) {
      if (!cut_) return E_NOTIMPL;
      hr = store.MoveContainer(static_cast<ContainerInfo&>(entry), clipboardParent_, target, flag);
    } else {
      auto& item = static_cast<ItemInfo&>(entry);
      hr = cut_ ? store.MoveItem(item, clipboardParent_, target, flag) : store.CopyItem(item, clipboardParent_, target, flag);
    }
    if (hr != HR_ALREADY_EXISTS || flag == 1) return hr;
    const auto answer = QMessageBox::question(
        &window_, tr("Paste"), tr("\"%1\" exists in this folder already. Replace it?").arg(Q(NameOf(entry))),
        QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No);
    if (answer == QMessageBox::No) return S_FALSE;
    replaceAll = answer == QMessageBox::YesToAll;
  }
}

HRESULT CCloudCommands::Paste() {
  if (clipboard_.empty()) return S_FALSE;
  if (Refused(kCmdPaste, tr("Paste"))) return S_FALSE;
  const ContainerInfo target = cloud_.Model()->Container();
  if (target.uri == clipboardParent_.uri) {
    cloud_.ShowNotice(tr("Open another folder to paste into."));
    return S_FALSE;
  }
  HRESULT hr = S_OK;
  bool replaceAll = false;
  QStringList folders;
  for (const auto& entry : clipboard_) {
    const HRESULT one = PasteOne(*entry, target, replaceAll);
    if (one == E_NOTIMPL) folders << Q(NameOf(*entry));
    else if (Failed(one) && Succeeded(hr)) hr = one;
  }
  // What was moved is no longer where the clipboard says.
  if (cut_) clipboard_.clear();
  const HRESULT listed = cloud_.Refresh();
  cloud_.ShowStatus(hr, cut_ ? tr("Moving") : tr("Copying"));
  if (!folders.isEmpty()) {
    ShowNotice(&window_, tr("Copy"), tr("Folders can be moved but not copied: %1").arg(folders.join(", ")));
  }
  return Failed(hr) ? hr : listed;
}

std::shared_ptr<ItemInfo> CCloudCommands::SelectedFile(const QString& command) {
  const auto entries = cloud_.SelectedEntries();
  if (entries.size() == 1 && entries.front()->kind == kObjectItem)
    return std::static_pointer_cast<ItemInfo>(entries.front());
  ShowNotice(&window_, command, tr("Select one file for this command."));
  return nullptr;
}

std::shared_ptr<ContainerInfo> CCloudCommands::SelectedFolder(const QString& command) {
  const auto entries = cloud_.SelectedEntries();
  if (entries.size() == 1 && entries.front()->kind == kObjectContainer)
    return std::static_pointer_cast<ContainerInfo>(entries.front());
  ShowNotice(&window_, command, tr("Select one folder for this command."));
  return nullptr;
}

QString CCloudCommands::CreateLink() {
  if (Refused(kCmdCreateLink, tr("Create Link"))) return {};
  const auto file = SelectedFile(tr("Create Link"));
  if (!file) return {};
  std::string url;
  const HRESULT hr = cloud_.Model()->Store()->GetItemCodes(*file, 7, {}, url);
  cloud_.ShowStatus(hr, tr("Creating a link"));
  if (Failed(hr)) return {};
  QApplication::clipboard()->setText(Q(url));
  ShowNotice(&window_, tr("Create Link"),
             tr("The download link of \"%1\" (copied to the clipboard, valid for 7 days):\n%2").arg(Q(file->name), Q(url)));
  return Q(url);
}

void CCloudCommands::ManageLink() {
  if (Refused(kCmdManageLink, tr("Manage Link"))) return;
  const auto file = SelectedFile(tr("Manage Link"));
  if (!file) return;
  LinkDetail detail;
  const HRESULT hr = cloud_.Model()->Store()->GetClientLinkDetail(*file, detail);
  cloud_.ShowStatus(hr, tr("Reading the link"));
  if (Failed(hr)) return;
  CLinkDlg dialog(*cloud_.Model()->Store(), *file, detail, &window_);
  dialog.exec();
}

void CCloudCommands::SendLink() {
  if (Refused(kCmdSendLink, tr("Send Link"))) return;
  const auto file = SelectedFile(tr("Send Link"));
  if (!file) return;
  // Wide enough for a few addresses side by side.
  QInputDialog ask(&window_);
  ask.setWindowTitle(tr("Send Link"));
  ask.setLabelText(tr("Email(Separated by a comma)"));
  ask.resize(std::max(ask.sizeHint().width(), 520), ask.sizeHint().height());
  const bool ok = ask.exec() == QDialog::Accepted;
  const QString addresses = ask.textValue().simplified().remove(' ');
  if (!ok || addresses.isEmpty()) return;
  DataStore& store = *cloud_.Model()->Store();
  LinkDetail detail;
  HRESULT hr = store.GetClientLinkDetail(*file, detail);
  if (Failed(hr)) {
    // A file without a link gets one first: the mail is of no use without it.
    std::string url;
    hr = store.GetItemCodes(*file, 7, {}, url);
    detail.url = url;
  }
  if (Succeeded(hr)) hr = store.SendLink(addresses.toStdString(), detail.url, file->name);
  cloud_.ShowStatus(hr, tr("Sending the link"));
  if (Succeeded(hr)) cloud_.ShowNotice(tr("The link of \"%1\" was sent to %2.").arg(Q(file->name), addresses));
}

void CCloudCommands::ManageUploadCodes() {
  if (Refused(kCmdUploadCode, tr("Manage Upload Code"))) return;
  const auto folder = SelectedFolder(tr("Manage Upload Code"));
  if (!folder) return;
  CUploadCodeDlg dialog(*cloud_.Model()->Store(), *folder, &window_);
  if (Failed(dialog.Reload())) {
    cloud_.ShowStatus(dialog.LastStatus(), tr("Listing the upload codes"));
    return;
  }
  dialog.exec();
}

CPreviewDlg* CCloudCommands::Preview() {
  if (Refused(kCmdPreview, tr("Preview"))) return nullptr;
  const auto file = SelectedFile(tr("Preview"));
  if (!file) return nullptr;
  auto* dialog = new CPreviewDlg(*cloud_.Model()->Store(), *file, &window_);
  // The window's stores serve the dialog: the window waits until it is closed.
  dialog->setWindowModality(Qt::WindowModal);
  dialog->show();
  // Closing the dialog while the address is asked for only hides it: Start
  // still runs on it. It goes once it is closed after that.
  (void)dialog->Start();
  if (!dialog->isVisible()) {
    dialog->deleteLater();
    return nullptr;
  }
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  return dialog;
}

void CCloudCommands::ShareFolder() {
  if (Refused(kCmdShareFolder, tr("Share Folder"))) return;
  const auto folder = SelectedFolder(tr("Share Folder"));
  if (!folder) return;
  // A listing that failed is said inside the dialog, which can still share.
  CShareDlg dialog(*cloud_.Model()->Store(), *folder, &window_);
  (void)dialog.Reload();
  dialog.exec();
  // The pane marks shared folders: it lists again to show the change.
  if (dialog.Changed()) (void)cloud_.Refresh();
}

}  // namespace korvex::app
