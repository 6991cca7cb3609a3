//===- service/StreamRequests.cpp - The stream transfer requests -------===//

#include "platform/VersionMarker.h"
#include "service/KorvexDataStoreRemote.h"
#include "service/RequestSupport.h"
#include "service/RequestText.h"
#include "service/TransferText.h"

namespace korvex {
namespace {

// Fixed by the service for this client.
constexpr const char* kStreamTokenId = "5c1e0d7a93b24f68a0e2c47d1b9f3a26";

std::string ChunkLaneKey(const std::string& streamId) { return "stream:" + streamId; }

}  // namespace

HRESULT KorvexDataStoreRemote::OpenStream(const ItemInfo& item, bool read, std::uint64_t offset, std::uint32_t length,
                                          std::uint32_t chunkSize, const std::string& token, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    // An empty range has no inclusive end to name.
    if (!id || length == 0) return NotStarted(result, E_INVALIDARG);
    // The range travels with its "=" encoded; the token as it is.
    std::string body = FillTemplate(
        "version=smb_%1%&stream_type=%2%&stream_range=bytes%%3D%3%-%4%&token_id=%5%&token=%6%&chunk_size=%7%",
        std::string(ProgramVersion()), read ? "read" : "write", offset, offset + length - 1, kStreamTokenId, token,
        chunkSize);
    std::string path = FillTemplate("/idtv1/stream/open/%1%", *id);
    return StartRequest(hrtOpenStream, {}, {},
                        [&](RequestContext* context) { return SendTransferPost(path, body, context); }, result);
  });
}

bool KorvexDataStoreRemote::SetStreamWindow(const std::string& streamId, std::uint32_t window) {
  std::lock_guard lock(windowsMutex_);
  if (window == 0) windows_.erase(streamId);
  else windows_[streamId] = window;
  return true;
}

HttpLane KorvexDataStoreRemote::ChunkLane(const std::string& streamId) {
  std::lock_guard lock(windowsMutex_);
  const auto found = windows_.find(streamId);
  return found == windows_.end() ? HttpLane{} : HttpLane{ChunkLaneKey(streamId), found->second};
}

HRESULT KorvexDataStoreRemote::CloseStream(const ItemInfo& item, const std::string& streamId, AsyncResult** result) {
  bool paced = false;
  {
    std::lock_guard lock(windowsMutex_);
    paced = windows_.erase(streamId) != 0;
  }
  // A stream closed early (a stopped transfer) gives up the chunks still
  // waiting for their turn: the service would refuse them anyway.
  if (paced && transfer_) transfer_->DropLane(ChunkLaneKey(streamId));
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    if (!id) return NotStarted(result, E_INVALIDARG);
    std::string path = FillTemplate("/idtv1/stream/close/%1%", *id);
    std::string body = "stream_id=" + streamId;
    return StartRequest(hrtCloseStream, {}, {},
                        [&](RequestContext* context) { return SendTransferPost(path, body, context); }, result);
  });
}

HRESULT KorvexDataStoreRemote::ReadChunk(const ItemInfo& item, const std::string& streamId, std::uint32_t sequence,
                                         std::uint64_t offset, std::uint32_t length, AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    if (!id || length == 0) return NotStarted(result, E_INVALIDARG);
    const std::uint64_t last = offset + length - 1;
    std::string path = FillTemplate("/idtv1/stream/read/%1%", *id);
    std::string headers = ChunkHeaders(offset, last, last, streamId, sequence);
    return StartRequest(hrtReadChunk, {}, length,
                        [&](RequestContext* context) {
                          context->lane = ChunkLane(streamId);
                          return SendTransferGet(path, headers, length, context);
                        },
                        result);
  });
}

HRESULT KorvexDataStoreRemote::WriteChunk(const ItemInfo& item, const std::uint8_t* data, const std::string& streamId,
                                          std::uint32_t sequence, std::uint64_t offset, std::uint32_t length,
                                          AsyncResult** result) {
  return Guarded(result, [&] {
    const std::uint64_t* id = ServiceId(item.tag, item.uri);
    if (!id || length == 0 || !data) return NotStarted(result, E_INVALIDARG);
    // The outer ranges end exclusively, as block uploads do; the chunk's own
    // range inclusively.
    std::string path = FillTemplate("/idtv1/stream/write/%1%", *id);
    std::string headers = ChunkHeaders(offset, offset + length, offset + length - 1, streamId, sequence);
    return StartRequest(hrtWriteChunk, {}, {},
                        [&](RequestContext* context) {
                          context->lane = ChunkLane(streamId);
                          return SendTransferRaw(path, headers, data, length, context);
                        },
                        result);
  });
}

}  // namespace korvex
