//===- app/MainDlg.cpp - The main window -----------------------------------===//

#include "app/MainDlg.h"

#include "app/LocalDriveDlg.h"
#include "app/NetCheckDlg.h"
#include "app/NetDriveDlg.h"
#include "foundation/StringTable.h"
#include "store/ShellFolderDataStoreRemote.h"

#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>

namespace korvex::app {

CMainDlg::CMainDlg(const cli::Session& session, const DeploymentValues& deployment, QWidget* parent)
    : QMainWindow(parent), stores_(session, deployment) {
  const std::string& who = session.accessCode ? session.loginName : session.accountName;
  setWindowTitle(who.empty() ? tr("KorvexData SMB") : tr("KorvexData SMB - %1").arg(QString::fromStdString(who)));
  BuildMenus();
  AddNetworkCheckMenu(*menuBar(), deployment, this);
  resize(1100, 650);
}

// The panes hold pointers into the stores, so they go before the stores do.
CMainDlg::~CMainDlg() { delete takeCentralWidget(); }

void CMainDlg::BuildMenus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  file->addAction(tr("L&ogout"), this, [this] {
    logout_ = true;
    close();
  });
  file->addAction(tr("&Exit"), this, &QMainWindow::close);

  QMenu* edit = menuBar()->addMenu(tr("&Edit"));
  // Each command acts on the pane that last had the focus.
  const auto focusedPane = [this]() -> CDataStoreDlgBase* {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget()) {
      if (auto* pane = qobject_cast<CDataStoreDlgBase*>(w)) return pane;
    }
    return net_;
  };
  edit->addAction(tr("New &Folder"), this, [focusedPane] {
    if (auto* pane = focusedPane()) (void)pane->NewFolder();
  });
  edit->addAction(tr("&Rename"), this, [focusedPane] {
    if (auto* pane = focusedPane()) pane->RenameSelection();
  });
  edit->addAction(tr("&Delete"), this, [focusedPane] {
    if (auto* pane = focusedPane()) (void)pane->DeleteSelection();
  });
}

HRESULT CMainDlg::Init() {
  auto* splitter = new QSplitter(this);
  const cli::Session& session = stores_.GetSession();
  HRESULT netStatus = S_OK;
  DataStore* cloud =
      stores_.Store(session.accessCode ? cli::RemoteView::kUpload : cli::RemoteView::kMyDisk, netStatus);
  if (cloud) {
    net_ = new CNetDriveDlg(cloud, splitter);
    netStatus = net_->ShowRoot();
  } else {
    splitter->addWidget(new QLabel(tr("The cloud disk could not be opened (error 0x%1).")
                                       .arg(static_cast<quint32>(netStatus), 8, 16, QChar('0'))));
  }

  localStore_ = std::make_unique<DataStore>(
      std::make_unique<ShellFolderDataStoreRemote>(std::string(UiString(kIdsRootDesktop))), kSortNameAscending,
      /*sortNamesOnClient=*/true);
  HRESULT localStatus = localStore_->InitStatus();
  if (Succeeded(localStatus)) {
    local_ = new CLocalDriveDlg(localStore_.get(), splitter);
    localStatus = local_->ShowRoot();
  }
  setCentralWidget(splitter);
  if (Failed(netStatus)) return netStatus;
  if (Failed(localStatus)) {
    statusBar()->showMessage(tr("The local folders could not be listed (error 0x%1).")
                                 .arg(static_cast<quint32>(localStatus), 8, 16, QChar('0')));
  }
  return localStatus;
}

}  // namespace korvex::app
