//===- store/DataStore.h - Cached tree of one store --------------*- C++ -*-===//
///
/// The client-side model of one store: a tree of cached containers and items
/// in front of one back end (the service, a view of it, the local file
/// system). Browsing and editing go through a DataStore: it starts the back
/// end's call, waits for the result, and applies the outcome to its cache so
/// that later lookups answer from memory.
///
/// A browsing pane uses it as the source of a list whose rows are fetched on
/// demand: GetCounts gives the rows (sub-containers first, then items),
/// GetEntryAt the record of one row (fetching the page of at most 31 items
/// around it), SetSortOrder and SortItems follow a column click, and
/// InvalidateContainer followed by GetCounts refreshes.
///
/// Finishing: each Finish operation takes over the caller's reference of
/// `result`, waits for it (pumping the calling thread's events when
/// `pumping` is set), reads its status, releases it and, when the status is
/// not a failure, updates the cache. A null `result` (a start that succeeded
/// without handing out a result) leaves the cache alone and returns S_OK.
/// Callers that wait for a result themselves (together with a stop event)
/// pass the completed result to the Finish operation afterwards.
///
/// Change events: after a Finish operation has changed what a container
/// lists (an entry created, deleted, renamed, moved, copied or completed,
/// whoever started the call), every change listener hears the container's
/// address, on the thread that finished the call and without the cache's
/// lock held. Dropping a listing (InvalidateContainer) is not a change: the
/// one who drops it lists again.
///
/// Threads: any thread may use a store. One mutex guards the cache; it is
/// never held while waiting for a result. Entries handed out are copies; no
/// pointer into the cache leaves the store. Nothing throws: an exception
/// inside an operation becomes E_UNEXPECTED (false or an empty answer for
/// the queries).
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "store/IDataStoreRemote.h"
#include "store/Object.h"
#include "store/ObjectInfo.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace korvex {

/// Orders of item slots (DataStore::SetSortOrder). Names compare as code
/// page 936 bytes lower-cased byte-wise; extensions (from the last ".")
/// without regard to ASCII case.
enum SortOrder : std::uint32_t {
  kSortNone = 0,
  kSortNameAscending = 1,
  kSortNameDescending = 2,
  kSortSizeAscending = 3,
  kSortSizeDescending = 4,
  kSortTimeAscending = 5,
  kSortTimeDescending = 6,
  kSortExtensionAscending = 7,
  kSortExtensionDescending = 8,
};

/// Rows of one container.
struct EntryCounts {
  HRESULT status = E_UNEXPECTED;
  std::int32_t containers = -1;  ///< -1 on failure
  std::int32_t items = -1;       ///< -1 on failure
};

/// One row: a ContainerInfo or an ItemInfo (tell them apart by
/// ObjectInfo::kind), or null with a failure status.
struct EntryAt {
  HRESULT status = E_UNEXPECTED;
  std::unique_ptr<ObjectInfo> record;
};

/// GetClientLinkDetail's answer.
struct LinkDetail {
  std::string url;
  std::string dist;
  std::int32_t used = 0;
  std::int32_t overtime = 0;
};

/// CreateAccessCode's answer.
struct NewAccessCode {
  std::string id;
  std::string expireTime;
  std::string code;
  std::string ownerId;
};

class DataStore {
 public:
  /// Owns `remote`. Creates the root ("/", kind 3, privilege 0x8000) and
  /// lets the back end fill it (InitializeRoot; a view moves its root to
  /// "/name/"). `sortOrder` is a SortOrder value. `sortNamesOnClient`: the
  /// back end lists items in no particular order (the local file system),
  /// so SortItems also applies the name orders 1 and 2 itself.
  DataStore(std::unique_ptr<IDataStoreRemote> remote, std::uint32_t sortOrder,
            bool sortNamesOnClient = false);
  virtual ~DataStore();
  DataStore(const DataStore&) = delete;
  DataStore& operator=(const DataStore&) = delete;

  /// The back end, for calls the cache does not take part in (transfers).
  [[nodiscard]] IDataStoreRemote* Remote() const noexcept { return remote_.get(); }
  /// A copy of the root's record.
  [[nodiscard]] ContainerInfo RootInfo() const;
  /// The status InitializeRoot returned.
  [[nodiscard]] HRESULT InitStatus() const noexcept { return initStatus_; }

