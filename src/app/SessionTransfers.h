//===- app/SessionTransfers.h - The transfers of one login ------*- C++ -*-===//
///
/// The main window's transfer machinery: the account's task store, the task
/// manager with every stored family loaded, and the local store that the
/// families address by absolute path (folders end in "/"). The window hands
/// uploads and downloads in here and never waits for them; the manager's
/// threads run them and its listeners report on them.
///
/// Only one process runs an account's transfers (see session/TransferOwner.h).
/// While `korvex daemon` or a `korvex put` does, this client shows the
/// stored families as they were, hands new ones to that process through the
/// store, and waits in the background to take over when it ends.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/Event.h"
#include "platform/HResult.h"
#include "session/OwnedTaskStore.h"
#include "session/TransferOwner.h"
#include "store/DataStore.h"
#include "tasks/BinaryFileTaskStore.h"
#include "tasks/TaskManager.h"
#include "tasks/TransferStoreContext.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace korvex::app {

/// One transfer the user asked for that was not queued, and why.
struct RefusedTransfer {
  std::string from;
  std::string to;
  HRESULT status = E_FAIL;  ///< kDuplicateTransfer for a transfer already queued
  std::uint64_t size = 0;   ///< with kTransferTooLarge: the file's size
};

/// A transfer with the same source and target is already queued or running.
inline constexpr HRESULT kDuplicateTransfer = MakeHResult(0x800700B7u);
/// A single file over kTransferSizeLimit (ERROR_FILE_TOO_LARGE).
inline constexpr HRESULT kTransferTooLarge = MakeHResult(0x800700DFu);
/// Files larger than this are refused before they start: a transfer that
/// long is better made some other way than over the desktop client.
inline constexpr std::uint64_t kTransferSizeLimit = 32ull << 30;

class SessionTransfers {
 public:
  /// `service` is the cloud pane's store; it must outlive this object.
  /// With `loadStopped` (the "reset" start), stored families come back
  /// stopped instead of running on.
  SessionTransfers(DataStore& service, const std::string& accountName, bool loadStopped);
  /// Runs the exit routine when the window has not.
  ~SessionTransfers();
  SessionTransfers(const SessionTransfers&) = delete;
  SessionTransfers& operator=(const SessionTransfers&) = delete;

  /// Runs the account's transfers when no other process does; otherwise
  /// shows the stored ones and waits on a thread of its own until that
  /// process ends, then runs them and calls `owned` on that thread.
  [[nodiscard]] HRESULT Start(std::function<void()> owned = {});
  /// Stops every executor and hands the families back queued (they resume
  /// at the next login, or in whichever process runs them meanwhile).
  void Shutdown();

  /// True while this client runs the account's transfers.
  [[nodiscard]] bool Owns() const noexcept { return owner_.Owns(); }
  /// The process that runs them while this client waits.
  [[nodiscard]] session::TransferHolder Holder() const { return owner_.Holder(); }

  [[nodiscard]] TaskManager& Manager() noexcept { return manager_; }
  /// The account's task folder, where the runner locks live too.
  [[nodiscard]] const std::filesystem::path& TaskFolder() const noexcept { return taskStore_.Folder(); }

  /// Queues one upload per local path (file or folder) into `into` of the
  /// service store, encrypting with `password` when it is not empty. The
  /// ids of the queued families go to `queued`, the rest to `refused`.
  void Upload(const std::vector<std::string>& localPaths, const ContainerInfo& into, const std::string& password,
              std::vector<std::uint32_t>& queued, std::vector<RefusedTransfer>& refused);
  /// Queues one download per cloud entry into the local folder `localFolder`.
  void Download(const std::vector<std::shared_ptr<ObjectInfo>>& entries, const std::string& localFolder,
                bool overwrite, std::vector<std::uint32_t>& queued, std::vector<RefusedTransfer>& refused);

 private:
  /// Loads the store afresh and starts the manager; owner only.
  [[nodiscard]] HRESULT RunOwned();
  /// While another process runs the transfers: shows the families it added
  /// and the state and progress its saves left (about once a second).
  void MirrorStore();
  /// Adds `family` unless the same transfer is queued already or `from` is a
  /// file over the size limit.
  [[nodiscard]] HRESULT Add(std::shared_ptr<TaskFamily> family, const ObjectInfo& from, const ContainerInfo& into);

  std::shared_ptr<DataStore> service_;
  std::shared_ptr<DataStore> local_;
  TransferStoreContext context_;
  BinaryFileTaskStore taskStore_;
  session::TransferOwner owner_;
  session::OwnedTaskStore ownedStore_;  // what the manager writes through
  TaskManager manager_;
  bool loadStopped_;
  std::unique_ptr<Event> stopWaiting_;
  std::thread waiter_;
  bool shutDown_ = false;
};

}  // namespace korvex::app
