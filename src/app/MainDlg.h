//===- app/MainDlg.h - The main window --------------------------*- C++ -*-===//
///
/// The window of one login: the cloud pane beside the local pane. It owns
/// the session's stores; they end with the window, so a fresh login gets
/// fresh stores and cookies.
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

namespace korvex::app {

class CLocalDriveDlg;
class CNetDriveDlg;

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

 private:
  void BuildMenus();

  cli::SessionStores stores_;
  std::unique_ptr<DataStore> localStore_;
  CNetDriveDlg* net_ = nullptr;
  CLocalDriveDlg* local_ = nullptr;
  bool logout_ = false;
};

}  // namespace korvex::app
