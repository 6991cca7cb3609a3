//===- app/MainMenus.cpp - The main window's menus and tool bar -----------===//
//
// The menu bar and the tool bar repeat the panes' context-menu commands for
// users who look for them there. Their keys stay with the panes, where they
// act on the list that has the focus.

#include "app/CloudCommands.h"
#include "app/LocalDriveDlg.h"
#include "app/MainDlg.h"
#include "app/NetCheckDlg.h"
#include "app/NetDriveDlg.h"
#include "app/TransferCommands.h"
#include "app/TransferListCtrl.h"

#include <QApplication>
#include <QTableView>
#include <QMenuBar>
#include <QToolBar>

namespace korvex::app {

void CMainDlg::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("&Options"), this, &CMainDlg::ShowOptions);
  file->addAction(tr("L&ogout"), this, [this] { Exit(kExitRelogin); });
  file->addAction(tr("&Exit"), QKeySequence::Quit, this, [this] { Exit(kExitProgram); });

  // The folder commands act on the pane that last had the focus.
  const auto focusedPane = [this]() -> CDataStoreDlgBase* {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
      if (auto* pane = qobject_cast<CDataStoreDlgBase*>(w)) return pane;
    }
    return net_;
  };
  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  QAction* newFolder = edit->addAction(tr("New &Folder"), this, [focusedPane] {
    if (auto* pane = focusedPane()) (void)pane->NewFolder();
  });
  edit->addAction(tr("&Rename"), this, [focusedPane] {
    if (auto* pane = focusedPane()) pane->RenameSelection();
  });
  QAction* remove = edit->addAction(tr("&Delete"), this, [focusedPane] {
    if (auto* pane = focusedPane()) (void)pane->DeleteSelection();
  });
  QAction* refresh = edit->addAction(tr("Re&fresh"), this, [focusedPane] {
    if (auto* pane = focusedPane()) (void)pane->Refresh();
  });
  // Keys that put the focus into a pane's list, so that the window can be
  // worked without a mouse.
  QMenu* view = menuBar()->addMenu(tr("&View"));
  for (CDataStoreDlgBase* pane : {static_cast<CDataStoreDlgBase*>(net_), static_cast<CDataStoreDlgBase*>(local_)}) {
    if (!pane) continue;
    const bool cloud = pane == net_;
    view->addAction(cloud ? tr("&Cloud Pane") : tr("&Local Pane"), QKeySequence(cloud ? "Ctrl+1" : "Ctrl+2"), pane,
                    [pane] { pane->View()->setFocus(Qt::ShortcutFocusReason); });
  }
  if (cloudCommands_) {
    edit->addSeparator();
    edit->addAction(tr("Cu&t"), this, [this] { cloudCommands_->CopySelection(true); });
    edit->addAction(tr("&Copy"), this, [this] { cloudCommands_->CopySelection(false); });
    edit->addAction(tr("&Paste"), this, [this] { (void)cloudCommands_->Paste(); });
  }

  QToolBar* tools = addToolBar(tr("Commands"));
  tools->setMovable(false);
  if (transferCommands_) {
    QMenu* transfer = menuBar()->addMenu(tr("&Transfer"));
    QAction* upload = transfer->addAction(tr("&Upload"), this, [this] { transferCommands_->UploadSelection(false); });
    transfer->addAction(tr("&Encrypted Upload"), this, [this] { transferCommands_->UploadSelection(true); });
    QAction* download = transfer->addAction(tr("&Download"), this, [this] { transferCommands_->DownloadSelection(); });
    transfer->addAction(tr("Download &To..."), this, [this] { transferCommands_->DownloadSelectionTo(); });
    transfer->addAction(tr("&Decrypt"), this, [this] { transferCommands_->DecryptSelection(); });
    if (transferList_) {
      transfer->addSeparator();
      transfer->addActions(transferList_->Menu()->actions());
    }
    tools->addAction(upload);
    tools->addAction(download);
    tools->addSeparator();
  }
  tools->addAction(newFolder);
  tools->addAction(remove);
  tools->addAction(refresh);
  if (cloudCommands_) {
    QMenu* share = menuBar()->addMenu(tr("&Share"));
    QAction* link = share->addAction(tr("Create Link"), this, [this] { (void)cloudCommands_->CreateLink(); });
    share->addAction(tr("Manage Link"), this, [this] { cloudCommands_->ManageLink(); });
    share->addAction(tr("Send Link"), this, [this] { cloudCommands_->SendLink(); });
    share->addSeparator();
    share->addAction(tr("Manage &Upload Code"), this, [this] { cloudCommands_->ManageUploadCodes(); });
    share->addAction(tr("&Share Folder..."), this, [this] { cloudCommands_->ShareFolder(); });
    tools->addSeparator();
    tools->addAction(link);
  }
  AddNetworkCheckMenu(*menuBar(), this);
}

}  // namespace korvex::app
