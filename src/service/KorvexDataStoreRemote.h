//===- service/KorvexDataStoreRemote.h - The service back end ----*- C++ -*-===//
///
/// The store back end that talks to the KorvexData service. Every operation
/// builds one HTTP request, hands it to one of two connections (the API
/// connection, and the transfer connection for file data) together with a
/// RequestContext, and returns at once with a Pending AsyncResult. The
/// answer comes back through OnRequestComplete on a connection thread, which
/// checks the envelope, builds the result records and completes the result.
///
/// Both connections carry the session cookies of the login. Copies share
/// nothing but those values: transfers work on copies so that they never
/// queue behind the browsing requests.
///
/// Operations that this back end does not offer yet answer E_NOTIMPL
/// without a result, as the null base does.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "net/HttpRequestor.h"
#include "platform/HResult.h"
#include "service/RequestContext.h"
#include "store/DataStoreRemoteNullImplBase.h"

#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

namespace korvex {

class KorvexDataStoreRemote : public DataStoreRemoteNullImplBase {
 public:
  /// Opens both connections with the session cookies. A connection that
  /// cannot be opened leaves InitStatus() failed; every request then fails
  /// with that status before anything is sent.
  KorvexDataStoreRemote(std::string apiBaseUrl, std::string dataBaseUrl, std::string authPro,
                        std::string phpSessionId, std::string rootName);
  /// Same URLs, cookies, root name and account kind, with connections of its own.
  KorvexDataStoreRemote(const KorvexDataStoreRemote& other);
  /// As the copy, but with a different data base URL.
  KorvexDataStoreRemote(const KorvexDataStoreRemote& other, std::string dataBaseUrl);
  /// Cancels the requests still under way; their results complete with the
  /// transport's cancelled status.
  ~KorvexDataStoreRemote() override;
  KorvexDataStoreRemote& operator=(const KorvexDataStoreRemote&) = delete;

  [[nodiscard]] HRESULT InitStatus() const noexcept { return initStatus_; }
  [[nodiscard]] const std::string& ApiBaseUrl() const noexcept { return apiBaseUrl_; }
  [[nodiscard]] const std::string& DataBaseUrl() const noexcept { return dataBaseUrl_; }
  [[nodiscard]] const std::string& RootName() const noexcept { return rootName_; }

  /// Whether the signed-in account is a sub-account (the login's
  /// "issubaccount"); it decides where new directories are created.
  void SetSubAccount(bool subAccount) noexcept { subAccount_ = subAccount; }
  [[nodiscard]] bool IsSubAccount() const noexcept { return subAccount_; }

  /// Takes the cookies of a new login of the same account; requests sent
  /// from now on carry them, on both connections.
  void UseSession(const std::string& authPro, const std::string& phpSessionId);

  /// Cancels the call as every back end does, and gives up its request on
  /// both connections: one still waiting is never sent, one on the wire has
  /// its connection closed. The request's completion still runs (and loses
  /// to the cancel), so its context and any late answer are freed as usual.
  [[nodiscard]] HRESULT CancelCall(AsyncResult* result) override;

  /// Copies the session's AUTH_PRO value into `text`; sends nothing.
  [[nodiscard]] HRESULT GetLoginText(std::string& text) override;

  /// The plain service root: the root name, "/", no rights of its own and
  /// never dropped from the cache (KorvexDataStoreRoot.cpp).
  [[nodiscard]] HRESULT InitializeRoot(Container* root) override;

