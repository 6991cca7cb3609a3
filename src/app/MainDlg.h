//===- app/MainDlg.h - The main window --------------------------*- C++ -*-===//
///
/// The window of one login: the cloud pane beside the local pane, the
/// transfer list below them, and the tray icon. It owns the session's stores
/// and transfers; they end with the window, so a fresh login gets fresh
/// stores and cookies, and unfinished transfers are saved for the next one.
///
/// Closing the window only hides it while the tray icon is shown; otherwise
/// "ExitConfirm" decides whether the user is asked first. Logout and exit
/// close it for good and emit closed().
///
//===----------------------------------------------------------------------===//
#pragma once

#include "cli/SessionFile.h"
#include "cli/SessionStores.h"
#include "foundation/Deployment.h"
#include "platform/HResult.h"
#include "store/DataStore.h"

#include <QMainWindow>

#include <memory>

class QSplitter;

namespace korvex::app {

class CLocalDriveDlg;
class CNetDriveDlg;
class CTransferListCtrl;
class CTrayIcon;
class DesktopNotifier;
class TransferSession;

class CMainDlg : public QMainWindow {
  Q_OBJECT
 public:
  CMainDlg(const cli::Session& session, const DeploymentValues& deployment, QWidget* parent = nullptr);
  ~CMainDlg() override;

  /// Opens both stores and lists their roots; a failure is shown in the
  /// status bar and returned (the panes that could open stay usable).
  [[nodiscard]] HRESULT Init();
  /// True once the user chose "Logout": the caller shows the login again.
  [[nodiscard]] bool LogoutRequested() const noexcept { return logout_; }

  [[nodiscard]] CNetDriveDlg* NetPane() const noexcept { return net_; }
  [[nodiscard]] CLocalDriveDlg* LocalPane() const noexcept { return local_; }
  /// Null when the cloud disk could not be opened.
  [[nodiscard]] CTransferListCtrl* TransferList() const noexcept { return transferList_; }
  [[nodiscard]] TransferSession* Transfers() const noexcept { return transfers_.get(); }
  [[nodiscard]] CTrayIcon* Tray() const noexcept { return tray_; }

  /// Shows, restores and raises the window.
  void ShowAndActivate();
  /// "&Options": the options dialog; the tray icon follows its choice.
  void ShowOptions();
  /// "&Exit": closes the window without asking again.
  void ExitProgram();
  /// The network came back (message 1465 of the network event sink).
  void OnNetworkConnected();

 signals:
  /// The window closed for good (exit or logout).
  void closed();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenus();
  void BuildTray();
  /// Puts the transfer list under `panes` and makes the splitter of both
  /// the central widget.
  void AddTransferList(QSplitter* panes, const DeploymentValues& deployment);

  cli::SessionStores stores_;
  DeploymentValues deployment_;
  std::unique_ptr<DataStore> localStore_;
  CNetDriveDlg* net_ = nullptr;
  CLocalDriveDlg* local_ = nullptr;
  std::unique_ptr<TransferSession> transfers_;  // outlives the list, which is in the central widget
  CTransferListCtrl* transferList_ = nullptr;
  CTrayIcon* tray_ = nullptr;
  DesktopNotifier* notifier_ = nullptr;
  bool logout_ = false;
  bool exiting_ = false;
};

}  // namespace korvex::app
