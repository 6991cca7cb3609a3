//===- store/DataStoreRemoteImplBase.cpp - Back end running on the thread pool -===//

#include "store/DataStoreRemoteImplBase.h"

#include <new>
#include <utility>

#include "foundation/LogMgr.h"
#include "platform/ThreadPool.h"

namespace korvex {
namespace {

// The pool refuses work only once it has been shut down.
constexpr std::int64_t kErrorShutdownInProgress = 1115;

thread_local int inlineScopes = 0;

bool IsQuickCall(const DataStoreRemote_AsyncCallParameters& call) {
  switch (call.code) {
    case kCallCreateItem:
    case kCallOpenItem:
    case kCallDeleteItem:
    case kCallRenameItem:
    case kCallCompleteItem:
      return true;
    case kCallReadItem:
      return static_cast<const DataStoreRemote_AsyncCallParameters_ReadItem&>(call).length <= kInlineStoreBytes;
    case kCallWriteItem:
      return static_cast<const DataStoreRemote_AsyncCallParameters_WriteItem&>(call).length <= kInlineStoreBytes;
    default:
      return false;
  }
}

}  // namespace

InlineStoreCalls::InlineStoreCalls() noexcept { ++inlineScopes; }

InlineStoreCalls::~InlineStoreCalls() { --inlineScopes; }

bool InlineStoreCalls::Active() noexcept { return inlineScopes > 0; }

DataStoreRemoteImplBase::DataStoreRemoteImplBase(std::string logCategory, ThreadPool* pool)
    : logCategory_(std::move(logCategory)),
      pool_(pool != nullptr ? pool : &ThreadPool::Default()) {}

DataStoreRemoteImplBase::~DataStoreRemoteImplBase() { DrainCalls(); }

void DataStoreRemoteImplBase::DrainCalls() {
  std::unique_lock<std::mutex> lock(callsMutex_);
  callsDone_.wait(lock, [this] { return callsInFlight_ == 0; });
}

void DataStoreRemoteImplBase::CallFinished() {
  std::lock_guard<std::mutex> lock(callsMutex_);
  --callsInFlight_;
  // Notified under the lock: a draining destructor may destroy the condition
  // variable as soon as it can take the lock.
  callsDone_.notify_all();
}

template <class Call, class... Args>
HRESULT DataStoreRemoteImplBase::Start(AsyncResult** result, Args&&... args) {
  if (result == nullptr) return E_POINTER;
  *result = nullptr;
  std::unique_ptr<DataStoreRemote_AsyncCallParameters> call;
  try {
    call = std::make_unique<Call>(std::forward<Args>(args)...);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
  const HRESULT hr = AsyncResult::Create(kAsyncPending, &call->result);
  if (Failed(hr)) return hr;
  return QueueCall(std::move(call), result);
}

HRESULT DataStoreRemoteImplBase::QueueCall(
    std::unique_ptr<DataStoreRemote_AsyncCallParameters> call, AsyncResult** result) {
  if (result == nullptr || call == nullptr || call->result == nullptr) return E_POINTER;
  call->result->AddRef();
  *result = call->result;
  {
    std::lock_guard<std::mutex> lock(callsMutex_);
    ++callsInFlight_;
  }
  DataStoreRemote_AsyncCallParameters* raw = call.get();
  if (InlineStoreCalls::Active() && IsQuickCall(*raw)) {
    Work(call.release());
    return S_OK;
  }
  HRESULT hr = HResultFromWin32(kErrorShutdownInProgress);
  bool queued = false;
  try {
    queued = pool_->Submit([this, raw] { Work(raw); });
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  } catch (...) {
    hr = E_UNEXPECTED;
  }
  if (queued) {
    (void)call.release();  // the worker deletes it
    return S_OK;
  }
  if (LogMgr::Get().Admits(kLogError)) {
    LogMgr::Get().Error(logCategory_.c_str(), "QueueUserWorkItem Failed: %s, LastError = %08X",
                        call->GetName().c_str(), static_cast<unsigned>(hr));
  }
  (*result)->Release();
  *result = nullptr;
  call.reset();
  CallFinished();
  return hr;
}

void DataStoreRemoteImplBase::Work(DataStoreRemote_AsyncCallParameters* call) noexcept {
  HRESULT hr = E_NOTIMPL;
  try {
    if (call->code >= 0 && call->code < kCoreCallCount) hr = RunCall(*call);
  } catch (...) {
    hr = E_UNEXPECTED;
  }
  if (Failed(hr) && LogMgr::Get().Admits(kLogWarn)) {
    LogMgr::Get().Warn(logCategory_.c_str(), "Fail: Do %s, ret = %08X", call->GetName().c_str(),
                       static_cast<unsigned>(hr));
  }
  // Objects of a payload that nobody will read would otherwise leak. A
  // failure's are freed before Complete() wakes the waiters; after a lost
  // race with a cancel, DeletePayloadObjects takes them atomically.
  if (Failed(hr)) DeletePayloadObjects(*call->result);
  if (!call->result->Complete(hr)) DeletePayloadObjects(*call->result);
  delete call;
  CallFinished();
}

// One case per operation code; a table of member pointers would need a cast
// per entry just the same.
HRESULT DataStoreRemoteImplBase::RunCall(DataStoreRemote_AsyncCallParameters& call) {
  switch (call.code) {
    case kCallListSubContainersAndItemCount: {
      auto& c =
          static_cast<DataStoreRemote_AsyncCallParameters_ListSubContainersAndItemCount&>(call);
      return DoListSubContainersAndItemCount(c.container, call.result);
    }
    case kCallListSubItems: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_ListSubItems&>(call);
      return DoListSubItems(c.container, c.start, c.count, c.sortOrder, call.result);
    }
    case kCallCreateContainer: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_CreateContainer&>(call);
      return DoCreateContainer(c.parent, c.newContainer, call.result);
    }
    case kCallDeleteContainer: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_DeleteContainer&>(call);
      return DoDeleteContainer(c.container, call.result);
    }
    case kCallRenameContainer: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_RenameContainer&>(call);
      return DoRenameContainer(c.container, c.newName, call.result);
    }
    case kCallMoveContainer: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_MoveContainer&>(call);
      return DoMoveContainer(c.container, c.sourceParent, c.targetParent, c.flag, call.result);
    }
    case kCallCreateItem: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_CreateItem&>(call);
      return DoCreateItem(c.parent, c.item, c.overrideFlag, call.result);
    }
    case kCallOpenItem: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_OpenItem&>(call);
      return DoOpenItem(c.item, c.forWriting, call.result);
    }
    case kCallDeleteItem: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_DeleteItem&>(call);
      return DoDeleteItem(c.item, call.result);
    }
    case kCallRenameItem: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_RenameItem&>(call);
      return DoRenameItem(c.item, c.newName, call.result);
    }
    case kCallMoveItem: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_MoveItem&>(call);
      return DoMoveItem(c.item, c.sourceParent, c.targetParent, c.overrideFlag, call.result);
    }
    case kCallCompleteItem: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_CompleteItem&>(call);
      return DoCompleteItem(c.item, c.overrideFlag, call.result);
    }
    case kCallReadItem: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_ReadItem&>(call);
      return DoReadItem(c.item, c.offsetLow, c.offsetHigh, c.length, call.result);
    }
    case kCallWriteItem: {
      auto& c = static_cast<DataStoreRemote_AsyncCallParameters_WriteItem&>(call);
      return DoWriteItem(c.item, std::move(c.data), c.offsetLow, c.offsetHigh, c.length,
                         call.result);
    }
    default:
      return E_NOTIMPL;
  }
}

