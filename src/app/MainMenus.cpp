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
#include <QRegularExpression>
#include <QStyle>
#include <QTableView>
#include <QMenuBar>
#include <QToolBar>

namespace korvex::app {
namespace {

// The menu shows the key of the pane command it repeats; the key itself
// stays the pane's (a second, window-wide one would make both ambiguous).
QString WithKeys(const QString& text, const QKeySequence& keys) {
  return text + '\t' + keys.toString(QKeySequence::NativeText);
}

// The desktop theme's icon where it has one, Qt's own otherwise.
void SetIcon(QAction* action, const char* themeName, QStyle::StandardPixmap fallback) {
  action->setIcon(QIcon::fromTheme(QString::fromLatin1(themeName), QApplication::style()->standardIcon(fallback)));
  QString label = action->text().section('\t', 0, 0);
  // "上传(&U)": a translation's letter in brackets means nothing on a button.
  label.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
  action->setIconText(label.remove('&').remove("..."));
  QString tip = action->text();
  tip.replace('\t', "  (").remove('&');
  if (tip.contains("  (")) tip += ')';
  action->setToolTip(tip);
}

}  // namespace

void CMainDlg::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("&Options..."), this, &CMainDlg::ShowOptions);
  file->addSeparator();
  file->addAction(tr("Lo&gout"), this, [this] { Exit(kExitRelogin); });
  file->addAction(tr("&Exit"), QKeySequence::Quit, this, [this] { Exit(kExitProgram); });

  // The folder commands act on the pane that last had the focus.
  const auto focusedPane = [this]() -> CDataStoreDlgBase* {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
      if (auto* pane = qobject_cast<CDataStoreDlgBase*>(w)) return pane;
    }
    return net_;
  };
  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  QAction* newFolder = edit->addAction(WithKeys(tr("New &Folder"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_N)), this, [focusedPane] {
    if (auto* pane = focusedPane()) (void)pane->NewFolder();
  });
  edit->addAction(WithKeys(tr("&Rename"), QKeySequence(Qt::Key_F2)), this, [focusedPane] {
    if (auto* pane = focusedPane()) pane->RenameSelection();
  });
  QAction* remove = edit->addAction(WithKeys(tr("&Delete"), QKeySequence(QKeySequence::Delete)), this, [focusedPane] {
    if (auto* pane = focusedPane()) (void)pane->DeleteSelection();
  });
  edit->addSeparator();
  QAction* refresh = edit->addAction(WithKeys(tr("Refre&sh"), QKeySequence(QKeySequence::Refresh)), this, [focusedPane] {
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
  tools->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  if (transferCommands_) {
    QMenu* transfer = menuBar()->addMenu(tr("&Transfer"));
    QAction* upload = transfer->addAction(WithKeys(tr("&Upload"), QKeySequence(Qt::CTRL | Qt::Key_U)), this,
                                          [this] { transferCommands_->UploadSelection(false); });
    transfer->addAction(WithKeys(tr("&Encrypted Upload"), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_U)), this,
                        [this] { transferCommands_->UploadSelection(true); });
    transfer->addSeparator();
    QAction* download = transfer->addAction(WithKeys(tr("&Download"), QKeySequence(Qt::CTRL | Qt::Key_D)), this,
                                            [this] { transferCommands_->DownloadSelection(); });
    transfer->addAction(WithKeys(tr("Download &To..."), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_D)), this,
                        [this] { transferCommands_->DownloadSelectionTo(); });
    transfer->addSeparator();
    transfer->addAction(tr("Dec&rypt..."), this, [this] { transferCommands_->DecryptSelection(); });
    if (transferList_) {
      // A menu of its own, so that its letters do not meet the ones above.
      transfer->addSeparator();
      QMenu* list = transfer->addMenu(tr("Transfer &List"));
      list->addActions(transferList_->Menu()->actions());
    }
    SetIcon(upload, "go-up", QStyle::SP_ArrowUp);
    SetIcon(download, "go-down", QStyle::SP_ArrowDown);
    tools->addAction(upload);
    tools->addAction(download);
    tools->addSeparator();
  }
  SetIcon(newFolder, "folder-new", QStyle::SP_FileDialogNewFolder);
  SetIcon(remove, "edit-delete", QStyle::SP_TrashIcon);
  SetIcon(refresh, "view-refresh", QStyle::SP_BrowserReload);
  tools->addAction(newFolder);
  tools->addAction(remove);
  tools->addAction(refresh);
  if (cloudCommands_) {
    QMenu* share = menuBar()->addMenu(tr("&Share"));
    QAction* link = share->addAction(WithKeys(tr("Create &Link"), QKeySequence(Qt::CTRL | Qt::Key_L)), this,
                                     [this] { (void)cloudCommands_->CreateLink(); });
    share->addAction(tr("&Manage Link..."), this, [this] { cloudCommands_->ManageLink(); });
    share->addAction(tr("Se&nd Link..."), this, [this] { cloudCommands_->SendLink(); });
    share->addSeparator();
    share->addAction(tr("Manage &Upload Code"), this, [this] { cloudCommands_->ManageUploadCodes(); });
    share->addAction(tr("&Share Folder..."), this, [this] { cloudCommands_->ShareFolder(); });
    SetIcon(link, "insert-link", QStyle::SP_DialogOpenButton);
    tools->addSeparator();
    tools->addAction(link);
  }
  AddNetworkCheckMenu(*menuBar(), this);
}

}  // namespace korvex::app
