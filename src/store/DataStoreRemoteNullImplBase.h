//===- store/DataStoreRemoteNullImplBase.h - Back end that does nothing -*- C++ -*-===//
///
/// Base of every real back end: each operation answers E_NOTIMPL and hands
/// out no result, so a back end overrides only what it offers. Two pieces of
/// housekeeping are real because every back end shares them: CancelCall()
/// cancels the given result, and the out pointer of an operation that does
/// not start is always set to null.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "store/IDataStoreRemote.h"

namespace korvex {

class DataStoreRemoteNullImplBase : public IDataStoreRemote {
 public:
  DataStoreRemoteNullImplBase() = default;
  ~DataStoreRemoteNullImplBase() override = default;
  DataStoreRemoteNullImplBase(const DataStoreRemoteNullImplBase&) = delete;
  DataStoreRemoteNullImplBase& operator=(const DataStoreRemoteNullImplBase&) = delete;

  [[nodiscard]] HRESULT InitializeRoot(Container* root) override;
  [[nodiscard]] HRESULT CancelCall(AsyncResult* result) override;
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
  [[nodiscard]] HRESULT ShareContainer(const ContainerInfo& container,
                                       const std::vector<BuddyInfo>& buddies,
                                       AsyncResult** result) override;
  [[nodiscard]] HRESULT ListBuddies(std::uint32_t page, std::uint32_t pageSize,
                                    AsyncResult** result) override;
  [[nodiscard]] HRESULT ListContainerBuddies(const ContainerInfo& container, std::uint32_t page,
                                             std::uint32_t pageSize, AsyncResult** result) override;
  [[nodiscard]] HRESULT EditContainerShare(const ContainerInfo& container,
                                           const std::vector<BuddyInfo>& buddies,
                                           AsyncResult** result) override;
  [[nodiscard]] HRESULT UnshareContainer(const ContainerInfo& container,
                                         const std::vector<BuddyInfo>& buddies,
                                         AsyncResult** result) override;
  [[nodiscard]] HRESULT GetLoginText(std::string& text) override;
  [[nodiscard]] HRESULT CancelContainerShare(const ContainerInfo& container,
                                             AsyncResult** result) override;
  [[nodiscard]] HRESULT GetItemCodes(const ItemInfo& item, std::uint32_t validity,
                                     const std::string& expiry, AsyncResult** result) override;
  [[nodiscard]] HRESULT RemoveItemCodes(const ItemInfo& item, AsyncResult** result) override;
  [[nodiscard]] HRESULT ChangeItemCodes(const ItemInfo& item, std::uint32_t validity,
                                        const std::string& expiry, AsyncResult** result) override;
  [[nodiscard]] HRESULT GetClientLinkDetail(const ItemInfo& item, AsyncResult** result) override;
  [[nodiscard]] HRESULT SendItemToEmail(std::uint64_t fileId, const std::string& addresses,
                                        const std::string& content, AsyncResult** result) override;
  [[nodiscard]] HRESULT SendLink(const std::string& addresses, const std::string& link,
                                 const std::string& fileName, AsyncResult** result) override;
  [[nodiscard]] HRESULT DeleteItem(const ItemInfo& item, AsyncResult** result) override;
  [[nodiscard]] HRESULT RenameItem(const ItemInfo& item, const std::string& newName,
                                   AsyncResult** result) override;
  [[nodiscard]] HRESULT MoveItem(const ItemInfo& item, const ContainerInfo& sourceParent,
                                 const ContainerInfo& targetParent, std::uint32_t overrideFlag,
                                 AsyncResult** result) override;
  [[nodiscard]] HRESULT CopyItem(const ItemInfo& item, const ContainerInfo& sourceParent,
                                 const ContainerInfo& targetParent, std::uint32_t overrideFlag,
                                 AsyncResult** result) override;
  [[nodiscard]] HRESULT CreateItem(const ContainerInfo& parent, const ItemInfo& item,
                                   std::uint32_t overrideFlag, AsyncResult** result) override;
  [[nodiscard]] HRESULT OpenItem(const ItemInfo& item, bool forWriting,
                                 AsyncResult** result) override;
  [[nodiscard]] HRESULT ReadItem(const ItemInfo& item, std::uint32_t offsetLow,
                                 std::uint32_t offsetHigh, std::uint32_t length,
                                 AsyncResult** result) override;
  [[nodiscard]] HRESULT WriteItem(const ItemInfo& item, std::unique_ptr<std::uint8_t[]> data,
                                  std::uint32_t offsetLow, std::uint32_t offsetHigh,
                                  std::uint32_t length, AsyncResult** result) override;
  [[nodiscard]] HRESULT CompleteItem(const ItemInfo& item, std::uint32_t overrideFlag,
                                     AsyncResult** result) override;
  [[nodiscard]] HRESULT ListAccessCodes(const ContainerInfo& container,
                                        AsyncResult** result) override;
  [[nodiscard]] HRESULT CreateAccessCode(const ContainerInfo& container,
                                         AsyncResult** result) override;
  [[nodiscard]] HRESULT DeleteAccessCodes(const std::string& codeIds,
                                          AsyncResult** result) override;
  [[nodiscard]] HRESULT EditAccessCode(const std::string& codeId, const std::string& expiration,
                                       AsyncResult** result) override;
  [[nodiscard]] HRESULT SendAccessCodeEmail(const std::string& codeId, const std::string& code,
                                            const std::string& addresses,
                                            const std::string& content,
                                            AsyncResult** result) override;
  [[nodiscard]] HRESULT ReportTransfer(std::uint32_t dir, std::uint32_t retries,
                                       const std::string& fileName, std::uint64_t size,
                                       std::uint64_t parentId, std::uint64_t fileId,
                                       std::uint64_t elapsed100ns, const std::string& token,
                                       AsyncResult** result) override;
  [[nodiscard]] HRESULT GetItemMd5(const ItemInfo& item, AsyncResult** result) override;
  [[nodiscard]] HRESULT OpenStream(const ItemInfo& item, bool read, std::uint64_t offset,
                                   std::uint32_t length, std::uint32_t chunkSize,
                                   const std::string& token, AsyncResult** result) override;
  [[nodiscard]] HRESULT CloseStream(const ItemInfo& item, const std::string& streamId,
                                    AsyncResult** result) override;
  [[nodiscard]] HRESULT ReadChunk(const ItemInfo& item, const std::string& streamId,
                                  std::uint32_t sequence, std::uint64_t offset,
                                  std::uint32_t length, AsyncResult** result) override;
  [[nodiscard]] HRESULT WriteChunk(const ItemInfo& item, const std::uint8_t* data,
                                   const std::string& streamId, std::uint32_t sequence,
                                   std::uint64_t offset, std::uint32_t length,
                                   AsyncResult** result) override;

 protected:
  /// Clears `*result` (when given) and returns E_NOTIMPL.
  [[nodiscard]] static HRESULT NotImplemented(AsyncResult** result) noexcept;
};

}  // namespace korvex