HRESULT DataStoreRemoteImplBase::ListSubContainersAndItemCount(const ContainerInfo& container,
                                                               AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_ListSubContainersAndItemCount>(result, this,
                                                                                  container);
}

HRESULT DataStoreRemoteImplBase::ListSubItems(const ContainerInfo& container, std::uint32_t start,
                                              std::uint32_t count, std::int32_t sortOrder,
                                              AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_ListSubItems>(result, this, container, start,
                                                                 count, sortOrder);
}

HRESULT DataStoreRemoteImplBase::CreateContainer(const ContainerInfo& parent,
                                                 const ContainerInfo& newContainer,
                                                 AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_CreateContainer>(result, this, parent,
                                                                    newContainer);
}

HRESULT DataStoreRemoteImplBase::DeleteContainer(const ContainerInfo& container,
                                                 AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_DeleteContainer>(result, this, container);
}

HRESULT DataStoreRemoteImplBase::RenameContainer(const ContainerInfo& container,
                                                 const std::string& newName, AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_RenameContainer>(result, this, container,
                                                                    newName);
}

HRESULT DataStoreRemoteImplBase::MoveContainer(const ContainerInfo& container,
                                               const ContainerInfo& sourceParent,
                                               const ContainerInfo& targetParent,
                                               std::uint32_t flag, AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_MoveContainer>(result, this, container,
                                                                  sourceParent, targetParent, flag);
}

