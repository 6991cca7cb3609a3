//===- app/main.cpp - korvexdata, the desktop client -----------------------===//

#include "app/LoginDlg.h"
#include "app/MainDlg.h"
#include "app/Translation.h"
#include "cli/ClientStartup.h"

#include <QApplication>
#include <QMessageBox>

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("KorvexData SMB");
  QApplication::setDesktopFileName("korvexdata");
  // With the tray icon the hidden window lives on after its dialogs close;
  // the window says when it is closed for good.
  QApplication::setQuitOnLastWindowClosed(false);

  korvex::DeploymentValues deployment;
  std::string error;
  if (korvex::Failed(korvex::cli::StartClient(korvex::cli::GlobalOptions{}, deployment, error))) {
    QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromStdString(error));
    return 1;
  }
  (void)korvex::app::InstallTranslations(korvex::CurrentLanguage());
  // One pass per login: logging out closes the window and shows the login
  // dialog again in the same process.
  for (bool relogin = false;; relogin = true) {
    korvex::app::CLoginDlg login(deployment, relogin);
    if (login.exec() != QDialog::Accepted) break;
    korvex::app::CMainDlg window(login.GetSession(), deployment);
    QObject::connect(&window, &korvex::app::CMainDlg::closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    (void)window.Init();
    window.show();
    QApplication::exec();
    if (!window.LogoutRequested()) break;
  }
  korvex::cli::StopClient();
  return 0;
}
