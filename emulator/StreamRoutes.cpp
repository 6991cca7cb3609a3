// Stream transfers: open a stream on a byte range, move numbered chunks,
// close it with the MD5 of the whole range.
//
// Outcomes travel in "x-korvexws-idt-status: code=N": 2000 success; 4000 a
// malformed request; 4001 an unknown stream; 4002 a range outside the
// stream or the file; 4003 a refused token; 4004 a file that is gone; 4005
// a request against the stream's direction; 5000 a storage failure.
#include <functional>

#include "RouteSupport.h"
#include "Transfers.h"

namespace korvexd {
namespace {

constexpr int kOk = 2000, kMalformed = 4000, kUnknownStream = 4001, kBadRange = 4002, kBadToken = 4003,
              kGone = 4004, kWrongDirection = 4005, kStorage = 5000;
constexpr std::uint64_t kMaxChunk = 16u << 20;
// Received chunks are tracked one bit each, so a stream holds a bounded count.
constexpr std::uint64_t kMaxChunksPerStream = 1u << 20;

void StreamStatus(Response& res, int code, const std::string& streamId = {}) {
  res.SetHeader("x-korvexws-idt-status", "code=" + std::to_string(code));
  if (!streamId.empty()) res.SetHeader("x-korvexws-idt-stream-id", streamId);
}

void StreamRefusal(Call& call, int code, const std::string& message) {
  ReplyRefusal(call.res, code, message);
  StreamStatus(call.res, code);
}

void Open(Service& service, Call& call) {
  auto fileId = PathId(call.req, 1);
  std::string type = call.form["stream_type"];
  auto range = ParseByteRange(call.form["stream_range"]);
  auto chunk = ParseU64(call.form["chunk_size"]);
  if (!fileId || (type != "read" && type != "write") || !range || !chunk || *chunk == 0 || *chunk > kMaxChunk)
    return StreamRefusal(call, kMalformed, "malformed stream request");
  const std::uint64_t generation = service.db().Generation();
  const std::int64_t second = NowSeconds();
  auto transfer = FindTransfer(service, call.form["token"]);
  if (!transfer || transfer->fileId != *fileId) return StreamRefusal(call, kBadToken, "token refused");
  auto file = service.catalog().FileById(*fileId);
  if (!file) return StreamRefusal(call, kGone, "file not found");
  if (!TransferStillValid(service, *transfer, *file)) return StreamRefusal(call, kBadToken, "token expired or no longer allowed");
  bool write = type == "write";
  if (write != transfer->upload || (write && file->state != 1) || (!write && file->state != 0))
    return StreamRefusal(call, kWrongDirection, "stream direction does not fit the token or the file");
  if (range->last >= static_cast<std::uint64_t>(file->size)) return StreamRefusal(call, kBadRange, "range beyond the file");
  StreamInfo info{{}, file->id, transfer->token, write, range->first, range->last, static_cast<std::uint32_t>(*chunk)};
  if (info.ChunkCount() > kMaxChunksPerStream) return StreamRefusal(call, kMalformed, "too many chunks in one stream");
  std::string id = service.streams().Open(std::move(info));
  // The token was judged just now, and the stream's own row is the one
  // change since: the stream's first chunks, which follow at once, need not
  // judge it again.
  if (service.db().Generation() == generation + 1) service.streams().Judged(id, generation + 1, second);
  ReplyOk(call.res, {{"stream_id", id}, {"chunk_sequence_next", 0}});
  StreamStatus(call.res, kOk, id);
}

/// The stream's token is judged again on every request, so that a withdrawn
/// share or a deleted code takes effect at once; a stream ends with it.
/// Every limit of a token is a database row or a whole second, so a verdict
/// holds for the rest of its second while nothing in the database changes:
/// chunks that follow each other closely are judged once.
bool TokenStillGood(Service& service, const StreamInfo& stream) {
  const std::uint64_t generation = service.db().Generation();
  const std::int64_t second = NowSeconds();
  if (service.streams().JudgedAlready(stream.id, generation, second)) return true;
  auto transfer = FindTransfer(service, stream.token);
  auto file = transfer ? service.catalog().FileById(stream.fileId) : std::nullopt;
  if (!file || !TransferStillValid(service, *transfer, *file)) return false;
  // A change made while judging (a session kept alive) leaves the verdict unremembered.
  if (service.db().Generation() == generation) service.streams().Judged(stream.id, generation, second);
  return true;
}

bool StillAllowed(Service& service, const StreamInfo& stream) {
  if (TokenStillGood(service, stream)) return true;
  service.streams().Close(stream.id);
  return false;
}

/// The stream and chunk a chunk request names; refuses and returns nullopt
/// when they do not fit together.
struct Chunk {
  StreamInfo stream;
  std::uint64_t first = 0, last = 0, sequence = 0;
};
std::optional<Chunk> ReadChunkHeaders(Service& service, Call& call, bool write) {
  const Request& req = call.req;
  auto fileId = PathId(req, 1);
  auto stream = service.streams().Find(req.Header("x-korvexws-idt-stream-id"));
  // A body placed in the file as it arrived had the stream's token judged
  // when its header came, a moment ago.
  bool judged = req.stored != nullptr;
  if (!stream || !fileId || stream->fileId != *fileId || (!judged && !StillAllowed(service, *stream))) {
    StreamRefusal(call, kUnknownStream, "unknown stream");
    return std::nullopt;
  }
  if (stream->write != write) {
    StreamRefusal(call, kWrongDirection, "stream opened for the other direction");
    return std::nullopt;
  }
  auto range = ParseByteRange(req.Header("x-korvexws-idt-chunk-range"));
  auto sequence = ParseU64(req.Header("x-korvexws-idt-chunk-sequence"));
  if (!range || !sequence) {
    StreamRefusal(call, kMalformed, "chunk range or sequence missing");
    return std::nullopt;
  }
  if (range->first < stream->first || range->last > stream->last ||
      range->last - range->first + 1 > stream->chunkSize || *sequence >= stream->ChunkCount()) {
    StreamRefusal(call, kBadRange, "chunk outside its stream");
    return std::nullopt;
  }
  return Chunk{*stream, range->first, range->last, *sequence};
}

void Write(Service& service, Call& call) {
  auto chunk = ReadChunkHeaders(service, call, true);
  if (!chunk) return;
  if (BodyLength(call) != chunk->last - chunk->first + 1) return StreamRefusal(call, kBadRange, "body length differs from the chunk range");
  // A stream's chunks are recorded in batches; its close writes them.
  if (!StoreUploadBytes(service, call, chunk->stream.fileId, chunk->first, true))
    return StreamRefusal(call, kGone, "file gone or not writable");
  std::uint64_t next = service.streams().MarkChunk(chunk->stream.id, chunk->sequence);
  service.streams().HashArrived(chunk->stream.id, service.catalog().BlobPath(chunk->stream.fileId));
  ReplyOk(call.res);
  StreamStatus(call.res, kOk, chunk->stream.id);
  call.res.SetHeader("x-korvexws-idt-chunk-sequence-next", std::to_string(next));
  call.res.SetHeader("x-korvexws-idt-chunk-range", call.req.Header("x-korvexws-idt-chunk-range"));
}

/// A chunk whose header Write would accept goes into the file as it arrives.
std::optional<BodyPlace> JudgeAndPlaceChunk(Service& service, const Request& req) {
  auto fileId = PathId(req, 1);
  auto stream = service.streams().Find(req.Header("x-korvexws-idt-stream-id"));
  if (!fileId || !stream || !stream->write || stream->fileId != *fileId) return std::nullopt;
  auto range = ParseByteRange(req.Header("x-korvexws-idt-chunk-range"));
  auto length = ParseU64(req.Header("Content-Length"));
  if (!range || !length || range->first < stream->first || range->last > stream->last ||
      range->last - range->first + 1 != *length || *length > stream->chunkSize || !TokenStillGood(service, *stream))
    return std::nullopt;
  return PlaceUploadBytes(service, stream->fileId, range->first, *length);
}

/// Chunks come thousands of times a second: a chunk whose token must be
/// judged is checked in one read of the database rather than a handful.
void CheckChunk(Service& service, const Request& req, const std::function<void()>& checks) {
  const std::string stream = req.Header("x-korvexws-idt-stream-id");
  if (service.streams().JudgedAlready(stream, service.db().Generation(), NowSeconds())) return checks();
  service.db().ReadTogether(checks);
}

std::optional<BodyPlace> PlaceChunk(Service& service, const Request& req) {
  std::optional<BodyPlace> place;
  CheckChunk(service, req, [&] { place = JudgeAndPlaceChunk(service, req); });
  return place;
}

void Read(Service& service, Call& call) {
  std::optional<Chunk> chunk;
  CheckChunk(service, call.req, [&] { chunk = ReadChunkHeaders(service, call, false); });
  if (!chunk) return;
  auto data = SliceAt(service.catalog().BlobPath(chunk->stream.fileId), chunk->first, chunk->last - chunk->first + 1);
  if (!data) return StreamRefusal(call, kGone, "file not found");
  std::uint64_t next = service.streams().MarkChunk(chunk->stream.id, chunk->sequence);
  call.res.status = 200;
  call.res.SetFile(std::move(*data), "application/octet-stream");
  StreamStatus(call.res, kOk, chunk->stream.id);
  call.res.SetHeader("x-korvexws-idt-chunk-sequence-next", std::to_string(next));
  call.res.SetHeader("x-korvexws-idt-chunk-range", call.req.Header("x-korvexws-idt-chunk-range"));
}

/// The MD5 of a stream's range: hashed as its chunks arrived, remembered
/// from an earlier close over the same bytes, or else read and hashed.
std::string StreamMd5(Service& service, const StreamInfo& stream) {
  WriteGate& gate = service.writeGate();
  std::string md5 = gate.RememberedMd5(stream.fileId, stream.first, stream.last);
  if (!md5.empty()) return md5;
  auto mark = gate.QuietMark(stream.fileId, stream.first, stream.last);
  std::filesystem::path blob = service.catalog().BlobPath(stream.fileId);
  md5 = service.streams().ArrivedMd5(stream.id, blob);
  if (md5.empty()) {
    service.db().Settle();  // reading the range back may take long
    md5 = FileRangeMd5(blob, stream.first, stream.last - stream.first + 1);
  }
  if (mark && !md5.empty()) gate.RememberMd5(stream.fileId, stream.first, stream.last, md5, *mark);
  return md5;
}

void Close(Service& service, Call& call) {
  auto fileId = PathId(call.req, 1);
  std::string id = call.form["stream_id"];
  auto stream = service.streams().Find(id);
  if (!stream || !fileId || stream->fileId != *fileId) return StreamRefusal(call, kUnknownStream, "unknown stream");
  auto file = service.catalog().FileById(stream->fileId);
  if (!file) {
    service.streams().Close(id);
    return StreamRefusal(call, kGone, "file not found");
  }
  if (!StillAllowed(service, *stream)) return StreamRefusal(call, kUnknownStream, "unknown stream");
  if (stream->write) FlushReceived(service);  // a read stream has recorded nothing
  std::string md5 = StreamMd5(service, *stream);
  if (md5.empty()) return StreamRefusal(call, kStorage, "cannot read the stream's bytes");
  service.streams().Close(id);
  ReplyOk(call.res, {{"stream_id", id}, {"stream_md5", md5}});
  StreamStatus(call.res, kOk, id);
}

}  // namespace

void AddStreamRoutes(Service& service) {
  auto bind = [&service](void (*fn)(Service&, Call&)) {
    return [&service, fn](Call& call) { fn(service, call); };
  };
  service.Route("POST", R"(/idtv1/stream/open/([^/]*))", Access::kData, bind(Open));
  service.RouteUpload("POST", R"(/idtv1/stream/write/([^/]*))", bind(Write),
                      [&service](const Request& req) { return PlaceChunk(service, req); });
  service.Route("GET", R"(/idtv1/stream/read/([^/]*))", Access::kData, bind(Read));
  service.Route("POST", R"(/idtv1/stream/close/([^/]*))", Access::kData, bind(Close));
}

}  // namespace korvexd
