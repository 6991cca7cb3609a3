//===- sync/BackupRunnerLock.h - One runner of an account's backups -*- C++ -*-===//
///
/// The desktop client and `korvex daemon` can each host the backup service
/// of an account. Two hosts would start every backup twice and upload the
/// same files into the same folders at once, so the process that runs an
/// account's backups holds an advisory lock on "backup.lock" in the
/// account's task folder. The kernel drops the lock when the process ends
/// (also on SIGKILL), so a crashed runner never blocks the next one.
///
/// The file names its holder ("<pid> <program>"): the others tell the user
/// which program runs the backups, and may ask it to run one now with
/// SIGUSR1, which the holder turns into a sync-now request (see
/// SyncNowSignalEvent and SyncServiceOptions::syncNowEvent).
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <sys/types.h>

#include <filesystem>
#include <string>

namespace korvex {

class Event;

/// Who holds an account's backup lock.
struct BackupRunner {
  pid_t pid = 0;        ///< 0: nobody does
  std::string program;  ///< as the holder named itself ("korvexdata", "korvex daemon")
};

class BackupRunnerLock {
 public:
  /// `folder` is the account's task folder (BinaryFileTaskStore::Folder()).
  explicit BackupRunnerLock(std::filesystem::path folder);
  ~BackupRunnerLock();
  BackupRunnerLock(const BackupRunnerLock&) = delete;
  BackupRunnerLock& operator=(const BackupRunnerLock&) = delete;

  /// Takes the lock without waiting and writes `program` into it: S_OK when
  /// this object holds it (also when it did already), S_FALSE when another
  /// holder has it (see Holder()), a platform error when the file cannot be
  /// opened or written.
  [[nodiscard]] HRESULT TryAcquire(const std::string& program);
  void Release();
  [[nodiscard]] bool Held() const noexcept { return held_; }
  /// The current holder of the lock in this object's folder.
  [[nodiscard]] BackupRunner Holder() const;

 private:
  std::filesystem::path path_;
  int fd_ = -1;
  bool held_ = false;
};

/// Asks the holder `runner` to run a backup now. HR_FILE_NOT_FOUND when it
/// is gone.
[[nodiscard]] HRESULT AskRunnerToBackUpNow(const BackupRunner& runner);

/// An auto-reset event that SIGUSR1 sets; the first call installs the
/// handler for the rest of the process (a signal that arrives while no
/// service listens is then dropped instead of ending the process).
[[nodiscard]] Event* SyncNowSignalEvent();

}  // namespace korvex
