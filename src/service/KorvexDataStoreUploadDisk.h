//===- service/KorvexDataStoreUploadDisk.h - Upload for an access code -*- C++ -*-===//
///
/// The store behind an access-code upload: a visitor may put files into one
/// directory of someone else's disk and do nothing else. Its root (the
/// target directory) counts as listed and empty from the start, so nothing
/// of the owner's directory is ever fetched or shown; everything that would
/// read, change or share the owner's directories is refused with
/// E_ACCESSDENIED before anything is sent.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "service/KorvexDataStoreRemote.h"

#include <cstdint>
#include <string>

namespace korvex {

class KorvexDataStoreUploadDisk : public KorvexDataStoreRemote {
 public:
  /// The session of the access-code login; `targetDirId` is the directory
  /// that receives the files, `accessCode` the code the visitor entered,
  /// which every upload names.
  KorvexDataStoreUploadDisk(std::string apiBaseUrl, std::string dataBaseUrl, std::string authPro,
                            std::string phpSessionId, std::string rootName,
                            std::uint64_t targetDirId, std::string accessCode);

  [[nodiscard]] std::uint64_t TargetDirId() const noexcept { return targetDirId_; }

  /// Root: the root name, "/", upload rights only (0x40), the target id,
  /// never dropped from the cache, listed with no entries.
  [[nodiscard]] HRESULT InitializeRoot(Container* root) override;

  // Nothing to list: S_OK and no result.
  [[nodiscard]] HRESULT ListSubContainersAndItemCount(const ContainerInfo& container,
                                                      AsyncResult** result) override;
  [[nodiscard]] HRESULT ListSubItems(const ContainerInfo& container, std::uint32_t start,
                                     std::uint32_t count, std::int32_t sortOrder,
                                     AsyncResult** result) override;

  // Uploads name the code instead of a directory (AccessCodeUpload.cpp);
  // the blocks in between are WriteItem's as for any upload (none for an
  // empty file).
  [[nodiscard]] HRESULT CreateItem(const ContainerInfo& parent, const ItemInfo& item, std::uint32_t overrideFlag,
                                   AsyncResult** result) override;
  [[nodiscard]] HRESULT CompleteItem(const ItemInfo& item, std::uint32_t overrideFlag, AsyncResult** result) override;

  // Refused with E_ACCESSDENIED.
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
  [[nodiscard]] HRESULT CancelContainerShare(const ContainerInfo& container,
                                             AsyncResult** result) override;
  [[nodiscard]] HRESULT RemoveItemCodes(const ItemInfo& item, AsyncResult** result) override;
  [[nodiscard]] HRESULT GetClientLinkDetail(const ItemInfo& item, AsyncResult** result) override;
  [[nodiscard]] HRESULT SendLink(const std::string& addresses, const std::string& link,
                                 const std::string& fileName, AsyncResult** result) override;
  [[nodiscard]] HRESULT ReadItem(const ItemInfo& item, std::uint32_t offsetLow,
                                 std::uint32_t offsetHigh, std::uint32_t length,
                                 AsyncResult** result) override;

 private:
  std::uint64_t targetDirId_;
  std::string accessCode_;
};

}  // namespace korvex
