//===- app/MainDlgTransfers.cpp - The main window's transfers and tray ----===//
//
// The parts of CMainDlg around its transfers: the list under the panes, the
// tray icon, notifications, the options dialog and what closing does.

#include "app/AppIcon.h"
#include "app/DesktopNotifier.h"
#include "app/MainDlg.h"
#include "app/NetworkResume.h"
#include "app/OptionDlg.h"
#include "app/TransferListCtrl.h"
#include "app/TransferSession.h"
#include "app/TransferTexts.h"
#include "app/TrayIcon.h"
#include "app/WindowSettings.h"
#include "foundation/LogMgr.h"
#include "foundation/StringTable.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>

namespace korvex::app {

void CMainDlg::AddTransferList(QSplitter* panes, const DeploymentValues& deployment) {
  transfers_ = std::make_unique<TransferSession>(stores_.GetSession(), deployment);
  if (const HRESULT hr = transfers_->Start(); Failed(hr)) {
    statusBar()->showMessage(tr("Transfers cannot run (error %1).").arg(HexStatus(hr)));
  }
  auto* split = new QSplitter(Qt::Vertical, this);
  split->addWidget(panes);
  transferList_ = new CTransferListCtrl(*transfers_, split);
  split->addWidget(transferList_);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  setCentralWidget(split);
  menuBar()->addMenu(transferList_->Menu());

  connect(transferList_, &CTransferListCtrl::transfersAdded, this, [split] {
    // The list comes back into view when the user had dragged it shut.
    QList<int> sizes = split->sizes();
    if (sizes.size() == 2 && sizes[1] == 0) split->setSizes({sizes[0] * 3 / 4, sizes[0] / 4});
  });
  connect(transferList_, &CTransferListCtrl::transferFinished, notifier_, &DesktopNotifier::Notify);
}

void CMainDlg::BuildTray() {
  tray_ = new CTrayIcon(windowIcon(), windowTitle(), this);
  tray_->SetShown(ReadFlag(kDisplayTrayIcon));
  notifier_ = new DesktopNotifier(tray_, this);
  connect(tray_, &CTrayIcon::openRequested, this, &CMainDlg::ShowAndActivate);
  connect(tray_, &CTrayIcon::optionsRequested, this, &CMainDlg::ShowOptions);
  connect(tray_, &CTrayIcon::exitRequested, this, &CMainDlg::ExitProgram);
  connect(tray_, &CTrayIcon::logoutRequested, this, [this] {
    logout_ = true;
    close();
  });
}

void CMainDlg::ShowAndActivate() {
  if (isMinimized()) showNormal();
  else show();
  raise();
  activateWindow();
}

void CMainDlg::ShowOptions() {
  COptionDlg dialog(stores_.GetSession().loginName, QCoreApplication::applicationFilePath().toStdString(), this);
  if (dialog.exec() == QDialog::Accepted && dialog.TrayIconChanged()) tray_->SetShown(ReadFlag(kDisplayTrayIcon));
}

void CMainDlg::ExitProgram() {
  exiting_ = true;
  close();
}

void CMainDlg::OnNetworkConnected() {
  if (transfers_) (void)ResumeAfterNetworkReturn(transfers_->Manager());
}

void CMainDlg::closeEvent(QCloseEvent* event) {
  if (!logout_ && !exiting_) {
    switch (DecideClose(tray_->Shown())) {
      case CloseAction::kHide:
        hide();
        event->ignore();
        return;
      case CloseAction::kAsk: {
        const QString question = UiText(kIdsExitConfirm).replace("%s", windowTitle());
        if (QMessageBox::question(this, windowTitle(), question) != QMessageBox::Yes) {
          event->ignore();
          return;
        }
        break;
      }
      case CloseAction::kExit:
        break;
    }
  }
  tray_->SetShown(false);
  event->accept();
  emit closed();
}

}  // namespace korvex::app
