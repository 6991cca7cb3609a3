// Upload and download tokens and byte I/O on file contents.
#include "Transfers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "RouteSupport.h"

namespace korvexd {
namespace {

// A single file above this size is refused with -2; the quota still applies below it.
constexpr std::int64_t kMaxFileSize = 1LL << 40;

}  // namespace

std::optional<Transfer> FindTransfer(Service& service, const std::string& token) {
  if (token.empty()) return std::nullopt;
  auto rows = service.db().Query("SELECT file_id, upload, auth, code_id FROM transfers WHERE token=?", {token});
  if (rows.empty()) return std::nullopt;
  return Transfer{token, rows[0].Int(0), rows[0].Int(1) != 0, rows[0].Text(2), rows[0].Int(3)};
}

bool TransferAllows(const Transfer& transfer, std::int64_t fileId, const std::string& auth) {
  if (transfer.fileId != fileId) return false;
  // A code visitor's requestor may or may not carry the cookies of the code
  // login; the code prepared the token, so its "a=" proves nothing either way.
  return auth == transfer.auth || transfer.codeId != 0;
}

std::string NewTransfer(Service& service, std::int64_t fileId, bool upload, const Session& session) {
  std::string token = RandomHex(16);
  service.db().Exec("INSERT INTO transfers(token, file_id, upload, auth, code_id, created) VALUES(?,?,?,?,?,?)",
                    {token, fileId, std::int64_t{upload ? 1 : 0}, session.auth, session.codeId, NowSeconds()});
  return token;
}

std::optional<UploadRequest> ReadUploadRequest(Call& call) {
  UploadRequest request;
  request.name = call.form["filename"];
  auto size = ParseI64(call.form["size"]);
  auto mtime = ParseI64(call.form["lastmodifytime"]);
  if (!size || *size < 0) {
    ReplyRefusal(call.res, state::kBadRequest, "size missing or invalid");
    return std::nullopt;
  }
  if (*size == 0) {
    ReplyRefusal(call.res, state::kEmptyUpload, "The uploaded file could not be null");
    return std::nullopt;
  }
  request.size = *size;
  request.mtime = mtime && *mtime > 0 ? *mtime : NowSeconds();
  request.sec = call.form["sec"] == "1" ? 1 : 0;
  request.override = call.form["over_ride"] == "1";
  return request;
}

void PrepareUpload(Service& service, Call& call, const Dir& dir, const UploadRequest& request) {
  if (!IsValidName(request.name)) return ReplyText(call.res, "-3");
  if (request.size > kMaxFileSize) return ReplyText(call.res, "-2");
  if (!HasSpace(service, dir.owner, request.size)) return ReplyText(call.res, "-1");
  Catalog& catalog = service.catalog();
  File file;
  file.dir = dir.id;
  file.owner = dir.owner;
  file.name = request.name;
  file.size = request.size;
  file.mtime = request.mtime;
  file.ctime = NowSeconds();
  file.state = 1;
  file.sec = request.sec;
  bool exists = false;
  std::int64_t id = 0;
  // The name check and the new record form one transaction, so two clients
  // racing for one name cannot both pass the check.
  service.db().Transaction([&] {
    if (catalog.CompleteFileByName(dir.id, request.name) && !request.override) {
      exists = true;
      return true;
    }
    // An earlier upload of the same name that never finished is replaced:
    // its client has started over.
    for (const Row& r : service.db().Query(
             "SELECT id FROM files WHERE dir=? AND name=? COLLATE NOCASE AND state=1", {dir.id, request.name})) {
      service.streams().DropFile(r.Int(0));
      catalog.DeleteFile(r.Int(0));
    }
    id = catalog.AddFile(file);
    return id != 0;
  });
  if (exists) return ReplyText(call.res, "-4");
  if (id == 0) return ReplyHttpError(call.res, 500, "database failure");
  int fd = ::open(catalog.BlobPath(id).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (fd < 0) {
    catalog.DeleteFile(id);
    return ReplyHttpError(call.res, 500, "cannot create the file's contents");
  }
  ::close(fd);
  SetCookie(call.res, "TOKEN", NewTransfer(service, id, true, call.session));
  ReplyText(call.res, std::to_string(id) + ExtensionOf(request.name));
}

void FinishUpload(Service& service, Call& call, std::int64_t fileId, const std::string& token,
                  const std::string& auth) {
  auto transfer = FindTransfer(service, token);
  if (!transfer || !transfer->upload || !TransferAllows(*transfer, fileId, auth))
    return ReplyRefusal(call.res, state::kBadUpload, "Illegal upload request");
  auto file = service.catalog().FileById(fileId);
  if (!file) return ReplyRefusal(call.res, state::kFileMissing, "File is not found");
  if (file->state == 0) return ReplyText(call.res, "1");  // a repeated completion after a lost answer
  std::uint64_t stored = StoredSize(service.catalog().BlobPath(fileId));
  if (stored != static_cast<std::uint64_t>(file->size)) {
    return ReplyRefusal(call.res, state::kBadUpload,
                        "upload incomplete: " + std::to_string(stored) + " of " + std::to_string(file->size) +
                            " bytes");
  }
  std::string md5 = service.catalog().ComputeMd5(fileId, file->size);
  bool ok = service.db().Transaction([&] {
    // The replaced file goes only now, so that an abandoned upload with
    // override never costs the user the old file.
    for (const Row& r : service.db().Query(
             "SELECT id FROM files WHERE dir=? AND name=? COLLATE NOCASE AND state=0 AND id<>?",
             {file->dir, file->name, fileId})) {
      service.streams().DropFile(r.Int(0));
      service.catalog().DeleteFile(r.Int(0));
    }
    return service.db().Exec("UPDATE files SET state=0, md5=? WHERE id=?", {md5, fileId});
  });
  if (!ok) return ReplyHttpError(call.res, 500, "database failure");
  service.streams().DropFile(fileId);
  ReplyText(call.res, "1");
}

bool WriteAt(const std::filesystem::path& path, std::uint64_t offset, const std::string& data) {
  // Never created here: contents exist from the upload's preparation on, so
  // a late chunk for a deleted file cannot bring back an orphan.
  int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::pwrite(fd, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
    if (n <= 0) {
      ::close(fd);
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return ::close(fd) == 0;
}

bool ReadAt(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t length, std::string& out) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  out.resize(static_cast<std::size_t>(length));
  std::size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
    if (n < 0) {
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  out.resize(done);
  ::close(fd);
  return true;
}

std::uint64_t StoredSize(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

}  // namespace korvexd
