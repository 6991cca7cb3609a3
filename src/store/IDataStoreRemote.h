//===- store/IDataStoreRemote.h - Interface of every store back end -*- C++ -*-===//
///
/// A store back end (the service and its views, the local file system)
/// implements these operations. None of them blocks: each starts the work
/// and, when the start succeeds, stores in `*result` an AsyncResult holding
/// one reference for the caller, who waits on it, reads it and releases it.
/// When the start fails the status is returned and `*result` is left null
/// (or untouched); nothing is left to wait for. A start may also succeed
/// without handing out a result (an operation the back end does nothing
/// for); then `*result` stays null.
///
/// Records passed in are copied before the operation returns. Objects and
/// vectors handed out by pointer in a payload belong to the receiver, which
/// deletes them (buffers with delete[]).
///
/// Payloads: the boost::tuple a Succeeded result carries, always with the
/// operation's status first. The aliases below name them; an operation whose
/// value is "(status)" stores StatusPayload or nothing at all (ReadOutcome
/// reads the completion status then).
///
//===----------------------------------------------------------------------===//
#pragma once

#include <atomic>
#include <memory>

#include "platform/HResult.h"
#include "store/AsyncResult.h"
#include "store/Object.h"
#include "store/ObjectInfo.h"

#include <boost/any.hpp>
#include <boost/tuple/tuple.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace korvex {

/// Operations whose only value is their status.
using StatusPayload = boost::tuple<HRESULT>;
/// ListSubContainersAndItemCount: new vector of new containers, item count.
using ListSubContainersPayload = boost::tuple<HRESULT, std::vector<Container*>*, std::int32_t>;
/// ListSubItems: new vector of new items, in the back end's order.
using ListSubItemsPayload = boost::tuple<HRESULT, std::vector<Item*>*>;
/// CreateContainer: the new container.
using CreateContainerPayload = boost::tuple<HRESULT, Container*>;
/// ListBuddies: page total ("pagesum"), new vector of new buddies.
using ListBuddiesPayload = boost::tuple<HRESULT, std::uint64_t, std::vector<BuddyInfo*>*>;
/// ListContainerBuddies: page total, new vector of new shares.
using ListContainerBuddiesPayload =
    boost::tuple<HRESULT, std::uint64_t, std::vector<BuddyInfoEx*>*>;
/// GetItemCodes: the link address; a refused call carries
/// the service's message in the text instead.
using ItemCodesPayload = boost::tuple<HRESULT, std::string>;
/// GetClientLinkDetail: address ("url"), "dist", "used", "overtime".
using ClientLinkDetailPayload =
    boost::tuple<HRESULT, std::string, std::string, std::int32_t, std::int32_t>;
/// CreateItem: the new item (its id and transfer token set by the service).
using CreateItemPayload = boost::tuple<HRESULT, Item*>;
/// OpenItem: the download token (a std::string held in a boost::any, ready
/// for ItemInfo::extraTag; empty from the local store) and the answer text.
using OpenItemPayload = boost::tuple<HRESULT, boost::any, std::string>;
/// ReadItem, ReadChunk: new buffer (new std::uint8_t[length]) of the asked length.
using ReadBufferPayload = boost::tuple<HRESULT, std::uint8_t*>;
/// ListAccessCodes: new vector of codes.
using AccessCodesPayload = boost::tuple<HRESULT, std::vector<ContainerCode>*>;
/// CreateAccessCode: id, expiry time, code, owner id.
using CreateAccessCodePayload =
    boost::tuple<HRESULT, std::string, std::string, std::string, std::string>;
/// GetItemMd5: the service's MD5 text.
using ItemMd5Payload = boost::tuple<HRESULT, std::string>;
/// OpenStream: stream id, next chunk sequence.
using OpenStreamPayload = boost::tuple<HRESULT, std::string, std::uint32_t>;
/// CloseStream: stream id, the stream's MD5 text.
using CloseStreamPayload = boost::tuple<HRESULT, std::string, std::string>;
/// ReadChunk and WriteChunk refused by the stream status: (code, status number).
using StreamFailurePayload = boost::tuple<HRESULT, std::int32_t>;

