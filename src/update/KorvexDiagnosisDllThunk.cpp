//===- update/KorvexDiagnosisDllThunk.cpp - The loaded check module -------===//

#include "update/KorvexDiagnosisDllThunk.h"

#include <system_error>

#include "foundation/LogMgr.h"
#include "update/DiagnosisModules.h"

namespace korvex {

bool KorvexDiagnosisDllThunk::LoadAndResolve(const std::string& path) {
  if (!Load(path)) return false;
  start = reinterpret_cast<KddStartDiagnosisFn>(Symbol("KDD_StartDiagnosis"));
  get = reinterpret_cast<KddGetDiagnosisFn>(Symbol("KDD_GetDiagnosis"));
  cancel = reinterpret_cast<KddCancelDiagnosisFn>(Symbol("KDD_CancelDiagnosis"));
  if (start != nullptr && get != nullptr && cancel != nullptr) return true;
  Unload();
  return false;
}

void KorvexDiagnosisDllThunk::NoteAttempt(const std::string& where) {
  attempts_ += where + ": " + (LastError().empty() ? std::string("a call is missing") : LastError()) + "\n";
}

bool KorvexDiagnosisDllThunk::LoadDiagnosis(const std::string& name) {
  Unload();
  attempts_.clear();
  if (name.find('/') != std::string::npos) {
    if (!LoadAndResolve(name)) {
      NoteAttempt(name);
      return false;
    }
    loaded_ = name;
    return true;
  }
  for (const DiagnosisModule& module : FindDiagnosisModules(name, UserDiagnosisLibraryPath(name))) {
    if (LoadAndResolve(module.path.string())) {
      loaded_ = module.path;
      return true;
    }
    LogMgr::Get().Warn("DiagnosisThd", "Loading %s failed: %s", module.path.c_str(),
                       LastError().empty() ? "a call is missing" : LastError().c_str());
    NoteAttempt(module.path.string());
    if (module.perUser) {
      std::error_code error;
      std::filesystem::remove(module.path, error);
    }
  }
  if (LoadAndResolve(name)) return true;
  NoteAttempt(name + " (the system's library path)");
  return false;
}

void KorvexDiagnosisDllThunk::Unload() {
  start = nullptr;
  get = nullptr;
  cancel = nullptr;
  loaded_.clear();
  DllThunk::Unload();
}

}  // namespace korvex
