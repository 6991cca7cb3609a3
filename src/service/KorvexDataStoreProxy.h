//===- service/KorvexDataStoreProxy.h - A view of the service back end -*- C++ -*-===//
///
/// The user sees several disks of one service account (the personal disk,
/// the shares, the sync folder, VEZO), each a DataStore with its own cache
/// and root, but all talking to the service through one shared back end. A
/// proxy forwards the browsing, editing and file operations unchanged to
/// that inner back end, so their requests share its connections; it runs
/// the access-code, report, MD5 and stream operations itself with a copy of
/// the inner back end's session, so long transfers never queue behind
/// browsing.
///
/// The inner back end is borrowed: it must outlive the proxy (destroy the
/// view stores before the store that owns it). A proxy made without one
/// answers every forwarded operation with HR_NO_INNER_BACK_END.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "service/KorvexDataStoreRemote.h"

namespace korvex {

/// What a view without an inner back end answers.
inline constexpr HRESULT HR_NO_INNER_BACK_END = MakeHResult(0x80093019u);

class KorvexDataStoreProxy : public KorvexDataStoreRemote {
 public:
  explicit KorvexDataStoreProxy(KorvexDataStoreRemote* inner);
  ~KorvexDataStoreProxy() override;

  [[nodiscard]] KorvexDataStoreRemote* Inner() const noexcept { return inner_; }

  /// The call may have gone out on the inner back end's connections or on
  /// this view's own: both give it up.
  [[nodiscard]] HRESULT CancelCall(AsyncResult* result) override;

  // Forwarded to the inner back end.
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

 private:
  KorvexDataStoreRemote* const inner_;  // borrowed
};

}  // namespace korvex