HRESULT DataStoreRemoteImplBase::CreateItem(const ContainerInfo& parent, const ItemInfo& item,
                                            std::uint32_t overrideFlag, AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_CreateItem>(result, this, parent, item,
                                                               overrideFlag);
}

HRESULT DataStoreRemoteImplBase::OpenItem(const ItemInfo& item, bool forWriting,
                                          AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_OpenItem>(result, this, item, forWriting);
}

HRESULT DataStoreRemoteImplBase::DeleteItem(const ItemInfo& item, AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_DeleteItem>(result, this, item);
}

HRESULT DataStoreRemoteImplBase::RenameItem(const ItemInfo& item, const std::string& newName,
                                            AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_RenameItem>(result, this, item, newName);
}

HRESULT DataStoreRemoteImplBase::MoveItem(const ItemInfo& item, const ContainerInfo& sourceParent,
                                          const ContainerInfo& targetParent,
                                          std::uint32_t overrideFlag, AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_MoveItem>(result, this, item, sourceParent,
                                                             targetParent, overrideFlag);
}

HRESULT DataStoreRemoteImplBase::CompleteItem(const ItemInfo& item, std::uint32_t overrideFlag,
                                              AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_CompleteItem>(result, this, item, overrideFlag);
}

HRESULT DataStoreRemoteImplBase::ReadItem(const ItemInfo& item, std::uint32_t offsetLow,
                                          std::uint32_t offsetHigh, std::uint32_t length,
                                          AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_ReadItem>(result, this, item, offsetLow,
                                                             offsetHigh, length);
}

HRESULT DataStoreRemoteImplBase::WriteItem(const ItemInfo& item,
                                           std::unique_ptr<std::uint8_t[]> data,
                                           std::uint32_t offsetLow, std::uint32_t offsetHigh,
                                           std::uint32_t length, AsyncResult** result) {
  return Start<DataStoreRemote_AsyncCallParameters_WriteItem>(result, this, item, std::move(data),
                                                              offsetLow, offsetHigh, length);
}
HRESULT DataStoreRemoteImplBase::DoListSubContainersAndItemCount(const ContainerInfo&,
                                                                 AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoListSubItems(const ContainerInfo&, std::uint32_t, std::uint32_t,
                                                std::int32_t, AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoCreateContainer(const ContainerInfo&, const ContainerInfo&,
                                                   AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoDeleteContainer(const ContainerInfo&, AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoRenameContainer(const ContainerInfo&, const std::string&,
                                                   AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoMoveContainer(const ContainerInfo&, const ContainerInfo&,
                                                 const ContainerInfo&, std::uint32_t,
                                                 AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoCreateItem(const ContainerInfo&, const ItemInfo&, std::uint32_t,
                                              AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoOpenItem(const ItemInfo&, bool, AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoDeleteItem(const ItemInfo&, AsyncResult*) { return E_NOTIMPL; }

HRESULT DataStoreRemoteImplBase::DoRenameItem(const ItemInfo&, const std::string&, AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoMoveItem(const ItemInfo&, const ContainerInfo&,
                                            const ContainerInfo&, std::uint32_t, AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoCompleteItem(const ItemInfo&, std::uint32_t, AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoReadItem(const ItemInfo&, std::uint32_t, std::uint32_t,
                                            std::uint32_t, AsyncResult*) {
  return E_NOTIMPL;
}

HRESULT DataStoreRemoteImplBase::DoWriteItem(const ItemInfo&, std::unique_ptr<std::uint8_t[]>,
                                             std::uint32_t, std::uint32_t, std::uint32_t,
                                             AsyncResult*) {
  return E_NOTIMPL;
}
}  // namespace korvex
