// Upload and download tokens and byte I/O on file contents.
#include "Transfers.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <tuple>
#include <vector>
#include <cstdio>

#include "RouteSupport.h"

namespace korvexd {
namespace {

// A single file above this size is refused with -2; the quota still applies below it.
constexpr std::int64_t kMaxFileSize = 1LL << 40;
// Files up to this size are hashed at completion without letting the
// database go: that costs less than a second transaction.
constexpr std::int64_t kQuickHash = 256 * 1024;

}  // namespace

std::optional<Transfer> FindTransfer(Service& service, const std::string& token) {
  if (token.empty()) return std::nullopt;
  auto rows = service.db().Query("SELECT file_id, upload, auth, code_id, created FROM transfers WHERE token=?",
                                 {token});
  if (rows.empty()) return std::nullopt;
  return Transfer{token, rows[0].Int(0), rows[0].Int(1) != 0, rows[0].Text(2), rows[0].Int(3), rows[0].Int(4)};
}

bool TransferStillValid(Service& service, const Transfer& transfer, const File& file) {
  std::int64_t now = NowSeconds();
  if (transfer.fileId != file.id || now - transfer.created > service.options().tokenSeconds) return false;
  if (transfer.codeId != 0) {
    auto rows = service.db().Query("SELECT dir, expires FROM codes WHERE id=?", {transfer.codeId});
    return transfer.upload && !rows.empty() && rows[0].Int(1) >= now && rows[0].Int(0) == file.dir;
  }
  auto session = service.FindSession(transfer.auth);
  if (!session || session->codeId != 0) return false;
  std::uint32_t mask = service.catalog().Rights(session->userId, file.dir);
  return transfer.upload ? rights::CanUpload(mask) : rights::CanDownload(mask);
}

namespace {

/// Merges [first, end) into the file's received ranges, inside a
/// transaction. Touching or overlapping ranges merge, so a complete upload
/// is one row. A file no longer being uploaded gets none.
bool MergeReceived(Database& db, std::int64_t fileId, std::uint64_t first, std::uint64_t end) {
  auto a = static_cast<std::int64_t>(first), b = static_cast<std::int64_t>(end);
  if (db.Query("SELECT 1 FROM files WHERE id=? AND state=1", {fileId}).empty()) return true;
  const char* touching = " FROM received WHERE file_id=? AND first<=? AND end>=?";
  std::int64_t lo = a, hi = b;
  auto rows = db.Query(std::string("SELECT first, end") + touching, {fileId, b, a});
  for (const Row& r : rows) {
    lo = std::min(lo, r.Int(0));
    hi = std::max(hi, r.Int(1));
  }
  // Bytes that continue one range, as most do, just move its end.
  if (rows.size() == 1) {
    return db.Exec("UPDATE received SET first=?, end=? WHERE file_id=? AND first=?", {lo, hi, fileId, rows[0].Int(0)});
  }
  return db.Exec(std::string("DELETE") + touching, {fileId, b, a}) &&
         db.Exec("INSERT INTO received(file_id, first, end) VALUES(?,?,?)", {fileId, lo, hi});
}

}  // namespace

void RecordReceived(Service& service, std::int64_t fileId, std::uint64_t first, std::uint64_t end, bool batched) {
  if (end <= first) return;
  if (service.receipts().Add({fileId, first, end}) || !batched) FlushReceived(service);
}

void FlushReceived(Service& service) {
  Database& db = service.db();
  // Taken under the database's lock, so that whoever reads the ranges
  // after a flush of their own finds these written, not in flight.
  db.Transaction([&] {
    std::vector<Receipt> taken = service.receipts().Take();
    // A stream's chunks mostly continue each other: joined here, they cost
    // the database one range.
    std::sort(taken.begin(), taken.end(),
              [](const Receipt& x, const Receipt& y) { return std::tie(x.fileId, x.first) < std::tie(y.fileId, y.first); });
    std::vector<Receipt> joined;
    for (const Receipt& r : taken) {
      if (!joined.empty() && joined.back().fileId == r.fileId && r.first <= joined.back().end) {
        joined.back().end = std::max(joined.back().end, r.end);
      } else {
        joined.push_back(r);
      }
    }
    for (const Receipt& r : joined) {
      if (!MergeReceived(db, r.fileId, r.first, r.end))
        std::fprintf(stderr, "korvexd: cannot record bytes %llu-%llu of file %lld\n",
                     static_cast<unsigned long long>(r.first), static_cast<unsigned long long>(r.end),
                     static_cast<long long>(r.fileId));
    }
    return true;
  });
}

namespace {

/// Takes [first, end) out of an upload's received ranges.
void ForgetReceived(Service& service, std::int64_t fileId, std::uint64_t first, std::uint64_t end) {
  FlushReceived(service);
  Database& db = service.db();
  auto a = static_cast<std::int64_t>(first), b = static_cast<std::int64_t>(end);
  db.Transaction([&] {
    const char* overlapping = " FROM received WHERE file_id=? AND first<? AND end>?";
    bool ok = true;
    for (const Row& r : db.Query(std::string("SELECT first, end") + overlapping, {fileId, b, a})) {
      ok = ok && db.Exec("DELETE FROM received WHERE file_id=? AND first=?", {fileId, r.Int(0)});
      if (r.Int(0) < a) ok = ok && db.Exec("INSERT INTO received(file_id, first, end) VALUES(?,?,?)", {fileId, r.Int(0), a});
      if (r.Int(1) > b) ok = ok && db.Exec("INSERT INTO received(file_id, first, end) VALUES(?,?,?)", {fileId, b, r.Int(1)});
    }
    return ok;
  });
}

/// The file is an upload still open for bytes, and none of [first, end) has arrived.
bool UploadOpenAndUnreceived(Service& service, std::int64_t fileId, std::uint64_t first, std::uint64_t end) {
  // Gathered ranges first: one taken meanwhile is in the database by the time the query runs.
  if (service.receipts().Overlaps(fileId, first, end)) return false;
  auto rows = service.db().Query(
      "SELECT NOT EXISTS (SELECT 1 FROM received WHERE file_id=?1 AND first<?2 AND end>?3) FROM files "
      "WHERE id=?1 AND state=1",
      {fileId, static_cast<std::int64_t>(end), static_cast<std::int64_t>(first)});
  return !rows.empty() && rows[0].Int(0) == 1;
}

/// The file is an upload still open for bytes.
bool UploadOpen(Service& service, std::int64_t fileId) {
  auto file = service.catalog().FileById(fileId);
  return file && file->state == 1;
}

}  // namespace

std::optional<BodyPlace> PlaceUploadBytes(Service& service, std::int64_t fileId, std::uint64_t first,
                                          std::uint64_t length) {
  if (!service.writeGate().Enter(fileId, first, first + length)) return std::nullopt;
  std::shared_ptr<OpenFile> file;
  if (UploadOpenAndUnreceived(service, fileId, first, first + length))
    file = OpenFile::OpenForWriting(service.catalog().BlobPath(fileId).string());
  if (!file) {
    service.writeGate().Leave(fileId, first, first + length);
    return std::nullopt;
  }
  auto release = [&service, fileId, first, length](bool whole) {
    if (!whole) ForgetReceived(service, fileId, first, first + length);
    service.writeGate().Leave(fileId, first, first + length);
  };
  return BodyPlace{std::move(file), first, std::move(release)};
}

std::uint64_t BodyLength(const Call& call) { return call.req.stored ? call.req.stored->length : call.body.size(); }

bool StoreUploadBytes(Service& service, const Call& call, std::int64_t fileId, std::uint64_t first, bool batched) {
  std::filesystem::path path = service.catalog().BlobPath(fileId);
  if (const auto& stored = call.req.stored) {
    // The gate was entered when the body was placed, and is left when the request ends.
    if (!stored->Whole() || stored->place.offset != first || stored->place.file->path() != path.string()) return false;
    RecordReceived(service, fileId, first, first + stored->length, batched);
    return true;
  }
  if (!service.writeGate().Enter(fileId, first, first + call.body.size())) return false;
  // Unlike a placed body, these bytes may land on bytes that arrived before.
  service.streams().Overwritten(fileId);
  bool stored = UploadOpen(service, fileId) && WriteAt(path, first, call.body);
  if (stored) RecordReceived(service, fileId, first, first + call.body.size(), batched);
  service.writeGate().Leave(fileId, first, first + call.body.size());
  return stored;
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
  request.size = *size;
  request.mtime = mtime && *mtime > 0 ? *mtime : NowSeconds();
  request.sec = call.form["sec"] == "1" ? 1 : 0;
  request.override = call.form["over_ride"] == "1";
  return request;
}

namespace {

/// The first of "name", "name (2).ext", "name (3).ext"... that no other file
/// of the directory holds; the file's id keeps it unique when all are taken.
std::string FreeName(Service& service, const File& file) {
  std::string ext = ExtensionOf(file.name);
  std::string stem = file.name.substr(0, file.name.size() - ext.size());
  for (int n = 1; n <= 100; ++n) {
    std::string name = n == 1 ? file.name : stem + " (" + std::to_string(n) + ")" + ext;
    if (!IsValidName(name)) break;
    if (service.db().Query("SELECT 1 FROM files WHERE dir=? AND name=? COLLATE NOCASE AND id<>?",
                           {file.dir, name, file.id}).empty())
      return name;
  }
  return std::to_string(file.id) + ext;
}

bool AllReceived(Service& service, const File& file) {
  // An empty file has no blocks to wait for.
  if (file.size == 0) return true;
  FlushReceived(service);
  auto rows = service.db().Query("SELECT first, end FROM received WHERE file_id=?", {file.id});
  return rows.size() == 1 && rows[0].Int(0) == 0 && rows[0].Int(1) == file.size;
}

}  // namespace

void PrepareUpload(Service& service, Call& call, const Dir& dir, const UploadRequest& request) {
  if (!IsValidName(request.name)) return ReplyText(call.res, "-3");
  if (request.size > kMaxFileSize) return ReplyText(call.res, "-2");
  Catalog& catalog = service.catalog();
  const Session& session = call.session;
  bool visitor = session.codeId != 0;
  bool override = request.override && request.mayReplace && !visitor;
  File file;
  file.dir = dir.id;
  file.owner = dir.owner;
  file.name = request.name;
  file.size = request.size;
  file.mtime = request.mtime;
  file.ctime = NowSeconds();
  file.state = 1;
  file.sec = request.sec;
  const char* refusal = nullptr;
  std::int64_t id = 0;
  // The name check, the quota check and the new record form one
  // transaction, so two clients racing for one name or the last free bytes
  // cannot both pass.
  service.db().Transaction([&] {
    if (!visitor && !override && catalog.CompleteFileByName(dir.id, request.name)) {
      refusal = "-4";
      return true;
    }
    // The caller's own earlier upload of the name that never finished is
    // replaced: its client has started over. Nobody else's is touched.
    if (!visitor) {
      for (const Row& r : service.db().Query(
               "SELECT f.id FROM files f LEFT JOIN uploads u ON u.file_id=f.id WHERE f.dir=? AND "
               "f.name=? COLLATE NOCASE AND f.state=1 AND COALESCE(u.code_id,0)=0 AND COALESCE(u.user_id,f.owner)=?",
               {dir.id, request.name, session.userId})) {
        service.streams().DropFile(r.Int(0));
        catalog.DeleteFile(r.Int(0));
      }
    }
    if (!HasSpace(service, dir.owner, request.size)) {
      refusal = "-1";
      return true;
    }
    id = catalog.AddFile(file);
    return id != 0 && service.db().Exec("INSERT INTO uploads(file_id, user_id, code_id, override) VALUES(?,?,?,?)",
                                        {id, session.userId, session.codeId, std::int64_t{override ? 1 : 0}});
  });
  if (refusal) return ReplyText(call.res, refusal);
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
  // No byte may land in the file while it completes, nor after.
  if (!service.writeGate().BeginCompletion(fileId)) {
    auto file = service.catalog().FileById(fileId);
    if (file && file->state == 0) return ReplyText(call.res, "1");
    return ReplyRefusal(call.res, state::kBadUpload, "upload incomplete");
  }
  struct Reopen {
    WriteGate& gate;
    std::int64_t id;
    ~Reopen() { gate.EndCompletion(id); }
  } reopen{service.writeGate(), fileId};
  auto file = service.catalog().FileById(fileId);
  if (!file) return ReplyRefusal(call.res, state::kFileMissing, "File is not found");
  if (file->state == 0) return ReplyText(call.res, "1");  // a repeated completion after a lost answer
  if (!TransferStillValid(service, *transfer, *file))
    return ReplyRefusal(call.res, state::kBadUpload, "The upload's token has expired or lost its right");
  if (!AllReceived(service, *file)) return ReplyRefusal(call.res, state::kBadUpload, "upload incomplete");
  auto upload = service.db().Query("SELECT user_id, code_id, override FROM uploads WHERE file_id=?", {fileId});
  std::int64_t preparer = upload.empty() ? file->owner : upload[0].Int(0);
  bool visitor = !upload.empty() && upload[0].Int(1) != 0;
  bool override = !upload.empty() && upload[0].Int(2) != 0;
  // A file sent as one stream was hashed by its close, and nothing has
  // written into it since; otherwise it is read and hashed now, which for a
  // large file takes long and needs no database meanwhile.
  std::string md5 = file->size > 0
                        ? service.writeGate().RememberedMd5(fileId, 0, static_cast<std::uint64_t>(file->size) - 1)
                        : std::string();
  if (md5.empty()) {
    if (file->size > kQuickHash) service.db().Settle();
    md5 = service.catalog().ComputeMd5(fileId, file->size);
  }
  std::int64_t refusal = 0;
  bool ok = service.db().Transaction([&] {
    Catalog& catalog = service.catalog();
    auto clash = service.db().Query(
        "SELECT id, size FROM files WHERE dir=? AND name=? COLLATE NOCASE AND state=0 AND id<>?",
        {file->dir, file->name, fileId});
    // A visitor's file also keeps clear of uploads still in progress, so it
    // never blocks the owner's completion either.
    std::string name = visitor ? FreeName(service, *file) : file->name;
    if (visitor) {
      clash.clear();
    } else if (!clash.empty() && (!override || !rights::CanModify(catalog.Rights(preparer, file->dir)))) {
      refusal = state::kFileExists;
      return true;
    }
    // The old file goes only now, so that an abandoned upload with override
    // never costs the user the old file.
    auto user = catalog.UserById(file->owner);
    std::int64_t freed = clash.empty() ? 0 : clash[0].Int(1);
    if (!user || catalog.ChargedSpace(file->owner) - freed > user->quota) {
      refusal = state::kNoSpace;
      return true;
    }
    for (const Row& r : clash) {
      service.streams().DropFile(r.Int(0));
      catalog.DeleteFile(r.Int(0));
    }
    // The name is set only when it changes: setting it rewrites the entries
    // of both name indexes.
    bool renamed = name != file->name;
    return (renamed ? service.db().Exec("UPDATE files SET state=0, md5=?, name=? WHERE id=?", {md5, name, fileId})
                    : service.db().Exec("UPDATE files SET state=0, md5=? WHERE id=?", {md5, fileId})) &&
           service.db().Exec("DELETE FROM uploads WHERE file_id=?", {fileId}) &&
           service.db().Exec("DELETE FROM received WHERE file_id=?", {fileId});
  });
  if (refusal == state::kFileExists)
    return ReplyRefusal(call.res, refusal, "Filename already exists, please enter another one");
  if (refusal == state::kNoSpace) return ReplyRefusal(call.res, refusal, "Not enough space");
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

std::optional<FileSlice> SliceAt(const std::filesystem::path& path, std::uint64_t offset, std::uint64_t length) {
  auto file = OpenFile::Open(path.string());
  struct stat st {};
  if (!file || ::fstat(file->fd(), &st) != 0) return std::nullopt;
  // What the answer announces is what the file holds now; a later change
  // to the file cannot make the sent body disagree with its length.
  std::uint64_t stored = static_cast<std::uint64_t>(st.st_size);
  std::uint64_t available = offset < stored ? stored - offset : 0;
  return FileSlice{std::move(file), offset, std::min(length, available)};
}

std::uint64_t StoredSize(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

}  // namespace korvexd
