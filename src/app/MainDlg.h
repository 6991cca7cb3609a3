//===- app/MainDlg.h - The main window --------------------------*- C++ -*-===//
///
/// The window of one login: the cloud pane beside the local pane, the
/// commands between them, the session's transfers with their list below
/// the panes, and the tray icon. It owns the session's stores; they end with
/// the window, so a fresh login gets fresh stores and cookies.
///
/// Closing the window only hides it while the tray icon is shown; otherwise
/// "ExitConfirm" decides whether the user is asked before the exit routine.
///
/// Its exit routine ends every way out: it stops the transfers (they are
/// saved and resume at the next login) and then either leaves the event
/// loop with kExitRelogin, after which start-up shows the login dialog
/// again, or with 0, after which start-up shuts the program down.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Deployment.h"
#include "platform/HResult.h"
#include "session/SessionFile.h"
#include "session/SessionKeeper.h"
#include "session/SessionStores.h"
#include "store/DataStore.h"

#include <QMainWindow>

#include <memory>

class QLabel;

namespace korvex {
class NetworkEventSink;
struct BackupRun;
}

namespace korvex::app {

class CBackupCommands;
class CCloudCommands;
class CLocalDriveDlg;
class CNetDriveDlg;
class CTransferCommands;
class CToolPanel;
class CTransferListCtrl;
class CTrayIcon;
class DesktopNotifier;
class SessionBackup;
class SessionTransfers;

/// Reasons of the exit routine.
inline constexpr int kExitProgram = 2;
inline constexpr int kExitRelogin = 4;

struct MainWindowOptions {
  /// Set for every main window but the first of the process.
  bool relogin = false;
  /// The "reset" start: stored transfers come back stopped.
  bool reset = false;
};

class CMainDlg : public QMainWindow {
  Q_OBJECT
 public:
  CMainDlg(const session::Session& session, const DeploymentValues& deployment, MainWindowOptions options = {},
           QWidget* parent = nullptr);
  ~CMainDlg() override;

  /// Opens both stores, lists their roots and starts the transfers; a
  /// failure is shown in the window and returned (the panes that could open
  /// stay usable).
  [[nodiscard]] HRESULT Init();
  /// The exit routine: kExitRelogin for a logout, kExitProgram otherwise.
  void Exit(int reason);

  [[nodiscard]] const MainWindowOptions& Options() const noexcept { return options_; }
  [[nodiscard]] CNetDriveDlg* NetPane() const noexcept { return net_; }
  [[nodiscard]] CLocalDriveDlg* LocalPane() const noexcept { return local_; }
  /// Null for an access-code session and before Init.
  [[nodiscard]] SessionTransfers* Transfers() const noexcept { return transfers_.get(); }
  [[nodiscard]] CTransferCommands* TransferCommands() const noexcept { return transferCommands_; }
  [[nodiscard]] CCloudCommands* CloudCommands() const noexcept { return cloudCommands_; }
  /// Null when there are no transfers (access-code session, before Init).
  [[nodiscard]] CTransferListCtrl* TransferList() const noexcept { return transferList_; }
  [[nodiscard]] CTrayIcon* Tray() const noexcept { return tray_; }
  /// The "Tool" tab beside the transfer list; null when there is no list.
  [[nodiscard]] CToolPanel* ToolPanel() const noexcept { return toolPanel_; }
  /// The account's backups; null for an access-code session and before Init.
  [[nodiscard]] SessionBackup* Backup() const noexcept { return backup_.get(); }
  [[nodiscard]] CBackupCommands* BackupCommands() const noexcept { return backupCommands_; }

  /// Shows, restores and raises the window (the tray's "Open" command).
  void ShowAndActivate();
  /// "&Options": the options dialog; the tray icon follows its choice.
  void ShowOptions();
  /// The network came back (message 1465 of the network event sink).
  void OnNetworkConnected();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  [[nodiscard]] HRESULT OpenPanes();
  void BuildMenus();
  void BuildTray();
  /// Puts the "Tool" and "Transfer" tabs under the panes.
  void AddTransferList();
  /// Starts watching for the network's return (message 1465).
  void WatchNetwork();
  void StopWatchingNetwork();
  /// Hosts the account's backups and puts their commands on the local pane.
  /// On the UI thread, once the transfers that another program ran are this window's.
  /// Renews the session with the saved password when the service ends it
  /// while transfers run, or stops them and goes back to the login dialog.
  void KeepSession();
  void AnswerSessionEnd();
  void TakeOverTransfers();
  void StartBackups();
  /// Tells the user, in the status bar and by a notification, of a backup
  /// run that skipped files or failed.
  void ShowBackupRun(const BackupRun& run);

  session::SessionStores stores_;
  std::unique_ptr<DataStore> localStore_;
  // Declared after the stores it borrows, so that it stops before they go.
  std::unique_ptr<SessionTransfers> transfers_;
  std::unique_ptr<session::SessionKeeper> keeper_;  // listens to the transfers' manager
  DeploymentValues deployment_;
  // Starts backups on the transfers' manager, so it goes before them.
  std::unique_ptr<SessionBackup> backup_;
  CBackupCommands* backupCommands_ = nullptr;
  MainWindowOptions options_;
  CNetDriveDlg* net_ = nullptr;
  CLocalDriveDlg* local_ = nullptr;
  CTransferCommands* transferCommands_ = nullptr;
  CCloudCommands* cloudCommands_ = nullptr;
  QLabel* transferLine_ = nullptr;
  std::unique_ptr<NetworkEventSink> networkSink_;
  CTransferListCtrl* transferList_ = nullptr;  // in the central widget
  CToolPanel* toolPanel_ = nullptr;            // beside the transfer list
  CTrayIcon* tray_ = nullptr;
  DesktopNotifier* notifier_ = nullptr;
  bool exiting_ = false;
};

}  // namespace korvex::app