/// Deletes the objects that a payload of one of the owning types above points
/// to and clears the payload. For a completer whose Complete() lost (the call
/// was cancelled) and for a receiver that abandons a result.
void DeletePayloadObjects(AsyncResult& result);

class IDataStoreRemote {
 public:
  virtual ~IDataStoreRemote() = default;

  // -- Synchronous housekeeping -------------------------------------------

  /// Fills the descriptive fields of the root that a store created.
  [[nodiscard]] virtual HRESULT InitializeRoot(Container* root) = 0;
  /// Cancels `result` (a result this back end handed out); its waiters wake.
  [[nodiscard]] virtual HRESULT CancelCall(AsyncResult* result) = 0;

  // -- Directories --------------------------------------------------------

  /// ListSubContainersPayload.
  [[nodiscard]] virtual HRESULT ListSubContainersAndItemCount(const ContainerInfo& container,
                                                              AsyncResult** result) = 0;
  /// ListSubItemsPayload: `count` items from position `start` (0 is the
  /// first), ordered by `sortOrder` (the store's sort order value).
  [[nodiscard]] virtual HRESULT ListSubItems(const ContainerInfo& container, std::uint32_t start,
                                             std::uint32_t count, std::int32_t sortOrder,
                                             AsyncResult** result) = 0;
  /// CreateContainerPayload; `newContainer` carries the name.
  [[nodiscard]] virtual HRESULT CreateContainer(const ContainerInfo& parent,
                                                const ContainerInfo& newContainer,
                                                AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT DeleteContainer(const ContainerInfo& container,
                                                AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT RenameContainer(const ContainerInfo& container,
                                                const std::string& newName,
                                                AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT MoveContainer(const ContainerInfo& container,
                                              const ContainerInfo& sourceParent,
                                              const ContainerInfo& targetParent,
                                              std::uint32_t flag, AsyncResult** result) = 0;

  // -- Sharing and contacts -----------------------------------------------

  [[nodiscard]] virtual HRESULT ShareContainer(const ContainerInfo& container,
                                               const std::vector<BuddyInfo>& buddies,
                                               AsyncResult** result) = 0;
  /// ListBuddiesPayload; the paging values are passed through.
  [[nodiscard]] virtual HRESULT ListBuddies(std::uint32_t page, std::uint32_t pageSize,
                                            AsyncResult** result) = 0;
  /// ListContainerBuddiesPayload.
  [[nodiscard]] virtual HRESULT ListContainerBuddies(const ContainerInfo& container,
                                                     std::uint32_t page, std::uint32_t pageSize,
                                                     AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT EditContainerShare(const ContainerInfo& container,
                                                   const std::vector<BuddyInfo>& buddies,
                                                   AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT UnshareContainer(const ContainerInfo& container,
                                                 const std::vector<BuddyInfo>& buddies,
                                                 AsyncResult** result) = 0;
  /// Synchronous: copies the session's login text into `text`.
  [[nodiscard]] virtual HRESULT GetLoginText(std::string& text) = 0;
  [[nodiscard]] virtual HRESULT CancelContainerShare(const ContainerInfo& container,
                                                     AsyncResult** result) = 0;

  // -- Links and mail -----------------------------------------------------

  /// ItemCodesPayload. A non-empty `expiry` date text wins over `validity`.
  [[nodiscard]] virtual HRESULT GetItemCodes(const ItemInfo& item, std::uint32_t validity,
                                             const std::string& expiry,
                                             AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT RemoveItemCodes(const ItemInfo& item, AsyncResult** result) = 0;
  /// Changes the validity of an existing link, as GetItemCodes sets it.
  [[nodiscard]] virtual HRESULT ChangeItemCodes(const ItemInfo& item, std::uint32_t validity,
                                                const std::string& expiry,
                                                AsyncResult** result) = 0;
  /// ClientLinkDetailPayload.
  [[nodiscard]] virtual HRESULT GetClientLinkDetail(const ItemInfo& item,
                                                    AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT SendItemToEmail(std::uint64_t fileId,
                                                const std::string& addresses,
                                                const std::string& content,
                                                AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT SendLink(const std::string& addresses, const std::string& link,
                                         const std::string& fileName, AsyncResult** result) = 0;

  // -- Files --------------------------------------------------------------

  [[nodiscard]] virtual HRESULT DeleteItem(const ItemInfo& item, AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT RenameItem(const ItemInfo& item, const std::string& newName,
                                           AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT MoveItem(const ItemInfo& item, const ContainerInfo& sourceParent,
                                         const ContainerInfo& targetParent,
                                         std::uint32_t overrideFlag, AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT CopyItem(const ItemInfo& item, const ContainerInfo& sourceParent,
                                         const ContainerInfo& targetParent,
                                         std::uint32_t overrideFlag, AsyncResult** result) = 0;
  /// CreateItemPayload: prepares `item` for writing in `parent`.
  [[nodiscard]] virtual HRESULT CreateItem(const ContainerInfo& parent, const ItemInfo& item,
                                           std::uint32_t overrideFlag, AsyncResult** result) = 0;
  /// OpenItemPayload: prepares `item` for reading (`forWriting`: the local
  /// store opens it for writing instead).
  [[nodiscard]] virtual HRESULT OpenItem(const ItemInfo& item, bool forWriting,
                                         AsyncResult** result) = 0;
  /// ReadBufferPayload: `length` bytes at the offset given as two 32-bit halves.
  [[nodiscard]] virtual HRESULT ReadItem(const ItemInfo& item, std::uint32_t offsetLow,
                                         std::uint32_t offsetHigh, std::uint32_t length,
                                         AsyncResult** result) = 0;
  /// Writes `length` bytes of `data` at the offset. `data` belongs to the
  /// operation from the call on, whether the start succeeds or not.
  [[nodiscard]] virtual HRESULT WriteItem(const ItemInfo& item,
                                          std::unique_ptr<std::uint8_t[]> data,
                                          std::uint32_t offsetLow, std::uint32_t offsetHigh,
                                          std::uint32_t length, AsyncResult** result) = 0;
  /// Finishes a transfer begun by CreateItem.
  [[nodiscard]] virtual HRESULT CompleteItem(const ItemInfo& item, std::uint32_t overrideFlag,
                                             AsyncResult** result) = 0;

  // -- Access codes -------------------------------------------------------

  /// AccessCodesPayload.
  [[nodiscard]] virtual HRESULT ListAccessCodes(const ContainerInfo& container,
                                                AsyncResult** result) = 0;
  /// CreateAccessCodePayload.
  [[nodiscard]] virtual HRESULT CreateAccessCode(const ContainerInfo& container,
                                                 AsyncResult** result) = 0;
  /// `codeIds` is sent unchanged.
  [[nodiscard]] virtual HRESULT DeleteAccessCodes(const std::string& codeIds,
                                                  AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT EditAccessCode(const std::string& codeId,
                                               const std::string& expiration,
                                               AsyncResult** result) = 0;
  [[nodiscard]] virtual HRESULT SendAccessCodeEmail(const std::string& codeId,
                                                    const std::string& code,
                                                    const std::string& addresses,
                                                    const std::string& content,
                                                    AsyncResult** result) = 0;

  // -- Transfer report, MD5, streams --------------------------------------

  /// Reports a finished transfer; `elapsed100ns` in 100 ns units.
  [[nodiscard]] virtual HRESULT ReportTransfer(std::uint32_t dir, std::uint32_t retries,
                                               const std::string& fileName, std::uint64_t size,
                                               std::uint64_t parentId, std::uint64_t fileId,
                                               std::uint64_t elapsed100ns,
                                               const std::string& token,
                                               AsyncResult** result) = 0;
  /// ItemMd5Payload.
  [[nodiscard]] virtual HRESULT GetItemMd5(const ItemInfo& item, AsyncResult** result) = 0;
  /// OpenStreamPayload: a stream over bytes [offset, offset + length).
  [[nodiscard]] virtual HRESULT OpenStream(const ItemInfo& item, bool read,
                                           std::uint64_t offset, std::uint32_t length,
                                           std::uint32_t chunkSize, const std::string& token,
                                           AsyncResult** result) = 0;
  /// Asks the back end to keep at most `window` chunk requests of the stream
  /// on the wire, in the order they are made, holding back the others, so
  /// that a caller may make many at once. False (the default) when the back
  /// end cannot: the caller then paces its requests itself. Ends with
  /// CloseStream.
  [[nodiscard]] virtual bool SetStreamWindow(const std::string& streamId, std::uint32_t window) {
    (void)streamId;
    (void)window;
    return false;
  }
  /// CloseStreamPayload.
  [[nodiscard]] virtual HRESULT CloseStream(const ItemInfo& item, const std::string& streamId,
                                            AsyncResult** result) = 0;
  /// ReadBufferPayload; refused by the stream: StreamFailurePayload.
  [[nodiscard]] virtual HRESULT ReadChunk(const ItemInfo& item, const std::string& streamId,
                                          std::uint32_t sequence, std::uint64_t offset,
                                          std::uint32_t length, AsyncResult** result) = 0;
  /// Moves the whole range of a stream opened by OpenStream, `offset` and
  /// `length` as opened, in chunks of `chunkSize` with sequences from 0: the
  /// same requests ReadChunk would make, at most `window` on the wire at
  /// once, in order. The received bytes go straight into `buffer` (`length`
  /// bytes, taken only when the call starts). Completes once: with
  /// ReadBufferPayload holding `buffer` when every chunk is in, or with the
  /// first failure (StreamFailurePayload), after which the chunks not yet on
  /// the wire are not sent once the stream is closed. `moved`, when not
  /// null, counts the chunks done so far, for progress. E_NOTIMPL (the
  /// default): the caller goes chunk by chunk.
  [[nodiscard]] virtual HRESULT ReadChunks(const ItemInfo& item, const std::string& streamId, std::uint64_t offset,
                                           std::uint32_t length, std::uint32_t chunkSize, std::uint32_t window,
                                           std::unique_ptr<std::uint8_t[]>& buffer,
                                           std::shared_ptr<std::atomic<std::uint32_t>> moved, AsyncResult** result) {
    (void)item, (void)streamId, (void)offset, (void)length, (void)chunkSize, (void)window, (void)buffer, (void)moved;
    if (result) *result = nullptr;
    return E_NOTIMPL;
  }
  /// ReadChunks for an upload: sends the `length` bytes of `data`, which
  /// the call holds (and never copies) until its last chunk has ended.
  /// Completes once, S_OK or the first failure.
  [[nodiscard]] virtual HRESULT WriteChunks(const ItemInfo& item, std::shared_ptr<const std::uint8_t[]> data,
                                            const std::string& streamId, std::uint64_t offset, std::uint32_t length,
                                            std::uint32_t chunkSize, std::uint32_t window,
                                            std::shared_ptr<std::atomic<std::uint32_t>> moved, AsyncResult** result) {
    (void)item, (void)data, (void)streamId, (void)offset, (void)length, (void)chunkSize, (void)window, (void)moved;
    if (result) *result = nullptr;
    return E_NOTIMPL;
  }
  /// Sends `length` bytes of `data`, which the operation copies before it
  /// returns. Refused by the stream: StreamFailurePayload.
  [[nodiscard]] virtual HRESULT WriteChunk(const ItemInfo& item, const std::uint8_t* data,
                                           const std::string& streamId, std::uint32_t sequence,
                                           std::uint64_t offset, std::uint32_t length,
                                           AsyncResult** result) = 0;
};

}  // namespace korvex