  // Directory and file operations. Each needs the service id in the
  // record's `tag` (std::uint64_t); without it nothing is sent and the
  // operation returns E_INVALIDARG.
  [[nodiscard]] HRESULT ListSubContainersAndItemCount(const ContainerInfo& container,
                                                      AsyncResult** result) override;
  [[nodiscard]] HRESULT ListSubItems(const ContainerInfo& container, std::uint32_t start,
                                     std::uint32_t count, std::int32_t sortOrder,
                                     AsyncResult** result) override;
  /// Creating a directory that exists already succeeds with the existing
  /// directory's id.
  [[nodiscard]] HRESULT CreateContainer(const ContainerInfo& parent, const ContainerInfo& newContainer,
                                        AsyncResult** result) override;
  [[nodiscard]] HRESULT DeleteContainer(const ContainerInfo& container, AsyncResult** result) override;
  [[nodiscard]] HRESULT RenameContainer(const ContainerInfo& container, const std::string& newName,
                                        AsyncResult** result) override;
  /// The source parent and `flag` are not sent.
  [[nodiscard]] HRESULT MoveContainer(const ContainerInfo& container, const ContainerInfo& sourceParent,
                                      const ContainerInfo& targetParent, std::uint32_t flag,
                                      AsyncResult** result) override;
  [[nodiscard]] HRESULT DeleteItem(const ItemInfo& item, AsyncResult** result) override;
  [[nodiscard]] HRESULT RenameItem(const ItemInfo& item, const std::string& newName,
                                   AsyncResult** result) override;
  /// The source parent is not sent; a non-zero `overrideFlag` replaces a
  /// file of the same name in the target.
  [[nodiscard]] HRESULT MoveItem(const ItemInfo& item, const ContainerInfo& sourceParent,
                                 const ContainerInfo& targetParent, std::uint32_t overrideFlag,
                                 AsyncResult** result) override;
  [[nodiscard]] HRESULT CopyItem(const ItemInfo& item, const ContainerInfo& sourceParent,
                                 const ContainerInfo& targetParent, std::uint32_t overrideFlag,
                                 AsyncResult** result) override;

  // -- File data: the block protocol (BlockRequests.cpp) -----------------
  //
  // Upload: CreateItem, then WriteItem for every block (any order, any block
  // again after a failure), optionally GetItemMd5, then CompleteItem, each
  // with the Item that CreateItem returned (its `tag` is the file id, its
  // `extraTag` the transfer token). Download: OpenItem, store the token it
  // returns in the item's `extraTag`, then ReadItem per block. Nothing is
  // retried here. Without a file id (or, after preparation, a token) in the
  // record nothing is sent and E_INVALIDARG is returned.

  /// CreateItemPayload: a new Item with `uri` = parent's `uri` + `name`,
  /// `partial` 1 and the id and token set. Returns 0x800707D3 when `parent`
  /// has no id, before sending; an empty file is prepared like any other
  /// (it has no blocks, so CompleteItem follows at once). A protected
  /// item (`locked` 1 or 2) travels with "sec" 1; `locked` 1 also announces
  /// 20 bytes more than `size` (its encryption header). Refusals: 0x80070050
  /// the name exists (without `overrideFlag`), 0x804F0007 no space, ...
  [[nodiscard]] HRESULT CreateItem(const ContainerInfo& parent, const ItemInfo& item, std::uint32_t overrideFlag,
                                   AsyncResult** result) override;
  /// Sends bytes [offset, offset + length) of the upload; status only.
  [[nodiscard]] HRESULT WriteItem(const ItemInfo& item, std::unique_ptr<std::uint8_t[]> data, std::uint32_t offsetLow,
                                  std::uint32_t offsetHigh, std::uint32_t length, AsyncResult** result) override;
  /// Ends the upload; 0x80071B5A unless the service confirms it.
  [[nodiscard]] HRESULT CompleteItem(const ItemInfo& item, std::uint32_t overrideFlag, AsyncResult** result) override;
  /// OpenItemPayload: the download token; 0x80070002 when the file is gone.
  /// `forWriting` is not sent.
  [[nodiscard]] HRESULT OpenItem(const ItemInfo& item, bool forWriting, AsyncResult** result) override;
  /// ReadBufferPayload: exactly `length` bytes; 0x80071F43 when fewer came.
  /// A `length` of 0 is E_INVALIDARG (an inclusive range cannot name it).
  [[nodiscard]] HRESULT ReadItem(const ItemInfo& item, std::uint32_t offsetLow, std::uint32_t offsetHigh,
                                 std::uint32_t length, AsyncResult** result) override;
  /// ItemMd5Payload: the service's upper-case MD5 of the file (of what has
  /// arrived so far while an upload is open). Needs the item's token.
  [[nodiscard]] HRESULT GetItemMd5(const ItemInfo& item, AsyncResult** result) override;

