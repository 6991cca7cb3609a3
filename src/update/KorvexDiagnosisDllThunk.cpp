//===- update/KorvexDiagnosisDllThunk.cpp - The loaded check module -------===//

#include "update/KorvexDiagnosisDllThunk.h"

#include <system_error>

#include "foundation/LogMgr.h"
#include "platform/Paths.h"
#include "platform/Process.h"
#include "update/KddAutoUpdater.h"

#ifndef KORVEX_INSTALL_LIBDIR
#define KORVEX_INSTALL_LIBDIR "/usr/lib/korvexdata"
#endif

namespace korvex {

std::vector<std::filesystem::path> DiagnosisLibraryCandidates(const std::string& name) {
  std::vector<std::filesystem::path> found;
  std::error_code error;
  const std::filesystem::path program = RunningProgramPath();
  for (const std::filesystem::path& folder : {UserDiagnosisLibraryPath().parent_path(),
                                              std::filesystem::path(KORVEX_INSTALL_LIBDIR), program.parent_path()}) {
    if (folder.empty()) continue;
    const std::filesystem::path candidate = folder / name;
    if (std::filesystem::is_regular_file(candidate, error)) found.push_back(candidate);
  }
  return found;
}

bool KorvexDiagnosisDllThunk::LoadDiagnosis(const std::string& name) {
  Unload();
  bool loaded = false;
  if (name.find('/') != std::string::npos) {
    loaded = Load(name);
  } else {
    for (const std::filesystem::path& candidate : DiagnosisLibraryCandidates(name)) {
      if ((loaded = Load(candidate.string()))) break;
      LogMgr::Get().Warn("DiagnosisThd", "Loading %s failed: %s", candidate.c_str(), LastError().c_str());
    }
    if (!loaded) loaded = Load(name);
  }
  if (!loaded) return false;
  start = reinterpret_cast<KddStartDiagnosisFn>(Symbol("KDD_StartDiagnosis"));
  get = reinterpret_cast<KddGetDiagnosisFn>(Symbol("KDD_GetDiagnosis"));
  cancel = reinterpret_cast<KddCancelDiagnosisFn>(Symbol("KDD_CancelDiagnosis"));
  return start != nullptr && get != nullptr && cancel != nullptr;
}

void KorvexDiagnosisDllThunk::Unload() {
  start = nullptr;
  get = nullptr;
  cancel = nullptr;
  DllThunk::Unload();
}

}  // namespace korvex
