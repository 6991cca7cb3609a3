//===- app/main.cpp - korvexdata, the desktop client -----------------------===//

#include "app/LoginDlg.h"
#include "app/MainDlg.h"
#include "app/StartupUpdate.h"
#include "cli/ClientStartup.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
  // The installer half of a self-update needs no window (nor a display).
  if (const std::optional<int> code = korvex::app::RunUpdateInstallMode(argc, argv)) return *code;
  QApplication app(argc, argv);
  QApplication::setApplicationName("KorvexData SMB");

  korvex::DeploymentValues deployment;
  std::string error;
  if (korvex::Failed(korvex::cli::StartClient(korvex::cli::GlobalOptions{}, deployment, error))) {
    QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromStdString(error));
    return 1;
  }
  if (korvex::app::RunStartupUpdate(deployment)) return 0;  // the new version's installer takes over
  // One pass per login: logging out closes the window and shows the login
  // dialog again in the same process.
  for (bool relogin = false;; relogin = true) {
    korvex::app::CLoginDlg login(deployment, relogin);
    if (login.exec() != QDialog::Accepted) break;
    korvex::app::CMainDlg window(login.GetSession(), deployment);
    (void)window.Init();
    window.show();
    QApplication::exec();
    if (!window.LogoutRequested()) break;
  }
  korvex::cli::StopClient();
  return 0;
}
