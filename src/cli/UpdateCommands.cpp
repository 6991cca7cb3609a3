//===- cli/UpdateCommands.cpp - korvex update and korvex diagnose ---------===//

#include "cli/UpdateCommands.h"

#include <csignal>
#include <iostream>
#include <system_error>

#include <boost/format.hpp>

#include "cli/Console.h"
#include "platform/Process.h"
#include "platform/VersionMarker.h"
#include "update/KddAutoUpdater.h"
#include "update/KorvexDataAutoUpdater.h"
#include "update/NetworkCheck.h"
#include "update/UpdateInstall.h"
#include "update/UpdateTexts.h"

namespace korvex::cli {

namespace {

std::string Format(const UpdateText& text, const std::string& a, const std::string& b = {}) {
  boost::format f(std::string(Text(text)));
  f.exceptions(boost::io::no_error_bits);
  return (f % a % b).str();
}

void PrintCheck(const GlobalOptions& options, HRESULT due, const UpdateDescription& published) {
  const std::string installed(ProgramVersion());
  if (options.json) {
    std::cout << "{\"update\":" << (due == S_OK ? "true" : "false") << ",\"installed\":" << JsonString(installed)
              << ",\"version\":" << JsonString(published.versionText)
              << ",\"description\":" << JsonString(published.description) << "}" << std::endl;
    return;
  }
  if (due != S_OK) {
    std::cout << Format(kTxtNoUpdate, installed) << std::endl;
    return;
  }
  std::cout << Format(kTxtNewVersionAvailable, published.versionText, installed) << std::endl;
  if (!published.description.empty()) std::cout << published.description << std::endl;
}

int Install(const std::string& target) {
  if (!IsInstallTarget(target, RunningProgramPath())) {
    return ReportMessage("update: " + target + " is not an installed korvex", kExitUsage);
  }
  // korvex has no window to show the result in: the korvex that started
  // this copy waits for it and reports the recorded result itself.
  InstallOptions install;
  install.startTarget = false;
  const HRESULT result = InstallUpdate(RunningProgramPath(), target, install);
  return Succeeded(result) ? kExitOk : kExitFailure;
}

// Downloads, lets the downloaded copy replace this program and reports the
// result it recorded.
int DownloadAndInstall(KorvexDataAutoUpdater& updater, const UpdateDescription& published) {
  if (!CanReplaceFile(updater.GetTargetPath())) {
    return ReportMessage(Format(kTxtUpdateThroughPackages, published.versionText));
  }
  std::cerr << Format(kTxtDownloadingUpdate, published.versionText) << std::endl;
  if (const HRESULT hr = updater.Download(nullptr); Failed(hr)) {
    if (!updater.RefusalMessage().empty()) return ReportText(hr, updater.RefusalMessage());
    return ReportFailure(hr, Text(kTxtUpdateDownloadFailed));
  }
  (void)TakeAutoUpdateResult();  // a stale value must not pass for this run's
  pid_t installer = -1;
  int exitCode = 0;
  HRESULT hr = updater.StartInstaller(&installer);
  if (Succeeded(hr)) hr = WaitForProcess(installer, exitCode);
  std::error_code error;
  std::filesystem::remove(updater.DownloadPath(), error);
  if (Failed(hr)) return ReportText(hr, UpdateResultMessage(hr));
  const std::optional<HRESULT> result = TakeAutoUpdateResult();
  const HRESULT outcome = result.value_or(E_FAIL);
  if (Failed(outcome)) return ReportMessage(UpdateResultMessage(outcome));
  std::cout << UpdateResultMessage(outcome) << std::endl;
  return kExitOk;
}

Event* g_diagnosisCancel = nullptr;

void OnInterrupt(int) {
  if (g_diagnosisCancel != nullptr) g_diagnosisCancel->Set();
}

}  // namespace

int RunUpdate(const GlobalOptions& options, const DeploymentValues& deployment, const UpdateArgs& args) {
  if (!args.installTarget.empty()) return Install(args.installTarget);
  KorvexDataAutoUpdater updater(deployment.webUrl, CommandLineBinaryPath());
  UpdateDescription published;
  const HRESULT due = updater.CheckForUpdate(published, nullptr);
  if (Failed(due)) return ReportFailure(due, Text(kTxtUpdateCheckFailed));
  if (args.check || due != S_OK) {
    PrintCheck(options, due, published);
    return kExitOk;
  }
  return DownloadAndInstall(updater, published);
}

int RunDiagnose(const GlobalOptions& options, const DeploymentValues& deployment) {
  std::unique_ptr<Event> cancel;
  if (const HRESULT hr = Event::Create(true, false, cancel); Failed(hr)) return ReportFailure(hr);
  g_diagnosisCancel = cancel.get();
  auto* const previous = std::signal(SIGINT, &OnInterrupt);
  if (!options.json) std::cerr << Text(kTxtCheckingNetwork) << std::endl;
  NetworkCheckOptions check;
  check.webUrl = deployment.webUrl;
  const NetworkCheckResult result = RunNetworkCheck(check, cancel.get());
  std::signal(SIGINT, previous);
  g_diagnosisCancel = nullptr;
  if (options.json) {
    std::cout << "{\"status\":" << JsonString((boost::format("0x%08X") % static_cast<unsigned>(result.status)).str())
              << ",\"message\":" << JsonString(result.message) << ",\"report\":" << JsonString(result.report)
              << ",\"module\":" << JsonString(result.modulePath.string())
              << ",\"moduleUpdate\":" << JsonString(result.moduleUpdate) << "}"
              << std::endl;
  } else {
    if (!result.moduleUpdate.empty()) std::cerr << "korvex: " << result.moduleUpdate << std::endl;
    std::cout << result.report << result.message << std::endl;
  }
  return Succeeded(result.status) ? kExitOk : kExitFailure;
}

}  // namespace korvex::cli
