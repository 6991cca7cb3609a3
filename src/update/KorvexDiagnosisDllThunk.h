//===- update/KorvexDiagnosisDllThunk.h - The loaded check module -*- C++ -*-===//
///
/// A file name is looked for among the usable copies of the module, newest
/// first (see DiagnosisModules.h), then by the dynamic loader's own search.
/// A per-user copy that still fails to load, or lacks one of the three
/// calls, is deleted: it is only a cache of the web site's file, and gone,
/// it is fetched again at the next check instead of standing in the way of
/// every later update.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <string>

#include "update/DllThunk.h"
#include "update/KorvexDiagnosisApi.h"

namespace korvex {

class KorvexDiagnosisDllThunk final : public DllThunk {
 public:
  /// Loads `name` (a path, or a file name looked for as above) and resolves
  /// the three calls; true only when all three were found.
  [[nodiscard]] bool LoadDiagnosis(const std::string& name);
  void Unload() override;
  /// The file loaded last; empty after a search by the dynamic loader.
  [[nodiscard]] const std::filesystem::path& LoadedPath() const { return loaded_; }
  /// After a failed LoadDiagnosis: each place tried and why it failed, one
  /// a line, so that the user learns where the module was looked for.
  [[nodiscard]] const std::string& Attempts() const { return attempts_; }

  KddStartDiagnosisFn start = nullptr;
  KddGetDiagnosisFn get = nullptr;
  KddCancelDiagnosisFn cancel = nullptr;

 private:
  /// Load() and resolve the three calls.
  [[nodiscard]] bool LoadAndResolve(const std::string& path);
  void NoteAttempt(const std::string& where);

  std::filesystem::path loaded_;
  std::string attempts_;
};

}  // namespace korvex
