//===- service/StreamAnswers.cpp - Answers of the stream transfer requests ===//
//
// A stream answer is judged by its status header alone: a JSON body with
// "result" 0 does not by itself fail a stream request, and a missing header
// fails it.

#include "foundation/LogMgr.h"
#include "service/AnswerLookup.h"
#include "service/JsonResponse.h"
#include "service/ResultCompletion.h"
#include "service/TransferAnswers.h"

#include <cstdlib>

namespace korvex {
namespace {

constexpr const char* kStatusHeader = "x-korvexws-idt-status";

const char* Category(RequestType type) noexcept {
  switch (type) {
    case hrtOpenStream: return "OpenStream";
    case hrtCloseStream: return "CloseStream";
    case hrtReadChunk: return "ReadChunk";
    default: return "WriteChunk";
  }
}

// True on status 2000. Otherwise logs the refusal and returns its code in
// `failure` and its number in `number`.
bool StreamAccepted(const RequestContext& context, const HttpHeaderMap& headers, HRESULT& failure,
                    std::int32_t& number) {
  const auto header = headers.find(kStatusHeader);
  const std::string raw = header == headers.end() ? std::string() : header->second;
  const std::string status = HeaderAttributeValue(raw, "code");
  if (status == kStreamStatusOk) return true;
  failure = StreamStatusCode(status);
  number = static_cast<std::int32_t>(std::strtol(status.c_str(), nullptr, 10));
  LogMgr& log = LogMgr::Get();
  if (log.Admits(kLogWarn)) {
    log.Warn(Category(context.type), "Http Response Error: Context = 0x%08X, Http Status Code = %d, Http Header = %s",
             static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(&context)), number, raw.c_str());
  }
  return false;
}

// Opening and closing answer a JSON body besides the header; its verdict is
// not used, only its fields. An accepted answer without a stream id is not
// a usable stream, so it fails as a broken answer would.
void CompleteOpenOrClose(RequestContext& context, const std::string& body) {
  JsonResponse response;
  (void)CheckJsonResponse(body, response);
  const std::string* streamId = response.object ? FindString(*response.object, "stream_id") : nullptr;
  if (!streamId) {
    context.result->Complete(E_INVALIDARG);
    return;
  }
  if (context.type == hrtOpenStream) {
    std::uint64_t next = 0;
    if (const std::uint64_t* value = FindInteger(*response.object, "chunk_sequence_next")) next = *value;
    CompleteWith(*context.result, OpenStreamPayload(S_OK, *streamId, static_cast<std::uint32_t>(next)));
    return;
  }
  const std::string* md5 = FindString(*response.object, "stream_md5");
  CompleteWith(*context.result, CloseStreamPayload(S_OK, *streamId, md5 ? *md5 : std::string()));
}

}  // namespace

bool IsStreamAnswer(RequestType type) noexcept {
  return type == hrtOpenStream || type == hrtCloseStream || type == hrtReadChunk || type == hrtWriteChunk;
}

HRESULT StreamStatusCode(std::string_view streamStatus) noexcept {
  static constexpr std::pair<std::string_view, std::uint32_t> kCodes[] = {
      {"4000", 0x10}, {"4001", 0x11}, {"4002", 0x12}, {"4003", 0x13},
      {"4004", 0x14}, {"4005", 0x15}, {"5000", 0x16},
  };
  if (streamStatus == kStreamStatusOk) return S_OK;
  for (const auto& [status, number] : kCodes) {
    if (status == streamStatus) return HResultFromHttp(number);
  }
  return HR_FILE_NOT_FOUND;
}

namespace {

// Whether the answer names a refusal of its own: a status other than 2000.
bool NamesRefusal(const HttpHeaderMap& headers) {
  const auto header = headers.find(kStatusHeader);
  if (header == headers.end()) return false;
  const std::string status = HeaderAttributeValue(header->second, "code");
  return !status.empty() && status != kStreamStatusOk;
}

}  // namespace

void CompleteStreamAnswer(RequestContext& context, const std::string& body, const HttpHeaderMap& headers) {
  // A short chunk fails as such, unless the service refused the read and
  // said why: a refusal's body is always short, and its own code (an unknown
  // stream, a refused token, a file that is gone) is what the caller acts on.
  if (context.type == hrtReadChunk && !NamesRefusal(headers) && !CheckReadLength(context, body, "ReadChunk")) return;
  HRESULT failure = S_OK;
  std::int32_t number = 0;
  if (!StreamAccepted(context, headers, failure, number)) {
    if (context.type == hrtReadChunk || context.type == hrtWriteChunk) {
      CompleteWith(*context.result, StreamFailurePayload(failure, number));
    } else {
      context.result->Complete(failure);
    }
    return;
  }
  switch (context.type) {
    case hrtReadChunk:
      return CompleteWithReadBuffer(context, body);
    case hrtWriteChunk:
      context.result->Complete(S_OK);
      return;
    default:
      return CompleteOpenOrClose(context, body);
  }
}

void CompleteGroupChunk(RequestContext& context, HRESULT status, const HttpHeaderMap& headers) {
  ChunkGroupCall& group = *context.group;
  HRESULT failure = status;
  std::int32_t number = 0;
  if (Succeeded(failure)) {
    const std::uint32_t asked = AskedLength(context);
    if (context.type == hrtReadChunk && !NamesRefusal(headers) && context.received < asked) {
      LogMgr::Get().Error("ReadChunk", "get file data, need %u, but server give me %zu", asked, context.received);
      failure = HR_SHORT_READ;
    } else {
      (void)StreamAccepted(context, headers, failure, number);
    }
  }
  if (Failed(failure)) {
    if (!group.ended.exchange(true)) CompleteWith(*context.result, StreamFailurePayload(failure, number));
    return;
  }
  if (group.moved) group.moved->fetch_add(1);
  if (group.remaining.fetch_sub(1) != 1 || group.ended.exchange(true)) return;
  if (context.type == hrtReadChunk) {
    CompleteWith(*context.result, ReadBufferPayload(S_OK, group.received.release()));
  } else {
    context.result->Complete(S_OK);
  }
}

}  // namespace korvex
