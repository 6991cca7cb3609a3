// Block transfers: upload preparation, blocks and completion; download
// preparation and blocks; the server-side MD5 of a file.
#include "RouteSupport.h"
#include "Transfers.h"

namespace korvexd {
namespace {

/// The range a block request names: "x-korvex-range" first, else "range".
std::optional<ByteRange> RequestRange(const Request& req) {
  std::string text = req.Header("x-korvex-range");
  if (text.empty()) text = req.Header("range");
  if (text.empty()) return std::nullopt;
  return ParseByteRange(text);
}

void PreUpload(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto dirId = FormId(call, "dirid");
  if (dirId && !service.catalog().DirById(*dirId)) return ReplyText(call.res, "-7");
  auto dir = VisibleDir(service, call, dirId, mask);
  if (!dir) return;
  if (dir->isVirtual || !rights::CanUpload(mask))
    return ReplyRefusal(call.res, state::kNoCreateFileRight, "No permission to create a new file");
  auto request = ReadUploadRequest(call);
  if (!request) return;
  request->mayReplace = rights::CanModify(mask);
  PrepareUpload(service, call, *dir, *request);
}

/// Upload paths carry their parameters after a "/" instead of a "?".
void UploadBlock(Service& service, Call& call) {
  auto fileId = PathId(call.req, 1);
  Form params = ParseForm(call.req.matches[3].str());
  auto transfer = FindTransfer(service, params["t"]);
  if (!fileId || !transfer || !transfer->upload || !TransferAllows(*transfer, *fileId, params["a"]))
    return ReplyRefusal(call.res, state::kBadUpload, "Illegal upload request");
  auto file = service.catalog().FileById(*fileId);
  if (!file || file->state != 1) return ReplyRefusal(call.res, state::kBadUpload, "The upload is not open");
  if (!TransferStillValid(service, *transfer, *file))
    return ReplyRefusal(call.res, state::kBadUpload, "The upload's token has expired or lost its right");
  // Upload ranges end exclusively: "bytes=0-1048576" carries 1048576 bytes.
  auto range = RequestRange(call.req);
  if (!range) return ReplyRefusal(call.res, state::kBadRequest, "range header missing or invalid");
  if (range->last - range->first != BodyLength(call))
    return ReplyRefusal(call.res, state::kBadRequest, "range does not match the body length");
  if (range->last > static_cast<std::uint64_t>(file->size))
    return ReplyRefusal(call.res, state::kBadRequest, "range beyond the declared size");
  if (!StoreUploadBytes(service, call, file->id, range->first, false)) return ReplyHttpError(call.res, 500, "cannot store the block");
  ReplyOk(call.res);
}

/// A block whose header UploadBlock would accept goes into the file as it arrives.
std::optional<BodyPlace> PlaceBlock(Service& service, const Request& req) {
  auto fileId = PathId(req, 1);
  Form params = ParseForm(req.matches[3].str());
  auto transfer = FindTransfer(service, params["t"]);
  if (!fileId || !transfer || !transfer->upload || !TransferAllows(*transfer, *fileId, params["a"])) return std::nullopt;
  auto file = service.catalog().FileById(*fileId);
  auto range = RequestRange(req);
  auto length = ParseU64(req.Header("Content-Length"));
  if (!file || !TransferStillValid(service, *transfer, *file) || !range || !length ||
      range->last - range->first != *length || range->last > static_cast<std::uint64_t>(file->size))
    return std::nullopt;
  return PlaceUploadBytes(service, file->id, range->first, *length);
}

void UploadOver(Service& service, Call& call) {
  auto fileId = PathId(call.req, 1);
  if (!fileId) return ReplyRefusal(call.res, state::kBadRequest, "file id missing");
  FinishUpload(service, call, *fileId, call.form["t"], call.form["a"]);
}

void PreDownload(Service& service, Call& call) {
  std::uint32_t mask = 0;
  auto id = PathId(call.req, 1);
  auto file = id ? service.catalog().FileById(*id) : std::nullopt;
  if (!file || file->state != 0) {
    // The client reads a "deleted" token as "the file is gone".
    SetCookie(call.res, "TOKEN", "deleted");
    return ReplyRefusal(call.res, state::kFileMissing, "File is not found");
  }
  if (!VisibleFile(service, call, id, mask)) return;
  if (!rights::CanDownload(mask)) return ReplyRefusal(call.res, state::kBadDownload, "Illegal download request");
  std::string token = NewTransfer(service, file->id, false, call.session);
  SetCookie(call.res, "TOKEN", token);
  ReplyOk(call.res, {{"fileid", std::to_string(file->id)},
                     {"filename", file->name},
                     {"size", std::to_string(file->size)},
                     {"md5", file->md5},
                     {"token", token}});
}

/// A download token, or an upload token for the file being uploaded.
std::optional<File> DataFile(Service& service, Call& call) {
  auto fileId = PathId(call.req, 1);
  auto transfer = FindTransfer(service, call.form["t"]);
  if (!fileId || !transfer || !TransferAllows(*transfer, *fileId, call.form["a"])) {
    ReplyHttpError(call.res, 403, "invalid token");
    return std::nullopt;
  }
  auto file = service.catalog().FileById(*fileId);
  if (!file) {
    ReplyHttpError(call.res, 404, "file not found");
  } else if (!TransferStillValid(service, *transfer, *file)) {
    ReplyHttpError(call.res, 403, "token expired or no longer allowed");
    return std::nullopt;
  }
  return file;
}

void DownloadBlock(Service& service, Call& call) {
  auto file = DataFile(service, call);
  if (!file) return;
  std::uint64_t size = static_cast<std::uint64_t>(file->size);
  // Download ranges end inclusively: "bytes=0-1048575" asks for 1048576 bytes.
  std::uint64_t first = 0, last = size == 0 ? 0 : size - 1;
  bool ranged = false;
  if (call.req.HasHeader("range") || call.req.HasHeader("x-korvex-range")) {
    auto range = RequestRange(call.req);
    if (!range) return ReplyHttpError(call.res, 416, "bad range");
    if (range->first >= size) return ReplyHttpError(call.res, 416, "range beyond the end of the file");
    first = range->first;
    last = std::min(range->last, size - 1);
    ranged = true;
  }
  std::optional<FileSlice> data = FileSlice{};
  if (size > 0) data = SliceAt(service.catalog().BlobPath(file->id), first, last - first + 1);
  if (!data) return ReplyHttpError(call.res, 500, "cannot read the file");
  call.res.status = ranged ? 206 : 200;
  if (ranged) {
    call.res.SetHeader("Content-Range", "bytes " + std::to_string(first) + "-" + std::to_string(last) + "/" +
                                             std::to_string(size));
  }
  call.res.SetFile(std::move(*data), "application/octet-stream");
}

void Md5Sum(Service& service, Call& call) {
  auto file = DataFile(service, call);
  if (!file) return;
  if (file->state != 0 || file->md5.empty()) service.db().Settle();  // hashing may take long
  std::string md5 = file->state == 0 && !file->md5.empty() ? file->md5
                                                           : service.catalog().ComputeMd5(file->id, file->size);
  ReplyOk(call.res, {{"md5sum", md5}, {"fileid", std::to_string(file->id)}});
}

}  // namespace

void AddBlockRoutes(Service& service) {
  auto bind = [&service](void (*fn)(Service&, Call&)) {
    return [&service, fn](Call& call) { fn(service, call); };
  };
  service.Route("POST", "/file/preupload", Access::kAccount, bind(PreUpload));
  service.RouteUpload("POST", R"(/file/uploadblock/(\d+)([^/]*)/(.*))", bind(UploadBlock),
                      [&service](const Request& req) { return PlaceBlock(service, req); });
  service.Route("GET", R"(/file/uploadover/([^/]*)/([^/]*))", Access::kData, bind(UploadOver));
  service.Route("GET", R"(/file/predownloadnoredirect/([^/]*))", Access::kAccount, bind(PreDownload));
  service.Route("GET", R"(/file/downloadblock/([^/]*))", Access::kData, bind(DownloadBlock));
  service.Route("GET", R"(/file/md5sum/([^/]*))", Access::kData, bind(Md5Sum));
}

}  // namespace korvexd
