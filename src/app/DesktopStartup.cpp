//===- app/DesktopStartup.cpp - Start-up and shutdown of korvexdata -------===//

#include "app/DesktopStartup.h"

#include "app/InstanceWatcher.h"
#include "app/LoginDlg.h"
#include "app/MainDlg.h"
#include "app/Translation.h"
#include "app/UpdateSteps.h"
#include "foundation/LogMgr.h"
#include "platform/InstanceChannel.h"
#include "session/ClientStartup.h"
#include "app/WaitIndicator.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <clocale>
#include <memory>

namespace korvex::app {
namespace {

/// The windows a later start may ask to bring forward: the login dialog
/// while it runs, else the main window once the user is logged in.
struct ShownWindows {
  QPointer<CLoginDlg> login;
  QPointer<CMainDlg> main;

  void BringForward() const {
    QWidget* window = main && (!login || !login->isVisible()) ? static_cast<QWidget*>(main.data()) : login.data();
    if (!window) return;
    LogMgr::Get().Info("Startup", "A later start asked for the %s", window == main ? "main window" : "login dialog");
    if (window->isMinimized()) window->showNormal();
    else window->show();
    window->raise();
    window->activateWindow();
  }
};

// One pass per login: logging out destroys the window and shows the login
// dialog again in the same process; anything else ends the loop.
void RunMainWindowLoop(const DeploymentValues& deployment, const DesktopCommandLine& commandLine,
                       ShownWindows& shown) {
  for (bool relogin = false;; relogin = true) {
    CLoginDlg login(deployment, relogin);
    shown.login = &login;
    if (login.exec() != QDialog::Accepted) return;
    CMainDlg window(login.GetSession(), deployment, MainWindowOptions{relogin, commandLine.reset});
    shown.main = &window;
    // A pane that could not open says so inside the window; the other stays usable.
    (void)window.Init();
    window.show();
    const int reason = QApplication::exec();
    if (reason != kExitRelogin) return;
  }
}

}  // namespace

DesktopCommandLine JoinCommandLine(int argc, char** argv) {
  DesktopCommandLine line;
  for (int i = 1; i < argc; ++i) line.text += (i > 1 ? " " : "") + std::string(argv[i]);
  line.reset = line.text.find("reset") != std::string::npos;
  return line;
}

int RunDesktopClient(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  QApplication app(argc, argv);
  QApplication::setApplicationName("KorvexData SMB");
  QApplication::setDesktopFileName("korvexdata");
  // The exit routine decides when the program ends; a window that closes
  // between the login dialog and the main window must not end it.
  QApplication::setQuitOnLastWindowClosed(false);
  const DesktopCommandLine commandLine = JoinCommandLine(argc, argv);

  DeploymentValues deployment;
  std::string error;
  if (Failed(session::StartClient(session::GlobalOptions{}, deployment, error))) {
    QMessageBox::critical(nullptr, QApplication::applicationName(), QString::fromStdString(error));
    session::StopClient();
    return 1;
  }
  (void)InstallTranslations(CurrentLanguage());
  if (RunUpdateInstall(commandLine.text)) {
    session::StopClient();
    return 0;
  }

  std::unique_ptr<InstanceChannel> channel;
  const HRESULT claimed = InstanceChannel::Claim(channel);
  if (claimed == S_FALSE) {
    LogMgr::Get().Info("Startup", "The client already runs; it was asked to show itself");
    session::StopClient();
    return 0;
  }
  ShownWindows shown;
  std::unique_ptr<InstanceWatcher> watcher;
  if (Failed(claimed)) {
    LogMgr::Get().Warn("Startup", "Running without the single-instance guard: 0x%08x", static_cast<unsigned>(claimed));
  } else {
    watcher = std::make_unique<InstanceWatcher>(*channel, [&shown] {
      QMetaObject::invokeMethod(qApp, [&shown] { shown.BringForward(); }, Qt::QueuedConnection);
    });
    if (Failed(watcher->Start())) watcher.reset();
  }

  // A store call waiting on the GUI thread keeps the windows alive and shows that it waits.
  WaitIndicator::Install();
  // The new version's installer takes over: nothing of this start is needed.
  if (!RunStartupUpdateCheck()) RunMainWindowLoop(deployment, commandLine, shown);

  if (watcher) watcher->Stop();
  WaitIndicator::Uninstall();
  session::StopClient();
  return 0;
}

}  // namespace korvex::app