  // -- File data: the stream protocol (StreamRequests.cpp) ----------------
  //
  // OpenStream on a range of the file with the transfer token (the upload
  // token to write, a download token to read); ReadChunk or WriteChunk per
  // chunk of at most `chunkSize` bytes with the caller's own sequence
  // numbers; CloseStream, whose MD5 covers the whole range. This layer keeps
  // no stream state but the windows callers set, and retries nothing. A refusal of the stream maps its
  // status: 4000..4005 to 0x804F0010..0x804F0015, 5000 to 0x804F0016, any
  // other or none to 0x80070002; a failed chunk carries StreamFailurePayload.
  // A short chunk read is 0x80071F43 unless the service named a refusal. A
  // `length` of 0 is E_INVALIDARG, nothing sent.

  [[nodiscard]] HRESULT OpenStream(const ItemInfo& item, bool read, std::uint64_t offset, std::uint32_t length,
                                   std::uint32_t chunkSize, const std::string& token, AsyncResult** result) override;
  [[nodiscard]] bool SetStreamWindow(const std::string& streamId, std::uint32_t window) override;
  [[nodiscard]] HRESULT CloseStream(const ItemInfo& item, const std::string& streamId, AsyncResult** result) override;
  [[nodiscard]] HRESULT ReadChunk(const ItemInfo& item, const std::string& streamId, std::uint32_t sequence,
                                  std::uint64_t offset, std::uint32_t length, AsyncResult** result) override;
  [[nodiscard]] HRESULT WriteChunk(const ItemInfo& item, const std::uint8_t* data, const std::string& streamId,
                                   std::uint32_t sequence, std::uint64_t offset, std::uint32_t length,
                                   AsyncResult** result) override;
  // The group calls (StreamGroups.cpp): one result for a stream's chunks,
  // the bytes never copied on the way. Each chunk is the request ReadChunk
  // or WriteChunk would make, in the stream's lane.
  [[nodiscard]] HRESULT ReadChunks(const ItemInfo& item, const std::string& streamId, std::uint64_t offset,
                                   std::uint32_t length, std::uint32_t chunkSize, std::uint32_t window,
                                   std::unique_ptr<std::uint8_t[]>& buffer,
                                   std::shared_ptr<std::atomic<std::uint32_t>> moved, AsyncResult** result) override;
  [[nodiscard]] HRESULT WriteChunks(const ItemInfo& item, std::shared_ptr<const std::uint8_t[]> data,
                                    const std::string& streamId, std::uint64_t offset, std::uint32_t length,
                                    std::uint32_t chunkSize, std::uint32_t window,
                                    std::shared_ptr<std::atomic<std::uint32_t>> moved, AsyncResult** result) override;

  // -- Shares and contacts (ShareRequests.cpp) ---------------------------
  // Share requests send each buddy's `name` and the container's
  // `privilege`. Cancelling posts "/share/cancelsharedir" for a container of
  // kind 2 and "/share/removeshare" otherwise.
  [[nodiscard]] HRESULT ShareContainer(const ContainerInfo& container, const std::vector<BuddyInfo>& buddies,
                                       AsyncResult** result) override;
  [[nodiscard]] HRESULT EditContainerShare(const ContainerInfo& container, const std::vector<BuddyInfo>& buddies,
                                           AsyncResult** result) override;
  [[nodiscard]] HRESULT UnshareContainer(const ContainerInfo& container, const std::vector<BuddyInfo>& buddies,
                                         AsyncResult** result) override;
  [[nodiscard]] HRESULT CancelContainerShare(const ContainerInfo& container, AsyncResult** result) override;
  [[nodiscard]] HRESULT ListBuddies(std::uint32_t page, std::uint32_t pageSize, AsyncResult** result) override;
  [[nodiscard]] HRESULT ListContainerBuddies(const ContainerInfo& container, std::uint32_t page,
                                             std::uint32_t pageSize, AsyncResult** result) override;

