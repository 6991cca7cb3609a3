//===- app/MainDlgTransfers.cpp - The main window's transfer list and tray -===//
//
// The parts of CMainDlg around its transfers: the list under the panes, the
// tray icon, notifications, the options dialog and what closing does.

#include "app/DesktopNotifier.h"
#include "app/MainDlg.h"
#include "app/NetDriveDlg.h"
#include "app/NetworkResume.h"
#include "app/Notice.h"
#include "app/OptionDlg.h"
#include "app/SessionBackup.h"
#include "app/SessionTransfers.h"
#include "app/ToolPanel.h"
#include "app/TransferCommands.h"
#include "app/TransferListCtrl.h"
#include "app/TrayIcon.h"
#include "app/TransferTexts.h"
#include "app/WindowSettings.h"
#include "foundation/LogMgr.h"
#include "foundation/StatusMessages.h"
#include "foundation/StringTable.h"
#include "sync/NetworkEventSink.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QMessageBox>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>

namespace korvex::app {

void CMainDlg::AddTransferList() {
  auto* split = new QSplitter(Qt::Vertical, this);
  split->setObjectName("transferSplit");
  split->addWidget(takeCentralWidget());
  auto* tabs = new QTabWidget(split);
  tabs->setObjectName("transferTabs");
  toolPanel_ = new CToolPanel(*net_->Model()->Store(), tabs);
  transferList_ = new CTransferListCtrl(transfers_->Manager(), tabs);
  tabs->addTab(toolPanel_, tr("Tool"));
  tabs->addTab(transferList_, tr("Transfer"));
  tabs->setCurrentWidget(transferList_);
  split->addWidget(tabs);
  // The space is asked for when someone looks, not at every start.
  connect(tabs, &QTabWidget::currentChanged, this, [this, tabs] {
    if (tabs->currentWidget() == toolPanel_) (void)toolPanel_->RefreshSpace();
  });
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  setCentralWidget(split);

  connect(transferCommands_, &CTransferCommands::transfersQueued, this, [this, split, tabs] {
    tabs->setCurrentWidget(transferList_);
    // The list comes back into view when the user had dragged it shut.
    const QList<int> sizes = split->sizes();
    if (sizes.size() == 2 && sizes[1] == 0) split->setSizes({sizes[0] * 3 / 4, sizes[0] / 4});
  });
  connect(transferList_, &CTransferListCtrl::transferFinished, notifier_, &DesktopNotifier::Notify);
}

void CMainDlg::KeepSession() {
  // Told on a task's thread; answered here, where a login may take a moment.
  keeper_ = std::make_unique<session::SessionKeeper>(transfers_->Manager(), stores_, deployment_, [this] {
    QMetaObject::invokeMethod(this, [this] { AnswerSessionEnd(); }, Qt::QueuedConnection);
  });
}

void CMainDlg::AnswerSessionEnd() {
  if (exiting_ || !keeper_) return;
  switch (keeper_->Handle()) {
    case session::SessionKeeper::Answer::kRenewed:
      statusBar()->showMessage(tr("The service ended the session; logged in again."), 10000);
      break;
    case session::SessionKeeper::Answer::kStopped:
      // The transfers are stopped and kept; they go on after the new login.
      ShowNotice(this, windowTitle(), tr("The service ended the session. Please log in again."));
      Exit(kExitRelogin);
      break;
    case session::SessionKeeper::Answer::kNone: break;
  }
}

void CMainDlg::BuildTray() {
  tray_ = new CTrayIcon(windowIcon(), windowTitle(), this);
  tray_->SetShown(ReadFlag(kDisplayTrayIcon));
  notifier_ = new DesktopNotifier(tray_, this);
  connect(tray_, &CTrayIcon::openRequested, this, &CMainDlg::ShowAndActivate);
  connect(tray_, &CTrayIcon::optionsRequested, this, &CMainDlg::ShowOptions);
  connect(tray_, &CTrayIcon::exitRequested, this, [this] { Exit(kExitProgram); });
  connect(tray_, &CTrayIcon::logoutRequested, this, [this] { Exit(kExitRelogin); });
}

void CMainDlg::ShowAndActivate() {
  if (isMinimized()) showNormal();
  else show();
  raise();
  activateWindow();
}

void CMainDlg::ShowOptions() {
  COptionDlg dialog(stores_.GetSession().loginName, QCoreApplication::applicationFilePath().toStdString(), this,
                    backup_.get());
  if (dialog.exec() == QDialog::Accepted && dialog.TrayIconChanged()) tray_->SetShown(ReadFlag(kDisplayTrayIcon));
}

void CMainDlg::WatchNetwork() {
  // The sink calls from its own thread; the window acts on its own.
  networkSink_ = std::make_unique<NetworkEventSink>([this](const std::string&) {
    QMetaObject::invokeMethod(this, &CMainDlg::OnNetworkConnected, Qt::QueuedConnection);
  });
  if (const HRESULT hr = networkSink_->Open(); Failed(hr)) {
    LogMgr::Get().Warn("MainDlg", "Not watching the network: 0x%08x", static_cast<unsigned>(hr));
    networkSink_.reset();
  }
}

void CMainDlg::StopWatchingNetwork() {
  if (!networkSink_) return;
  (void)networkSink_->Stop(true);
  networkSink_.reset();
}

void CMainDlg::OnNetworkConnected() {
  if (transfers_) (void)ResumeAfterNetworkReturn(transfers_->Manager());
}

void CMainDlg::closeEvent(QCloseEvent* event) {
  if (!exiting_) {
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
    Exit(kExitProgram);
  }
  event->accept();
}

void CMainDlg::ShowBackupRun(const BackupRun& run) {
  if (run.outcome != BackupOutcome::kSkipped && run.outcome != BackupOutcome::kFailed) return;
  const QString folder = QString::fromStdString(run.localPath);
  auto reason = [](HRESULT hr) {
    std::string message = BackupSkipText(hr);
    if (!message.empty() || StatusMessages::Get().Lookup(hr, message)) return QString::fromStdString(message);
    return HexStatus(hr);
  };
  QString text;
  if (run.outcome == BackupOutcome::kFailed) {
    text = tr("The backup of %1 failed: %2").arg(folder, reason(run.error));
  } else {
    text = tr("The backup of %1 skipped %n file(s)", nullptr, static_cast<int>(run.skipped.size())).arg(folder);
    for (std::size_t i = 0; i < run.skipped.size() && i < 3; ++i)
      text += "\n" + QString::fromStdString(run.skipped[i].path) + ": " + reason(run.skipped[i].reason);
  }
  statusBar()->showMessage(text.section('\n', 0, 0));
  notifier_->Notify(run.outcome == BackupOutcome::kFailed ? tr("Backup failed") : tr("Backup skipped files"), text,
                    false);
}

}  // namespace korvex::app
