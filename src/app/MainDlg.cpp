//===- app/MainDlg.cpp - The main window -----------------------------------===//

#include "app/MainDlg.h"

#include "app/AppIcon.h"
#include "app/BackupCommands.h"
#include "app/CloudCommands.h"
#include "app/CloudFileOpener.h"
#include "app/CloudViews.h"
#include "app/LocalDriveDlg.h"
#include "app/NetDriveDlg.h"
#include "app/SessionBackup.h"
#include "app/SessionTransfers.h"
#include "app/TransferCommands.h"
#include "app/TransferListCtrl.h"
#include "app/TransferListModel.h"
#include "app/TrayIcon.h"
#include "app/WindowLayout.h"
#include "foundation/LogMgr.h"
#include "foundation/StringTable.h"
#include "store/ShellFolderDataStoreRemote.h"
#include "sync/NetworkEventSink.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QToolBar>

namespace korvex::app {
namespace {

// What of the window's layout is kept between starts.
WindowLayout LayoutOf(CMainDlg& window) {
  WindowLayout layout{&window, window.findChild<QSplitter*>("panes"), window.findChild<QSplitter*>("transferSplit"), {}};
  if (window.NetPane()) layout.headers.append({"Cloud", window.NetPane()->View()->horizontalHeader()});
  if (window.LocalPane()) layout.headers.append({"Local", window.LocalPane()->View()->horizontalHeader()});
  if (window.TransferList()) layout.headers.append({"Transfers", window.TransferList()->View()->horizontalHeader()});
  return layout;
}

QString ErrorText(const QString& what, HRESULT status) {
  return QObject::tr("%1 (error 0x%2).").arg(what).arg(static_cast<quint32>(status), 8, 16, QChar('0'));
}

}  // namespace

CMainDlg::CMainDlg(const session::Session& session, const DeploymentValues& deployment, MainWindowOptions options,
                   QWidget* parent)
    : QMainWindow(parent), stores_(session, deployment), deployment_(deployment), options_(options) {
  const std::string& who = session.accessCode ? session.loginName : session.accountName;
  setWindowTitle(who.empty() ? tr("KorvexData SMB") : tr("KorvexData SMB - %1").arg(QString::fromStdString(who)));
  setWindowIcon(AppIcon());
  transferLine_ = new QLabel(this);
  transferLine_->setObjectName("transferLine");
  statusBar()->addPermanentWidget(transferLine_);
  BuildTray();
  resize(1100, 720);
}

// The panes hold pointers into the stores, so they go before the stores do;
// the transfers stop before either.
CMainDlg::~CMainDlg() {
  StopWatchingNetwork();
  delete backupCommands_;
  backupCommands_ = nullptr;
  backup_.reset();
  keeper_.reset();
  if (transfers_) transfers_->Shutdown();
  delete transferCommands_;  // waits for a visitor's upload that uses the stores
  transferCommands_ = nullptr;
  delete takeCentralWidget();
}

HRESULT CMainDlg::OpenPanes() {
  auto* splitter = new QSplitter(this);
  splitter->setObjectName("panes");
  HRESULT netStatus = S_OK;
  std::vector<CloudView> views = CloudViews(stores_, netStatus);
  if (!views.empty()) {
    net_ = new CNetDriveDlg(std::move(views), splitter);
    netStatus = net_->ShowRoot();
  } else {
    splitter->addWidget(new QLabel(ErrorText(tr("The cloud disk could not be opened"), netStatus)));
  }

  auto localRemote = std::make_unique<ShellFolderDataStoreRemote>(std::string(UiString(kIdsRootDesktop)));
  // Hidden files are the pane's setting; transfers have stores of their own.
  localRemote->FollowShowHiddenSetting(true);
  localStore_ = std::make_unique<DataStore>(std::move(localRemote), kSortNameAscending, /*sortNamesOnClient=*/true);
  HRESULT localStatus = localStore_->InitStatus();
  if (Succeeded(localStatus)) {
    local_ = new CLocalDriveDlg(localStore_.get(), splitter);
    localStatus = local_->ShowRoot();
  }
  // Both panes grow alike, whichever carries more buttons.
  for (int pane = 0; pane < splitter->count(); ++pane) splitter->setStretchFactor(pane, 1);
  setCentralWidget(splitter);
  if (Failed(localStatus)) statusBar()->showMessage(ErrorText(tr("The local folders could not be listed"), localStatus));
  return Failed(netStatus) ? netStatus : localStatus;
}

HRESULT CMainDlg::Init() {
  const HRESULT opened = OpenPanes();
  if (!net_ || !local_) {
    BuildMenus();
    return opened;
  }
  const session::Session& session = stores_.GetSession();
  // An access-code visitor reaches only the code's upload folder, which
  // transfer families cannot address.
  if (!session.accessCode) {
    transfers_ = std::make_unique<SessionTransfers>(*net_->Model()->Store(), session.accountName, options_.reset);
    // Called on the waiting thread once another program's transfers are ours.
    const auto owned = [this] {
      QMetaObject::invokeMethod(this, [this] { TakeOverTransfers(); }, Qt::QueuedConnection);
    };
    if (const HRESULT hr = transfers_->Start(owned); Failed(hr)) {
      LogMgr::Get().Error("MainDlg", "The transfer manager did not start: 0x%08x", static_cast<unsigned>(hr));
      statusBar()->showMessage(ErrorText(tr("Transfers cannot run"), hr));
    } else if (!transfers_->Owns()) {
      const session::TransferHolder holder = transfers_->Holder();
      statusBar()->showMessage(tr("Waiting for %1 (pid %2), which runs this account's transfers")
                                   .arg(QString::fromStdString(holder.program))
                                   .arg(holder.pid));
    }
  }
  transferCommands_ = new CTransferCommands(transfers_.get(), *net_, *local_, *this, *transferLine_);
  transferCommands_->AttachToPanes();
  if (transfers_) {
    KeepSession();
    AddTransferList();
    // A row that changes may change what the status line says as well.
    connect(transferList_->Model(), &TransferListModel::dataChanged, transferCommands_,
            &CTransferCommands::UpdateStatusLine);
    WatchNetwork();
    StartBackups();
  }
  if (!session.accessCode) {
    cloudCommands_ = new CCloudCommands(*net_, *this);
    cloudCommands_->AttachToPane();
  }
  auto* opener = new CCloudFileOpener(transfers_.get(), transferList_ ? transferList_->Model() : nullptr,
                                      cloudCommands_, *net_, *this);
  opener->AttachToPane();
  BuildMenus();
  RestoreLayout(LayoutOf(*this));
  return opened;
}

void CMainDlg::Exit(int reason) {
  if (exiting_) return;
  exiting_ = true;
  SaveLayout(LayoutOf(*this));
  StopWatchingNetwork();
  if (tray_) tray_->SetShown(false);
  // No backup may start on a manager that is shutting down.
  if (backupCommands_) backupCommands_->StopRetrying();
  if (backup_) backup_->Stop();
  if (transfers_) transfers_->Shutdown();
  hide();
  QApplication::exit(reason == kExitRelogin ? kExitRelogin : 0);
}

void CMainDlg::TakeOverTransfers() {
  if (exiting_ || !transfers_) return;
  statusBar()->showMessage(tr("This window runs the transfers of this account now."), 10000);
  if (backup_) (void)backup_->Start();
}

void CMainDlg::StartBackups() {
  // Runs end on executor threads; the window hears of them on its own.
  backup_ = std::make_unique<SessionBackup>(
      transfers_->Manager(), transfers_->TaskFolder(), stores_.GetSession(), deployment_,
      [this](const BackupRun& run) { QMetaObject::invokeMethod(this, [this, run] { ShowBackupRun(run); }, Qt::QueuedConnection); });
  SessionTransfers* transfers = transfers_.get();
  backup_->SetMayRun([transfers] { return transfers->Owns(); });
  if (const HRESULT hr = backup_->Start(); Failed(hr)) {
    LogMgr::Get().Error("MainDlg", "The backups do not run: 0x%08x", static_cast<unsigned>(hr));
    statusBar()->showMessage(ErrorText(tr("Backups cannot run"), hr));
  }
  backupCommands_ = new CBackupCommands(*backup_, *local_, *net_, *this);
  backupCommands_->AttachToPane();
}

}  // namespace korvex::app