  // -- Links and mails (LinkRequests.cpp) --------------------------------
  // A link answer without an address fails with 0x80070646 and the message
  // "Unkown error". Mail texts, addresses and link fields travel as they
  // are but for "%", "&" and "+", which are percent-encoded.
  [[nodiscard]] HRESULT GetItemCodes(const ItemInfo& item, std::uint32_t validity, const std::string& expiry,
                                     AsyncResult** result) override;
  [[nodiscard]] HRESULT RemoveItemCodes(const ItemInfo& item, AsyncResult** result) override;
  [[nodiscard]] HRESULT ChangeItemCodes(const ItemInfo& item, std::uint32_t validity, const std::string& expiry,
                                        AsyncResult** result) override;
  [[nodiscard]] HRESULT GetClientLinkDetail(const ItemInfo& item, AsyncResult** result) override;
  [[nodiscard]] HRESULT SendItemToEmail(std::uint64_t fileId, const std::string& addresses,
                                        const std::string& content, AsyncResult** result) override;
  [[nodiscard]] HRESULT SendLink(const std::string& addresses, const std::string& link, const std::string& fileName,
                                 AsyncResult** result) override;

  // -- Access codes (CodeRequests.cpp) -----------------------------------
  [[nodiscard]] HRESULT ListAccessCodes(const ContainerInfo& container, AsyncResult** result) override;
  [[nodiscard]] HRESULT CreateAccessCode(const ContainerInfo& container, AsyncResult** result) override;
  [[nodiscard]] HRESULT DeleteAccessCodes(const std::string& codeIds, AsyncResult** result) override;
  [[nodiscard]] HRESULT EditAccessCode(const std::string& codeId, const std::string& expiration,
                                       AsyncResult** result) override;
  [[nodiscard]] HRESULT SendAccessCodeEmail(const std::string& codeId, const std::string& code,
                                            const std::string& addresses, const std::string& content,
                                            AsyncResult** result) override;

  /// Reports a finished transfer (TransferReport.cpp). The answer is never
  /// judged: only a transport failure fails the result.
  [[nodiscard]] HRESULT ReportTransfer(std::uint32_t dir, std::uint32_t retries, const std::string& fileName,
                                       std::uint64_t size, std::uint64_t parentId, std::uint64_t fileId,
                                       std::uint64_t elapsed100ns, const std::string& token,
                                       AsyncResult** result) override;

  // -- What the windows show (WindowRequests.cpp, payloads there) --------
  /// FileCountPayload: the files below `container`.
  [[nodiscard]] HRESULT CountFiles(const ContainerInfo& container, AsyncResult** result);
  /// SpacePayload: bytes used and bytes allowed.
  [[nodiscard]] HRESULT GetSpace(AsyncResult** result);
  /// PreviewPayload: the preview address of a picture, or of a video.
  [[nodiscard]] HRESULT GetPreviewUrl(const ItemInfo& item, bool video, AsyncResult** result);

  /// The completion routine of every request (an HttpCompletion; the user
  /// parameter is the RequestContext, which it deletes). Completes the
  /// context's result exactly once. Never throws.
  static void OnRequestComplete(HRESULT status, const std::string& body,
                                const std::deque<std::string>& setCookies, const HttpHeaderMap& headers,
                                void* userParam);

 protected:
  enum class Connection { kApi, kTransfer };

  /// A copy of `*other`, or, when `other` is null, a back end without
  /// connections whose InitStatus() is E_POINTER (KorvexDataStoreRoot.cpp).
  explicit KorvexDataStoreRemote(const KorvexDataStoreRemote* other);

  /// Hands one request to a connection and returns the hand-over status.
  /// The only place that touches the transport, so that tests can stand a
  /// fake one in.
  [[nodiscard]] virtual HRESULT Dispatch(Connection connection, std::string_view path, std::string_view verb,
                                         std::string_view extraHeaders, const void* body, std::size_t length,
                                         std::uint32_t sizeLimit, RequestContext* context);

