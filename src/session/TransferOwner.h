//===- session/TransferOwner.h - One owner of an account's transfers -*- C++ -*-===//
///
/// The families of an account live in one task-store folder that several
/// processes open: `korvex put/get/transfers` in a terminal, the detached
/// runner of `put --background`, `korvex daemon` and `korvexdata`. Two
/// processes running the same family would send its groups twice and
/// overwrite each other's records, so exactly one of them, the owner, runs,
/// rewrites and deletes families. The others hand new families over through
/// the store and follow them there.
///
/// Ownership is a kernel lock (flock) on "runner.lock" in the folder, which
/// names its holder ("<pid> <program>"); the kernel drops it when the
/// process ends, also on SIGKILL, so a dead owner never blocks the next one.
///
/// Family ids come from "families.lock" in the same folder: under its lock
/// the next id is one above the last one issued and above every family file,
/// so that two processes never write the same id. A family handed over is
/// written whole (tasks and family file) while that lock is held, and the
/// owner reads new families under it too, so it never sees half of one.
///
///   not owner --TryAcquire ok--> owner --Run--> running (takes in new families)
///       ^                                          |
///       +------------------ HandBack --------------+
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "tasks/TaskRecords.h"

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

namespace korvex {
class TaskManager;
class TaskStore;
}  // namespace korvex

namespace korvex::session {

class FamilyIntake;

/// Who owns an account's transfers.
struct TransferHolder {
  pid_t pid = 0;        ///< 0: nobody does
  std::string program;  ///< as the holder named itself ("korvex", "korvex daemon", "korvexdata")
};

/// "waiting for korvexdata (pid 12), which runs this account's transfers"
[[nodiscard]] std::string WaitingText(const TransferHolder& holder);

class TransferOwner {
 public:
  /// `folder` is the account's task-store folder (BinaryFileTaskStore::Folder());
  /// `program` is how other processes name this one to the user.
  TransferOwner(std::filesystem::path folder, std::string program);
  /// Stops taking in families and gives ownership up (families stay as they are).
  ~TransferOwner();
  TransferOwner(const TransferOwner&) = delete;
  TransferOwner& operator=(const TransferOwner&) = delete;

  /// Becomes the owner without waiting: S_OK when this object owns (also when
  /// it did already), S_FALSE when another process does (see Holder()), a
  /// platform error when the lock file cannot be opened or written.
  [[nodiscard]] HRESULT TryAcquire();
  [[nodiscard]] bool Owns() const noexcept { return owns_.load(); }
  /// The present owner, read from the lock file; pid 0 when nobody owns.
  [[nodiscard]] TransferHolder Holder() const;

  /// Issues the account's next family id; 0 when the id file cannot be used.
  [[nodiscard]] std::uint32_t NewFamilyId();

  /// Holds the store's id lock while it lives: what is written meanwhile
  /// reaches the owner whole. NewFamilyId may be called inside.
  class StoreHold {
   public:
    explicit StoreHold(TransferOwner& owner) : owner_(owner) { owner_.LockStore(); }
    ~StoreHold() { owner_.UnlockStore(); }
    StoreHold(const StoreHold&) = delete;
    StoreHold& operator=(const StoreHold&) = delete;

   private:
    TransferOwner& owner_;
  };

  /// Owner only: loads every stored family into `manager` (whose store is
  /// `store`), makes `manager` take its family ids from here, and from then
  /// on adds the families that other processes hand over. Both must outlive
  /// HandBack().
  [[nodiscard]] HRESULT Run(TaskStore& store, TaskManager& manager);
  /// Stops taking in families and stops `manager`; every family that was
  /// queued or running is saved queued, for the next owner to run on, and a
  /// family stopped before stays stopped. Then ownership ends.
  void HandBack(TaskManager& manager);
  /// Gives ownership up without touching any family.
  void Release();

  [[nodiscard]] const std::filesystem::path& Folder() const noexcept { return folder_; }
  /// The ids of the family files in the folder.
  [[nodiscard]] std::set<std::uint32_t> StoredIds() const;
  /// True on the thread that holds the store's id lock (a StoreHold).
  [[nodiscard]] bool HoldsStore() const noexcept {
    return storeDepth_.load() > 0 && storeHolder_.load() == std::this_thread::get_id();
  }

 private:
  friend class FamilyIntake;
  void LockStore();
  void UnlockStore();
  /// Marks `ids` as seen; returns those that were not.
  [[nodiscard]] std::set<std::uint32_t> TakeUnknown(const std::set<std::uint32_t>& ids);

  std::filesystem::path folder_;
  std::string program_;
  int ownerFd_ = -1;
  std::atomic<bool> owns_{false};  // read by the threads that save

  std::recursive_mutex storeMutex_;  // the id lock is one per process; threads queue here
  int idFd_ = -1;
  std::atomic<int> storeDepth_{0};
  std::atomic<std::thread::id> storeHolder_{};

  std::mutex knownMutex_;
  std::set<std::uint32_t> known_;  // ids this process made, loaded or took in
  std::unique_ptr<FamilyIntake> intake_;
};

/// Reads family `id` from `folder` (a follower's view of the owner's work).
/// HR_FILE_NOT_FOUND when its file is gone.
[[nodiscard]] HRESULT ReadStoredFamily(const std::filesystem::path& folder, std::uint32_t id, FamilyRecord& record);

}  // namespace korvex::session
