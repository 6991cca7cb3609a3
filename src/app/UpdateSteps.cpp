//===- app/UpdateSteps.cpp - Start-up's calls into the self-update --------===//

#include "app/UpdateSteps.h"

#include <boost/format.hpp>

#include <QApplication>
#include <QMessageBox>

#include "app/AutoProgressDlg.h"
#include "foundation/Deployment.h"
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
  QString text = Q(UpdateResultMessage(hr));
  if (!updater.RefusalMessage().empty()) text += "\n" + Q(updater.RefusalMessage());
  QMessageBox::critical(nullptr, Title(), text);
  return false;
}

}  // namespace

bool RunUpdateInstall(const std::string& commandLine) {
  if (commandLine.rfind(kUpdateWord, 0) != 0) return false;
  if (commandLine.size() > kUpdateWord.size() && commandLine[kUpdateWord.size()] != ' ') return false;
  // Everything after the word and one separator is the path.
  const std::filesystem::path target = commandLine.size() > kUpdateWord.size() + 1
                                           ? commandLine.substr(kUpdateWord.size() + 1)
                                           : std::string();
  const std::filesystem::path self = RunningProgramPath();
  if (IsInstallTarget(target, self)) {
    (void)InstallUpdate(self, target);
  } else {
    LogMgr::Get().Error("AutoUpdater", "Not an installed copy of this program: %s", target.c_str());
  }
  return true;
}

bool RunStartupUpdateCheck() {
  if (const std::optional<HRESULT> pending = TakeAutoUpdateResult()) {
    ShowPendingResult(*pending);
    return false;
  }
  DeploymentValues deployment;
  if (Failed(LoadDeployment({}, deployment))) return false;
  KorvexDataAutoUpdater updater(deployment.webUrl, DesktopBinaryPath());
  UpdateDescription published;
  CAutoProgressDlg wait(Title(), Q(Text(kTxtCheckingVersion)));
  // A failed check (no network, nothing published) is only logged: it must
  // never keep the user from working.
  if (wait.Run([&] { return updater.CheckForUpdate(published, nullptr); }) != S_OK) return false;
  return OfferUpdate(updater, published);
}

}  // namespace korvex::app
