//===- foundation/RegistryFile.h - A hive file on disk ----------*- C++ -*-===//
///
/// Loads and rewrites one hive file. Several processes (the GUI and the CLI)
/// share the file, so every read-modify-write runs under an advisory flock on
/// a separate lock file beside it, and the new content replaces the old one
/// atomically (temporary file in the same folder, fsync, rename, fsync of the
/// folder): a reader sees the old or the new hive, never a mixture, and two
/// writers of different values both keep theirs.
///
/// A file that is no registry export at all is never overwritten: it is
/// renamed beside itself ("HKCU.reg.corrupt-20260306T091500Z"), the fact is
/// logged under "Registry" and kept for TakeSetAsideHives(), so that the
/// user is told once, and the hive starts from the defaults (empty). Values
/// of a type the client does not read are no reason for that: each is
/// logged once as a warning and kept.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "foundation/RegistryHive.h"
#include "platform/HResult.h"

namespace korvex {

/// A hive that was renamed aside because it could not be parsed.
struct SetAsideHive {
  std::filesystem::path path;    ///< where the hive was
  std::filesystem::path keptAs;  ///< where its text is now
};

/// The hives set aside since the last call, oldest first; each is handed out
/// once, so that the user hears of it once.
[[nodiscard]] std::vector<SetAsideHive> TakeSetAsideHives();

class RegistryFile {
 public:
  /// `rootName` names the hive in key headers; a read-only file is never
  /// written, renamed or locked.
  RegistryFile(std::filesystem::path path, std::string rootName, bool writable);

  /// Fills `hive` with the file's content. S_OK with an empty hive when the
  /// file does not exist, or when it was unparsable and has been set aside.
  /// A failure code when it cannot be read, or is unparsable and read only.
  [[nodiscard]] HRESULT Load(RegistryHive& hive) const;

  /// Under the lock: loads the hive, calls `change`, and when that returns
  /// true writes the result atomically. E_ACCESSDENIED for a read-only file;
  /// a failure code (and the file untouched) when it cannot be read or
  /// written.
  [[nodiscard]] HRESULT Update(const std::function<bool(RegistryHive&)>& change) const;

  [[nodiscard]] const std::filesystem::path& Path() const noexcept { return path_; }
  [[nodiscard]] const std::string& RootName() const noexcept { return root_; }

 private:
  enum class ReadResult { Parsed, Missing, Unparsable, Failed };
  ReadResult ReadAndParse(RegistryHive& hive, HRESULT& status) const;
  /// Takes the lock; -1 with `status` set on failure.
  int Lock(HRESULT& status) const;
  [[nodiscard]] HRESULT SetAside() const;
  void NoteSetAside(const std::filesystem::path& keptAs) const;
  [[nodiscard]] HRESULT WriteAtomically(const std::string& text) const;

  std::filesystem::path path_;
  std::string root_;
  bool writable_;
};

}  // namespace korvex