  /// The back end's message (the service's "errmsg") of the last call that
  /// a store waited for on the calling thread; empty after a success.
  [[nodiscard]] static std::string LastErrorMessage();

  /// Hears the address of each container whose listing changed. It must
  /// hand the news on and return: the next change waits for it, and it may
  /// not add or remove listeners of this store.
  using ChangeListener = std::function<void(const std::string& containerUri)>;
  /// Returns the id that removes the listener again.
  [[nodiscard]] std::uint64_t AddChangeListener(ChangeListener listener);
  /// Once this returns, the listener is not called any more (a call under
  /// way on another thread is waited for).
  void RemoveChangeListener(std::uint64_t id);

  // -- Finishing a started call (see the header comment) ------------------

  [[nodiscard]] virtual HRESULT FinishListSubContainersAndItemCount(const ContainerInfo& container,
                                                                    AsyncResult* result,
                                                                    bool pumping);
  /// Stores the page in slots start, start+1, ...; items beyond the
  /// listing's slots are dropped and give E_UNEXPECTED.
  [[nodiscard]] virtual HRESULT FinishListSubItems(const ContainerInfo& container,
                                                   std::uint32_t start, std::uint32_t count,
                                                   std::uint32_t sortOrder, AsyncResult* result,
                                                   bool pumping);
  /// `newContainer` receives the created container's fields (with the
  /// parent's privilege). 0x80070050 (exists) still updates the cache.
  [[nodiscard]] virtual HRESULT FinishCreateContainer(const ContainerInfo& parent,
                                                      ContainerInfo& newContainer,
                                                      AsyncResult* result);
  [[nodiscard]] virtual HRESULT FinishDeleteContainer(const ContainerInfo& container,
                                                      AsyncResult* result);
  [[nodiscard]] virtual HRESULT FinishRenameContainer(const ContainerInfo& container,
                                                      const std::string& newName,
                                                      AsyncResult* result);
  /// `container.uri` becomes its address under `target`.
  [[nodiscard]] virtual HRESULT FinishMoveContainer(ContainerInfo& container,
                                                    const ContainerInfo& sourceParent,
                                                    const ContainerInfo& target,
                                                    AsyncResult* result);
  /// `item` receives the created item's fields.
  [[nodiscard]] virtual HRESULT FinishCreateItem(const ContainerInfo& parent, ItemInfo& item,
                                                 AsyncResult* result);
  [[nodiscard]] virtual HRESULT FinishDeleteItem(const ItemInfo& item, AsyncResult* result);
  [[nodiscard]] virtual HRESULT FinishRenameItem(const ItemInfo& item, const std::string& newName,
                                                 AsyncResult* result);
  [[nodiscard]] virtual HRESULT FinishMoveItem(ItemInfo& item, const ContainerInfo& sourceParent,
                                               const ContainerInfo& target, AsyncResult* result);
  [[nodiscard]] virtual HRESULT FinishCopyItem(ItemInfo& item, const ContainerInfo& sourceParent,
                                               const ContainerInfo& target, AsyncResult* result);
  /// Clears `partial` on the cached item and on `item`.
  [[nodiscard]] virtual HRESULT FinishCompleteItem(ItemInfo& item, AsyncResult* result);

  // -- Editing: start, wait (plain), finish --------------------------------

  /// `newContainer` carries the name and receives the created container.
  [[nodiscard]] virtual HRESULT CreateContainer(const ContainerInfo& parent,
                                                ContainerInfo& newContainer);
  [[nodiscard]] virtual HRESULT DeleteContainer(const ContainerInfo& container);
  /// Renames and re-addresses every cached descendant.
  [[nodiscard]] virtual HRESULT RenameContainer(const ContainerInfo& container,
                                                const std::string& newName);
  [[nodiscard]] virtual HRESULT MoveContainer(ContainerInfo& container,
                                              const ContainerInfo& sourceParent,
                                              const ContainerInfo& target, std::uint32_t flag);
  [[nodiscard]] virtual HRESULT CreateItem(const ContainerInfo& parent, ItemInfo& item,
                                           std::uint32_t overrideFlag);
  [[nodiscard]] virtual HRESULT DeleteItem(const ItemInfo& item);
  [[nodiscard]] virtual HRESULT RenameItem(const ItemInfo& item, const std::string& newName);
  [[nodiscard]] virtual HRESULT MoveItem(ItemInfo& item, const ContainerInfo& sourceParent,
                                         const ContainerInfo& target, std::uint32_t overrideFlag);
  [[nodiscard]] virtual HRESULT CopyItem(ItemInfo& item, const ContainerInfo& sourceParent,
                                         const ContainerInfo& target, std::uint32_t overrideFlag);
  [[nodiscard]] virtual HRESULT CompleteItem(ItemInfo& item, std::uint32_t overrideFlag);

