//===- app/StartupUpdate.cpp - Self-update at start-up --------------------===//

#include "app/StartupUpdate.h"

#include <string_view>

#include <boost/format.hpp>

#include <QApplication>
#include <QMessageBox>

#include "app/AutoProgressDlg.h"
#include "cli/ClientStartup.h"
#include "foundation/LogMgr.h"
#include "platform/Process.h"
#include "update/KorvexDataAutoUpdater.h"
#include "update/UpdateInstall.h"
#include "update/UpdateTexts.h"

namespace korvex::app {

namespace {

QString Q(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QString Title() {
  return Q((boost::format(std::string(Text(kTxtUpdateTitle))) % QApplication::applicationName().toStdString()).str());
}

void ShowPendingResult(HRESULT result) {
  const QString text = Q(UpdateResultMessage(result));
  if (result == S_OK) {
    QMessageBox::information(nullptr, Title(), text);
  } else {
    QMessageBox::critical(nullptr, Title(), text);
  }
}

// The user is told of the new version; true when its installer runs now.
bool OfferUpdate(KorvexDataAutoUpdater& updater, const UpdateDescription& published) {
  if (!CanReplaceFile(updater.GetTargetPath())) {
    QMessageBox::information(
        nullptr, Title(),
        Q((boost::format(std::string(Text(kTxtUpdateThroughPackages))) % published.versionText).str()));
    return false;
  }
  QMessageBox::information(nullptr, Title(),
                           Q((boost::format(std::string(Text(kTxtFoundNewVersion))) % published.versionText %
                              published.description)
                                 .str()));
  CAutoProgressDlg wait(Title(),
                        Q((boost::format(std::string(Text(kTxtDownloadingUpdate))) % published.versionText).str()));
  const HRESULT hr = wait.Run([&updater] { return updater.Update(nullptr); });
  if (Succeeded(hr)) return true;
  QMessageBox::critical(nullptr, Title(), Q(UpdateResultMessage(hr)));
  return false;
}

}  // namespace

std::optional<int> RunUpdateInstallMode(int argc, char** argv) {
  if (argc < 3 || std::string_view(argv[1]) != kUpdateWord) return std::nullopt;
  DeploymentValues deployment;
  std::string error;
  (void)cli::StartClient(cli::GlobalOptions{}, deployment, error);  // for the log; the URLs are not needed
  const std::filesystem::path self = RunningProgramPath();
  if (IsInstallTarget(argv[2], self)) {
    (void)InstallUpdate(self, argv[2]);
  } else {
    LogMgr::Get().Error("AutoUpdater", "Not an installed copy of this program: %s", argv[2]);
  }
  cli::StopClient();
  return 0;
}

bool RunStartupUpdate(const DeploymentValues& deployment) {
  if (const std::optional<HRESULT> pending = TakeAutoUpdateResult()) {
    ShowPendingResult(*pending);
    return false;
  }
  KorvexDataAutoUpdater updater(deployment.webUrl, DesktopBinaryPath());
  UpdateDescription published;
  CAutoProgressDlg wait(Title(), Q(Text(kTxtCheckingVersion)));
  // A failed check (no network, no published file) is only logged: it
  // must never keep the user from working.
  if (wait.Run([&] { return updater.CheckForUpdate(published, nullptr); }) != S_OK) return false;
  return OfferUpdate(updater, published);
}

}  // namespace korvex::app
