//===- service/StreamGroups.cpp - A stream's chunks under one result ------===//
//
// A bulk transfer moves a file as 1 MiB streams of 32 KiB chunks. One result
// per chunk cost a buffer, a copy and a wake-up of the caller's thread for
// every chunk; a group call hands the whole stream over at once, the
// transport reads into and sends from the caller's buffer, and the caller
// wakes once per stream. On the wire nothing changes: the same requests, in
// the stream's lane, so at most `window` are in flight and in order.
//
//===----------------------------------------------------------------------===//

#include "service/KorvexDataStoreRemote.h"
#include "service/RequestSupport.h"
#include "service/RequestText.h"
#include "service/TransferAnswers.h"
#include "service/TransferText.h"

namespace korvex {

HRESULT KorvexDataStoreRemote::ReadChunks(const ItemInfo& item, const std::string& streamId, std::uint64_t offset,
                                          std::uint32_t length, std::uint32_t chunkSize, std::uint32_t window,
                                          std::unique_ptr<std::uint8_t[]>& buffer,
                                          std::shared_ptr<std::atomic<std::uint32_t>> moved, AsyncResult** result) {
  return Guarded(result, [&] {
    if (!buffer) return NotStarted(result, E_INVALIDARG);
    auto group = std::make_shared<ChunkGroupCall>();
    group->received = std::move(buffer);
    group->moved = std::move(moved);
    const HRESULT hr = SendChunkGroup(hrtReadChunk, item, streamId, offset, length, chunkSize, window, group, result);
    // Not started: the caller keeps its buffer.
    if (Failed(hr)) buffer = std::move(group->received);
    return hr;
  });
}

HRESULT KorvexDataStoreRemote::WriteChunks(const ItemInfo& item, std::shared_ptr<const std::uint8_t[]> data,
                                           const std::string& streamId, std::uint64_t offset, std::uint32_t length,
                                           std::uint32_t chunkSize, std::uint32_t window,
                                           std::shared_ptr<std::atomic<std::uint32_t>> moved, AsyncResult** result) {
  return Guarded(result, [&] {
    if (!data) return NotStarted(result, E_INVALIDARG);
    auto group = std::make_shared<ChunkGroupCall>();
    group->sent = std::move(data);
    group->moved = std::move(moved);
    return SendChunkGroup(hrtWriteChunk, item, streamId, offset, length, chunkSize, window, std::move(group), result);
  });
}

HRESULT KorvexDataStoreRemote::SendChunkGroup(RequestType type, const ItemInfo& item, const std::string& streamId,
                                              std::uint64_t offset, std::uint32_t length, std::uint32_t chunkSize,
                                              std::uint32_t window, std::shared_ptr<ChunkGroupCall> group,
                                              AsyncResult** result) {
  if (result) *result = nullptr;
  if (!result) return E_POINTER;
  if (Failed(initStatus_)) return initStatus_;
  const std::uint64_t* id = ServiceId(item.tag, item.uri);
  if (!id || length == 0 || chunkSize == 0 || window == 0) return E_INVALIDARG;
  const bool read = type == hrtReadChunk;
  const std::string path = FillTemplate(read ? "/idtv1/stream/read/%1%" : "/idtv1/stream/write/%1%", *id);
  const std::uint32_t chunks = (length + chunkSize - 1) / chunkSize;
  const HttpLane lane{"stream:" + streamId, window};
  AsyncResult* asyncResult = nullptr;
  if (const HRESULT hr = AsyncResult::Create(kAsyncPending, &asyncResult); Failed(hr)) return hr;
  // Counted before the first hand-over: an early answer must not end the call.
  group->remaining = chunks;
  for (std::uint32_t sequence = 0; sequence < chunks; ++sequence) {
    const std::uint32_t at = sequence * chunkSize;
    const std::uint32_t size = std::min(chunkSize, length - at);
    const std::uint64_t first = offset + at;
    auto context = std::make_unique<RequestContext>(type, asyncResult, std::string());
    context->lane = lane;
    context->group = group;
    HRESULT hr = S_OK;
    if (read) {
      context->extra = size;
      context->place.receiveInto = group->received.get() + at;
      context->place.receiveCapacity = size;
      context->place.received = &context->received;
      hr = Dispatch(Connection::kTransfer, path, "GET", ChunkHeaders(first, first + size - 1, first + size - 1,
                                                                     streamId, sequence),
                    nullptr, 0, size, context.get());
    } else {
      context->place.sendOwner = group->sent;
      hr = Dispatch(Connection::kTransfer, path, "POST",
                    ChunkHeaders(first, first + size, first + size - 1, streamId, sequence), group->sent.get() + at,
                    size, 0, context.get());
    }
    if (Failed(hr)) {
      if (sequence == 0) {
        asyncResult->Release();
        return hr;
      }
      // Chunks are on their way: the call is under way and fails with it.
      if (!group->ended.exchange(true)) asyncResult->Complete(hr);
      break;
    }
    (void)context.release();  // the completion owns it now
  }
  *result = asyncResult;
  return S_OK;
}

}  // namespace korvex
