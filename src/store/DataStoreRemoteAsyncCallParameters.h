//===- store/DataStoreRemoteAsyncCallParameters.h - Queued store calls -*- C++ -*-===//
///
/// One record per queued call of a DataStoreRemoteImplBase back end: the
/// back end, the operation code, the pending result and a copy of the
/// caller's arguments, so that the caller's records may go away as soon as
/// the operation returns. The record owns one reference of its result and
/// gives it back when it is destroyed.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "store/AsyncResult.h"
#include "store/ObjectInfo.h"

namespace korvex {

class DataStoreRemoteImplBase;

/// Operation codes of the calls that run on the thread pool, in the order of
/// their Do operations.
enum AsyncCallCode : std::int32_t {
  kCallListSubContainersAndItemCount = 0,
  kCallListSubItems = 1,
  kCallCreateContainer = 2,
  kCallDeleteContainer = 3,
  kCallRenameContainer = 4,
  kCallMoveContainer = 5,
  kCallCreateItem = 6,
  kCallOpenItem = 7,
  kCallDeleteItem = 8,
  kCallRenameItem = 9,
  kCallMoveItem = 10,
  kCallCompleteItem = 11,
  kCallReadItem = 12,
  kCallWriteItem = 13,
  kCoreCallCount = 14,
};

class DataStoreRemote_AsyncCallParameters {
 public:
  /// The back end gives the record its Pending result before it queues the
  /// call; the record owns one reference of it.
  DataStoreRemote_AsyncCallParameters(DataStoreRemoteImplBase* backEndArg, std::int32_t codeArg)
      : backEnd(backEndArg), code(codeArg) {}
  virtual ~DataStoreRemote_AsyncCallParameters() {
    if (result != nullptr) result->Release();
  }
  DataStoreRemote_AsyncCallParameters(const DataStoreRemote_AsyncCallParameters&) = delete;
  DataStoreRemote_AsyncCallParameters& operator=(const DataStoreRemote_AsyncCallParameters&) =
      delete;

  /// The operation's display name, as log lines print it.
  [[nodiscard]] virtual std::string GetName() const = 0;

  DataStoreRemoteImplBase* const backEnd;
  const std::int32_t code;
  AsyncResult* result = nullptr;
};

class DataStoreRemote_AsyncCallParameters_ListSubContainersAndItemCount final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_ListSubContainersAndItemCount(
      DataStoreRemoteImplBase* backEnd, const ContainerInfo& containerArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallListSubContainersAndItemCount),
        container(containerArg) {}
  [[nodiscard]] std::string GetName() const override { return "ListSubContainersAndItemCount"; }

  ContainerInfo container;
};

class DataStoreRemote_AsyncCallParameters_ListSubItems final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_ListSubItems(DataStoreRemoteImplBase* backEnd,
                                                   const ContainerInfo& containerArg,
                                                   std::uint32_t startArg, std::uint32_t countArg,
                                                   std::int32_t sortOrderArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallListSubItems),
        container(containerArg),
        start(startArg),
        count(countArg),
        sortOrder(sortOrderArg) {}
  [[nodiscard]] std::string GetName() const override { return "ListSubItems"; }

  ContainerInfo container;
  std::uint32_t start;
  std::uint32_t count;
  std::int32_t sortOrder;
};

class DataStoreRemote_AsyncCallParameters_CreateContainer final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_CreateContainer(DataStoreRemoteImplBase* backEnd,
                                                      const ContainerInfo& parentArg,
                                                      const ContainerInfo& newContainerArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallCreateContainer),
        parent(parentArg),
        newContainer(newContainerArg) {}
  [[nodiscard]] std::string GetName() const override { return "CreateContainer"; }

  ContainerInfo parent;
  ContainerInfo newContainer;
};

class DataStoreRemote_AsyncCallParameters_DeleteContainer final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_DeleteContainer(DataStoreRemoteImplBase* backEnd,
                                                      const ContainerInfo& containerArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallDeleteContainer),
        container(containerArg) {}
  [[nodiscard]] std::string GetName() const override { return "DeleteContainer"; }

  ContainerInfo container;
};

class DataStoreRemote_AsyncCallParameters_RenameContainer final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_RenameContainer(DataStoreRemoteImplBase* backEnd,
                                                      const ContainerInfo& containerArg,
                                                      const std::string& newNameArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallRenameContainer),
        container(containerArg),
        newName(newNameArg) {}
  [[nodiscard]] std::string GetName() const override { return "RenameContainer"; }

  ContainerInfo container;
  std::string newName;
};

class DataStoreRemote_AsyncCallParameters_MoveContainer final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_MoveContainer(DataStoreRemoteImplBase* backEnd,
                                                    const ContainerInfo& containerArg,
                                                    const ContainerInfo& sourceParentArg,
                                                    const ContainerInfo& targetParentArg,
                                                    std::uint32_t flagArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallMoveContainer),
        container(containerArg),
        sourceParent(sourceParentArg),
        targetParent(targetParentArg),
        flag(flagArg) {}
  [[nodiscard]] std::string GetName() const override { return "MoveContainer"; }

  ContainerInfo container;
  ContainerInfo sourceParent;
  ContainerInfo targetParent;
  std::uint32_t flag;
};

