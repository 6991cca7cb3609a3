//===- update/KddAutoUpdater.cpp - Updates the network-check module -------===//

#include "update/KddAutoUpdater.h"

#include <system_error>

#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "update/UpdateFileCheck.h"
#include "update/UpdateInstall.h"

#ifndef KORVEX_PLATFORM_NAME
#define KORVEX_PLATFORM_NAME "linux-x86_64"
#endif

namespace korvex {

std::string DiagnosisBinaryPath() { return "/libKorvexDiagnosis-" KORVEX_PLATFORM_NAME ".so"; }

KddAutoUpdater::KddAutoUpdater(std::string baseUrl, std::filesystem::path target)
    : CAutoUpdater(std::move(baseUrl)), target_(target.empty() ? UserDiagnosisLibraryPath() : std::move(target)) {}

HRESULT KddAutoUpdater::QueryInstalledVersion(FileVersion& version) const {
  const std::vector<DiagnosisModule> modules = FindDiagnosisModules(target_.filename().string(), target_);
  if (modules.empty()) return S_FALSE;
  version = modules.front().version;
  return S_OK;
}

HRESULT KddAutoUpdater::Update(Event* cancel) {
  const std::filesystem::path download = paths::TempDir() / target_.filename();
  if (const HRESULT hr = DownloadBinary(download, cancel); Failed(hr)) return hr;
  std::error_code error;
  std::filesystem::create_directories(target_.parent_path(), error);
  HRESULT hr = error ? HResultFromErrno(error.value()) : S_OK;
  // The new copy takes the old one's permission bits; an unusable old copy
  // may be unusable for its bits (mode 0), so it goes first.
  FileVersion old = 0;
  if (Succeeded(hr) && std::filesystem::exists(target_, error) && Failed(QueryUsableFileVersion(target_, old))) {
    std::filesystem::remove(target_, error);
  }
  // A module loaded by another check keeps its old file: the copy is
  // renamed over the name, never written into it.
  if (Succeeded(hr)) hr = CopyFileOver(download, target_);
  std::filesystem::remove(download, error);
  return hr;
}

}  // namespace korvex
