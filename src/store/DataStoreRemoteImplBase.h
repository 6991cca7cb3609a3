//===- store/DataStoreRemoteImplBase.h - Back end running on the thread pool -*- C++ -*-===//
///
/// Base of back ends whose work is plain blocking code (the local file
/// system): the fourteen core operations copy their arguments into a call
/// record, queue it on a thread pool and hand out the pending result at once.
/// A pool thread then runs the matching synchronous Do operation, which
/// stores the payload and returns the status the result completes with.
///
/// Lifetime: the destructor waits until every queued call has finished.
/// A derived back end whose Do operations use its own members calls
/// DrainCalls() first in its own destructor, because by the time this base
/// destructor runs those members are gone.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "store/DataStoreRemoteAsyncCallParameters.h"
#include "store/DataStoreRemoteNullImplBase.h"

namespace korvex {

class ThreadPool;

/// While one lives on a thread, the quick file operations that thread starts
/// on a pool-backed store (creating, opening, completing, deleting or
/// renaming one file, reading or writing up to kInlineStoreBytes of it) run
/// at once on that thread, and the result is handed out complete. A task
/// thread waits for each of them at once anyway; the trip through the pool
/// cost two thread switches per call, more than the system call itself. The
/// user-interface thread never opens one: its calls must not block.
/// Listings and folder operations, which can take long, always go to the pool.
class InlineStoreCalls {
 public:
  InlineStoreCalls() noexcept;
  ~InlineStoreCalls();
  InlineStoreCalls(const InlineStoreCalls&) = delete;
  InlineStoreCalls& operator=(const InlineStoreCalls&) = delete;

  /// Whether the calling thread runs quick calls inline now.
  [[nodiscard]] static bool Active() noexcept;
};

/// The largest read or write an InlineStoreCalls thread runs itself: a
/// small file's whole content; a big file's groups keep overlapping the wire.
inline constexpr std::uint32_t kInlineStoreBytes = 64 * 1024;

class DataStoreRemoteImplBase : public DataStoreRemoteNullImplBase {
 public:
  /// `logCategory` names the back end in its log lines. The work runs on
  /// `pool`, or on ThreadPool::Default() when it is null; the pool must
  /// outlive the back end.
  explicit DataStoreRemoteImplBase(std::string logCategory, ThreadPool* pool = nullptr);
  ~DataStoreRemoteImplBase() override;

  [[nodiscard]] const std::string& LogCategory() const noexcept { return logCategory_; }

  /// Blocks until every call queued so far has finished. Must not be called
  /// from a Do operation.
  void DrainCalls();

  // The queued operations. Each returns S_OK with a pending result in
  // `*result`, or the queueing failure with `*result` null (a null `result`
  // gives E_POINTER and queues nothing).
  [[nodiscard]] HRESULT ListSubContainersAndItemCount(const ContainerInfo& container,
                                                      AsyncResult** result) override;
  [[nodiscard]] HRESULT ListSubItems(const ContainerInfo& container, std::uint32_t start,
                                     std::uint32_t count, std::int32_t sortOrder,
                                     AsyncResult** result) override;
  [[nodiscard]] HRESULT CreateContainer(const ContainerInfo& parent,
                                        const ContainerInfo& newContainer,
                                        AsyncResult** result) override;
  [[nodiscard]] HRESULT DeleteContainer(const ContainerInfo& container,
                                        AsyncResult** result) override;
  [[nodiscard]] HRESULT RenameContainer(const ContainerInfo& container, const std::string& newName,
                                        AsyncResult** result) override;
  [[nodiscard]] HRESULT MoveContainer(const ContainerInfo& container,
                                      const ContainerInfo& sourceParent,
                                      const ContainerInfo& targetParent, std::uint32_t flag,
                                      AsyncResult** result) override;
  [[nodiscard]] HRESULT CreateItem(const ContainerInfo& parent, const ItemInfo& item,
                                   std::uint32_t overrideFlag, AsyncResult** result) override;
  [[nodiscard]] HRESULT OpenItem(const ItemInfo& item, bool forWriting,
                                 AsyncResult** result) override;
  [[nodiscard]] HRESULT DeleteItem(const ItemInfo& item, AsyncResult** result) override;
  [[nodiscard]] HRESULT RenameItem(const ItemInfo& item, const std::string& newName,
                                   AsyncResult** result) override;
  [[nodiscard]] HRESULT MoveItem(const ItemInfo& item, const ContainerInfo& sourceParent,
                                 const ContainerInfo& targetParent, std::uint32_t overrideFlag,
                                 AsyncResult** result) override;
  [[nodiscard]] HRESULT CompleteItem(const ItemInfo& item, std::uint32_t overrideFlag,
                                     AsyncResult** result) override;
  [[nodiscard]] HRESULT ReadItem(const ItemInfo& item, std::uint32_t offsetLow,
                                 std::uint32_t offsetHigh, std::uint32_t length,
                                 AsyncResult** result) override;
  [[nodiscard]] HRESULT WriteItem(const ItemInfo& item, std::unique_ptr<std::uint8_t[]> data,
                                  std::uint32_t offsetLow, std::uint32_t offsetHigh,
                                  std::uint32_t length, AsyncResult** result) override;