  // The five ways a request is sent.
  [[nodiscard]] HRESULT SendApiGet(const std::string& path, RequestContext* context);
  [[nodiscard]] HRESULT SendApiPost(const std::string& path, const std::string& body, RequestContext* context);
  [[nodiscard]] HRESULT SendTransferGet(const std::string& path, const std::string& extraHeaders,
                                        std::uint32_t sizeLimit, RequestContext* context);
  [[nodiscard]] HRESULT SendTransferPost(const std::string& path, const std::string& body,
                                         RequestContext* context);
  [[nodiscard]] HRESULT SendTransferRaw(const std::string& path, const std::string& extraHeaders,
                                        const void* data, std::size_t length, RequestContext* context);

  /// Creates the result and the context, sends with `send` (one of the
  /// forms above) and hands the result out. On a failed hand-over both are
  /// freed, `*result` is null and the hand-over status is returned.
  template <typename Send>
  [[nodiscard]] HRESULT StartRequest(RequestType type, std::string subject, boost::any extra, Send&& send,
                                     AsyncResult** result);

 private:
  void OpenConnections(std::string authPro, std::string phpSessionId);
  /// Moving and copying a file send the same body to different paths.
  [[nodiscard]] HRESULT SendFileTransfer(RequestType type, const char* path, const ItemInfo& item,
                                         const ContainerInfo& targetParent, std::uint32_t overrideFlag,
                                         AsyncResult** result);

  /// The session value the transfer paths carry as "a=".
  [[nodiscard]] std::string TransferAuth() const { return transfer_->AuthPro(); }

  [[nodiscard]] HRESULT SendShare(const char* path, const ContainerInfo& container,
                                  const std::vector<BuddyInfo>& buddies, AsyncResult** result);
  [[nodiscard]] HRESULT SendLinkValidity(RequestType type, const char* pathStart, const ItemInfo& item,
                                         std::uint32_t validity, const std::string& expiry, AsyncResult** result);

  std::string apiBaseUrl_;
  std::string dataBaseUrl_;
  std::string rootName_;
  std::unique_ptr<HttpRequestor> api_;
  std::unique_ptr<HttpRequestor> transfer_;
  /// Sends the chunks of a group call whose ChunkGroupCall holds the bytes.
  [[nodiscard]] HRESULT SendChunkGroup(RequestType type, const ItemInfo& item, const std::string& streamId,
                                       std::uint64_t offset, std::uint32_t length, std::uint32_t chunkSize,
                                       std::uint32_t window, std::shared_ptr<ChunkGroupCall> group,
                                       AsyncResult** result);
  /// The lane of a stream's chunk requests, by stream id.
  [[nodiscard]] HttpLane ChunkLane(const std::string& streamId);
  std::mutex windowsMutex_;
  std::map<std::string, std::uint32_t> windows_;
  HRESULT initStatus_ = S_OK;
  bool subAccount_ = false;
};

template <typename Send>
HRESULT KorvexDataStoreRemote::StartRequest(RequestType type, std::string subject, boost::any extra, Send&& send,
                                            AsyncResult** result) {
  if (result) *result = nullptr;
  if (!result) return E_POINTER;
  if (Failed(initStatus_)) return initStatus_;
  AsyncResult* asyncResult = nullptr;
  HRESULT hr = AsyncResult::Create(kAsyncPending, &asyncResult);
  if (Failed(hr)) return hr;
  std::unique_ptr<RequestContext> context;
  try {
    context = std::make_unique<RequestContext>(type, asyncResult, std::move(subject));
    context->extra = std::move(extra);
    hr = send(context.get());
  } catch (...) {
    hr = E_OUTOFMEMORY;
  }
  if (Failed(hr)) {
    // Nothing was sent, so no completion will free the context.
    context.reset();
    asyncResult->Release();
    return hr;
  }
  // The completion routine owns the context from the hand-over on.
  (void)context.release();
  *result = asyncResult;
  return S_OK;
}

}  // namespace korvex