class DataStoreRemote_AsyncCallParameters_CreateItem final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_CreateItem(DataStoreRemoteImplBase* backEnd,
                                                 const ContainerInfo& parentArg,
                                                 const ItemInfo& itemArg,
                                                 std::uint32_t overrideFlagArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallCreateItem),
        parent(parentArg),
        item(itemArg),
        overrideFlag(overrideFlagArg) {}
  [[nodiscard]] std::string GetName() const override { return "CreateItem"; }

  ContainerInfo parent;
  ItemInfo item;
  std::uint32_t overrideFlag;
};

class DataStoreRemote_AsyncCallParameters_OpenItem final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_OpenItem(DataStoreRemoteImplBase* backEnd,
                                               const ItemInfo& itemArg, bool forWritingArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallOpenItem),
        item(itemArg),
        forWriting(forWritingArg) {}
  [[nodiscard]] std::string GetName() const override { return "OpenItem"; }

  ItemInfo item;
  bool forWriting;
};

class DataStoreRemote_AsyncCallParameters_DeleteItem final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_DeleteItem(DataStoreRemoteImplBase* backEnd,
                                                 const ItemInfo& itemArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallDeleteItem), item(itemArg) {}
  [[nodiscard]] std::string GetName() const override { return "DeleteItem"; }

  ItemInfo item;
};

class DataStoreRemote_AsyncCallParameters_RenameItem final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_RenameItem(DataStoreRemoteImplBase* backEnd,
                                                 const ItemInfo& itemArg,
                                                 const std::string& newNameArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallRenameItem),
        item(itemArg),
        newName(newNameArg) {}
  [[nodiscard]] std::string GetName() const override { return "RenameItem"; }

  ItemInfo item;
  std::string newName;
};

class DataStoreRemote_AsyncCallParameters_MoveItem final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_MoveItem(DataStoreRemoteImplBase* backEnd,
                                               const ItemInfo& itemArg,
                                               const ContainerInfo& sourceParentArg,
                                               const ContainerInfo& targetParentArg,
                                               std::uint32_t overrideFlagArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallMoveItem),
        item(itemArg),
        sourceParent(sourceParentArg),
        targetParent(targetParentArg),
        overrideFlag(overrideFlagArg) {}
  [[nodiscard]] std::string GetName() const override { return "MoveItem"; }

  ItemInfo item;
  ContainerInfo sourceParent;
  ContainerInfo targetParent;
  std::uint32_t overrideFlag;
};

class DataStoreRemote_AsyncCallParameters_CompleteItem final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_CompleteItem(DataStoreRemoteImplBase* backEnd,
                                                   const ItemInfo& itemArg,
                                                   std::uint32_t overrideFlagArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallCompleteItem),
        item(itemArg),
        overrideFlag(overrideFlagArg) {}
  [[nodiscard]] std::string GetName() const override { return "CompleteItem"; }

  ItemInfo item;
  std::uint32_t overrideFlag;
};

class DataStoreRemote_AsyncCallParameters_ReadItem final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_ReadItem(DataStoreRemoteImplBase* backEnd,
                                               const ItemInfo& itemArg, std::uint32_t offsetLowArg,
                                               std::uint32_t offsetHighArg, std::uint32_t lengthArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallReadItem),
        item(itemArg),
        offsetLow(offsetLowArg),
        offsetHigh(offsetHighArg),
        length(lengthArg) {}
  [[nodiscard]] std::string GetName() const override { return "ReadItem"; }

  ItemInfo item;
  std::uint32_t offsetLow;
  std::uint32_t offsetHigh;
  std::uint32_t length;
};

class DataStoreRemote_AsyncCallParameters_WriteItem final
    : public DataStoreRemote_AsyncCallParameters {
 public:
  DataStoreRemote_AsyncCallParameters_WriteItem(DataStoreRemoteImplBase* backEnd,
                                                const ItemInfo& itemArg,
                                                std::unique_ptr<std::uint8_t[]> dataArg,
                                                std::uint32_t offsetLowArg,
                                                std::uint32_t offsetHighArg,
                                                std::uint32_t lengthArg)
      : DataStoreRemote_AsyncCallParameters(backEnd, kCallWriteItem),
        item(itemArg),
        data(std::move(dataArg)),
        offsetLow(offsetLowArg),
        offsetHigh(offsetHighArg),
        length(lengthArg) {}
  [[nodiscard]] std::string GetName() const override { return "WriteItem"; }

  ItemInfo item;
  std::unique_ptr<std::uint8_t[]> data;
  std::uint32_t offsetLow;
  std::uint32_t offsetHigh;
  std::uint32_t length;
};
}  // namespace korvex