 protected:
  // The synchronous work, one per operation code, run on a pool thread with
  // the call's copied arguments. Each stores its payload in `result` (before
  // returning) and returns the status the result completes with; it must not
  // complete the result itself. An exception escaping one fails the call
  // with E_UNEXPECTED. The defaults answer E_NOTIMPL.
  [[nodiscard]] virtual HRESULT DoListSubContainersAndItemCount(const ContainerInfo& container,
                                                                AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoListSubItems(const ContainerInfo& container, std::uint32_t start,
                                               std::uint32_t count, std::int32_t sortOrder,
                                               AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoCreateContainer(const ContainerInfo& parent,
                                                  const ContainerInfo& newContainer,
                                                  AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoDeleteContainer(const ContainerInfo& container,
                                                  AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoRenameContainer(const ContainerInfo& container,
                                                  const std::string& newName, AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoMoveContainer(const ContainerInfo& container,
                                                const ContainerInfo& sourceParent,
                                                const ContainerInfo& targetParent,
                                                std::uint32_t flag, AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoCreateItem(const ContainerInfo& parent, const ItemInfo& item,
                                             std::uint32_t overrideFlag, AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoOpenItem(const ItemInfo& item, bool forWriting,
                                           AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoDeleteItem(const ItemInfo& item, AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoRenameItem(const ItemInfo& item, const std::string& newName,
                                             AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoMoveItem(const ItemInfo& item, const ContainerInfo& sourceParent,
                                           const ContainerInfo& targetParent,
                                           std::uint32_t overrideFlag, AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoCompleteItem(const ItemInfo& item, std::uint32_t overrideFlag,
                                               AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoReadItem(const ItemInfo& item, std::uint32_t offsetLow,
                                           std::uint32_t offsetHigh, std::uint32_t length,
                                           AsyncResult* result);
  [[nodiscard]] virtual HRESULT DoWriteItem(const ItemInfo& item,
                                            std::unique_ptr<std::uint8_t[]> data,
                                            std::uint32_t offsetLow, std::uint32_t offsetHigh,
                                            std::uint32_t length, AsyncResult* result);
  /// Queues `call` on the pool. On success `*result` receives one added
  /// reference of the call's result and S_OK is returned; on failure the
  /// record is deleted, `*result` is null and the status is returned.
  [[nodiscard]] HRESULT QueueCall(std::unique_ptr<DataStoreRemote_AsyncCallParameters> call,
                                  AsyncResult** result);


 private:
  template <class Call, class... Args>
  [[nodiscard]] HRESULT Start(AsyncResult** result, Args&&... args);

  /// Runs one call on the pool thread: Do operation, log, completion, cleanup.
  /// Also runs the calls an InlineStoreCalls thread keeps for itself.
  void Work(DataStoreRemote_AsyncCallParameters* call) noexcept;
  /// Calls the Do operation of `call`'s code.
  [[nodiscard]] HRESULT RunCall(DataStoreRemote_AsyncCallParameters& call);
  void CallFinished();

  std::string logCategory_;
  ThreadPool* pool_;
  std::mutex callsMutex_;  // guards callsInFlight_
  std::condition_variable callsDone_;
  std::size_t callsInFlight_ = 0;
};

}  // namespace korvex