  // -- Listing --------------------------------------------------------------

  virtual void SetSortOrder(std::uint32_t sortOrder);
  [[nodiscard]] std::uint32_t GetSortOrder() const;

  /// For a known container not listed yet: lists it without caching and
  /// copies the sub-containers into `out`; returns their number. 0 in every
  /// other case, the cache untouched.
  [[nodiscard]] virtual std::int32_t PeekSubContainers(const ContainerInfo& container,
                                                       std::vector<ContainerInfo>& out,
                                                       bool pumping);
  /// Rows of a known container, listing it first when needed. A container
  /// not in the cache gives {E_UNEXPECTED, -1, -1}.
  [[nodiscard]] virtual EntryCounts GetCounts(const ContainerInfo& container, bool pumping);
  /// The row at `position` (sub-containers first, then items), fetching the
  /// page of at most 31 items around it when needed; `refresh` fetches the
  /// item again. E_INVALIDARG beyond the last row; E_UNEXPECTED for a
  /// container that is not cached and listed.
  [[nodiscard]] virtual EntryAt GetEntryAt(const ContainerInfo& container, std::int32_t position,
                                           bool pumping, bool refresh = false);
  /// The row at `position` as the cache holds it, never fetching: S_FALSE
  /// with no record while the row's page has not been fetched (for a list
  /// being painted, which must not wait); otherwise as GetEntryAt.
  [[nodiscard]] EntryAt CachedEntryAt(const ContainerInfo& container, std::int32_t position) const;
  /// Fetches the first `count` items when the last of them is missing, then
  /// sorts the item slots by the sort order.
  [[nodiscard]] virtual HRESULT SortItems(const ContainerInfo& container, std::int32_t count,
                                          bool pumping);
  /// Drops the cached listing of `container` (and everything below it),
  /// unless the given record says it is not `refreshable`.
  virtual void InvalidateContainer(const ContainerInfo& container);

  // -- Queries (from memory only) -----------------------------------------

  [[nodiscard]] virtual bool GetContainerInfo(const std::string& uri, ContainerInfo& out) const;
  [[nodiscard]] virtual bool GetItemInfo(const std::string& uri, ItemInfo& out) const;
  /// The parent of a container ("/" ending) or item address.
  [[nodiscard]] virtual bool GetParentInfo(const std::string& uri, ContainerInfo& out) const;
  [[nodiscard]] virtual bool ContainerExists(const std::string& uri) const;
  [[nodiscard]] virtual bool IsListed(const std::string& uri) const;
  /// Listed and no item slot waiting for its page.
  [[nodiscard]] virtual bool AreAllItemsFetched(const std::string& uri) const;

  // -- Sharing, links, codes: start, wait pumping, hand over ----------------

