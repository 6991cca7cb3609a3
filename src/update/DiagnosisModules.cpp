//===- update/DiagnosisModules.cpp - Where the check module lives ---------===//

#include "update/DiagnosisModules.h"

#include <algorithm>
#include <system_error>

#include "foundation/LogMgr.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "update/UpdateFileCheck.h"

// Set by the build: the module folder relative to the programs' folder, and
// the build tree with the folder its module is built in.
#ifndef KORVEX_MODULE_DIR_FROM_BIN
#define KORVEX_MODULE_DIR_FROM_BIN "../lib/korvexdata"
#endif

namespace korvex {

namespace {

bool IsInside(const std::filesystem::path& file, const std::filesystem::path& folder) {
  const std::filesystem::path relative = file.lexically_relative(folder);
  return !relative.empty() && *relative.begin() != "..";
}

}  // namespace

std::filesystem::path UserDiagnosisLibraryPath(const std::string& name) {
  return paths::AppDataDir() / "KorvexDataSMB" / name;
}

std::vector<std::filesystem::path> InstalledDiagnosisLibraryPaths(const std::string& name) {
  std::vector<std::filesystem::path> paths;
  const std::filesystem::path program = RunningProgramPath();
  if (program.empty()) return paths;
  paths.push_back((program.parent_path() / KORVEX_MODULE_DIR_FROM_BIN / name).lexically_normal());
#if defined(KORVEX_BUILD_DIR) && defined(KORVEX_BUILD_MODULE_DIR)
  if (IsInside(program, KORVEX_BUILD_DIR)) paths.push_back(std::filesystem::path(KORVEX_BUILD_MODULE_DIR) / name);
#endif
  return paths;
}

std::vector<DiagnosisModule> FindDiagnosisModules(const std::string& name, const std::filesystem::path& userCopy) {
  std::vector<DiagnosisModule> found;
  auto consider = [&found](const std::filesystem::path& path, bool perUser) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return;
    DiagnosisModule module{path, 0, perUser};
    if (const HRESULT hr = QueryUsableFileVersion(path, module.version); Failed(hr)) {
      LogMgr::Get().Warn("DiagnosisThd", "Passing over %s: not a usable module (hr = 0x%08X)", path.c_str(),
                         static_cast<unsigned>(hr));
      return;
    }
    found.push_back(std::move(module));
  };
  for (const std::filesystem::path& path : InstalledDiagnosisLibraryPaths(name)) consider(path, false);
  if (!userCopy.empty()) consider(userCopy, true);
  // Stable: at the same version the installed copy, listed first, stays first.
  std::stable_sort(found.begin(), found.end(),
                   [](const DiagnosisModule& a, const DiagnosisModule& b) { return a.version > b.version; });
  return found;
}

}  // namespace korvex