  /// Shares with the one user named `buddy`; the cached container's kind
  /// becomes 1.
  [[nodiscard]] virtual HRESULT ShareContainerWith(const ContainerInfo& container,
                                                   const std::string& buddy);
  /// Shares in the direct form; the cached container's kind becomes 2.
  [[nodiscard]] virtual HRESULT ShareContainer(const ContainerInfo& container,
                                               const std::vector<BuddyInfo>& buddies);
  [[nodiscard]] virtual HRESULT ListContainerBuddies(const ContainerInfo& container,
                                                     std::uint32_t page, std::uint32_t pageSize,
                                                     std::uint64_t& total,
                                                     std::vector<BuddyInfoEx>& buddies);
  [[nodiscard]] virtual HRESULT ListBuddies(std::uint32_t page, std::uint32_t pageSize,
                                            std::uint64_t& total,
                                            std::vector<BuddyInfo>& buddies);
  [[nodiscard]] virtual HRESULT EditContainerShare(const ContainerInfo& container,
                                                   const std::string& buddy);
  [[nodiscard]] virtual HRESULT UnshareContainer(const ContainerInfo& container,
                                                 const std::string& buddy);
  /// The container leaves its parent's listing.
  [[nodiscard]] virtual HRESULT CancelContainerShare(const ContainerInfo& container);
  /// `link` receives the link address.
  [[nodiscard]] virtual HRESULT GetItemCodes(const ItemInfo& item, std::uint32_t validity,
                                             const std::string& expiry, std::string& link);
  [[nodiscard]] virtual HRESULT RemoveItemCodes(const ItemInfo& item);
  [[nodiscard]] virtual HRESULT ChangeItemCodes(const ItemInfo& item, std::uint32_t validity,
                                                const std::string& expiry);
  [[nodiscard]] virtual HRESULT GetClientLinkDetail(const ItemInfo& item, LinkDetail& detail);
  [[nodiscard]] virtual HRESULT SendItemToEmail(std::uint64_t fileId,
                                                const std::string& addresses,
                                                const std::string& content);
  [[nodiscard]] virtual HRESULT SendLink(const std::string& addresses, const std::string& link,
                                         const std::string& fileName);
  [[nodiscard]] virtual HRESULT ListAccessCodes(const ContainerInfo& container,
                                                std::vector<ContainerCode>& codes);
  [[nodiscard]] virtual HRESULT CreateAccessCode(const ContainerInfo& container,
                                                 NewAccessCode& code);
  // These four read a cancelled call as E_ABORT.
  [[nodiscard]] virtual HRESULT DeleteAccessCodes(const std::string& codeIds);
  [[nodiscard]] virtual HRESULT EditAccessCode(const std::string& codeId,
                                               const std::string& expiration);
  [[nodiscard]] virtual HRESULT SendAccessCodeEmail(const std::string& codeId,
                                                    const std::string& code,
                                                    const std::string& addresses,
                                                    const std::string& content);
  [[nodiscard]] virtual HRESULT ReportTransfer(std::uint32_t dir, std::uint32_t retries,
                                               const std::string& fileName, std::uint64_t size,
                                               std::uint64_t parentId, std::uint64_t fileId,
                                               std::uint64_t elapsed100ns,
                                               const std::string& token);

 private:
  // Lookups; the caller holds mutex_.
  [[nodiscard]] EntryRef<Container>* FindContainer(const std::string& uri) const;
  [[nodiscard]] EntryRef<Container>* FindParentOfContainer(const std::string& uri) const;
  [[nodiscard]] EntryRef<Container>* FindParentOfItem(const std::string& uri) const;
  [[nodiscard]] EntryRef<Item>* FindItem(const std::string& uri) const;
  [[nodiscard]] EntryRef<Container>* FindParent(const std::string& uri) const;
  [[nodiscard]] Container* FindListed(const std::string& uri) const;
  /// The row at `position` of a listed folder; `whenAbsent` for an item whose page is not here.
  [[nodiscard]] EntryAt RowLocked(const std::string& uri, std::int32_t position, HRESULT whenAbsent) const;

  /// Starts the item page around item slot `index` of a listed container,
  /// or returns S_OK with `*result` null when the slot is there already.
  [[nodiscard]] HRESULT StartPageAround(Container& container, std::size_t index, bool refresh,
                                        std::uint32_t& start, std::uint32_t& count,
                                        AsyncResult** result);
  void SortItemSlots(ContainerChildren& children, std::uint32_t order) const;
  void InvalidateLocked(const std::string& uri, bool refreshable);
  /// Tells the listeners; called without mutex_ held.
  void NotifyChanged(std::initializer_list<std::string> containerUris);

  mutable std::mutex mutex_;  // guards root_ and sortOrder_
  std::mutex listenersMutex_;  // guards listeners_ and nextListenerId_; never held with mutex_
  std::map<std::uint64_t, ChangeListener> listeners_;
  std::uint64_t nextListenerId_ = 1;
  EntryRef<Container> root_;
  std::uint32_t sortOrder_;
  std::unique_ptr<IDataStoreRemote> remote_;
  const bool sortNamesOnClient_;
  HRESULT initStatus_ = S_OK;
};

}  // namespace korvex
