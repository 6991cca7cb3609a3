// The service's model over SQLite and the blob folder.
#include "Catalog.h"

#include <openssl/evp.h>

#include <algorithm>
#include <system_error>

#include "RangeMd5.h"
#include "Wire.h"

namespace korvexd {
namespace {

constexpr std::int64_t kDefaultQuota = 10LL * 1024 * 1024 * 1024;

const char* kUserColumns =
    "id, name, domain, display, email, root_dir, share_dir, is_sub, quota, joined";
const char* kDirColumns = "id, owner, parent, name, created, virtual";
const char* kFileColumns = "id, dir, owner, name, size, mtime, ctime, state, sec, md5";

User ToUser(const Row& r) {
  return User{r.Int(0), r.Text(1), r.Text(2), r.Text(3), r.Text(4),
              r.Int(5), r.Int(6), r.Int(7) != 0, r.Int(8), r.Int(9)};
}
Dir ToDir(const Row& r) {
  return Dir{r.Int(0), r.Int(1), r.Int(2), r.Text(3), r.Int(4), r.Int(5) != 0};
}
File ToFile(const Row& r) {
  return File{r.Int(0), r.Int(1), r.Int(2), r.Text(3), r.Int(4), r.Int(5),
              r.Int(6), static_cast<int>(r.Int(7)), static_cast<int>(r.Int(8)), r.Text(9)};
}

std::string Sha256Hex(const std::string& text) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_sha256(), nullptr);
  return Hex(digest, length);
}

// RFC 3629: no overlong forms, no surrogates, nothing above U+10FFFF, so
// that one name has exactly one spelling.
bool IsValidUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    auto c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    int extra = 0;
    unsigned char low = 0x80, high = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      extra = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2;
      if (c == 0xE0) low = 0xA0;
      if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3;
      if (c == 0xF0) low = 0x90;
      if (c == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (i + extra >= s.size()) return false;
    for (int k = 1; k <= extra; ++k) {
      auto next = static_cast<unsigned char>(s[i + k]);
      if (k == 1 ? (next < low || next > high) : (next & 0xC0) != 0x80) return false;
    }
    i += extra + 1;
  }
  return true;
}

// The directory and its ancestors. UNION (not UNION ALL) ends the walk
// even in a damaged tree that holds a cycle.
const char* kAncestors =
    "WITH RECURSIVE up(id) AS (SELECT ? UNION "
    "SELECT d.parent FROM dirs d JOIN up ON d.id = up.id WHERE d.parent <> 0) ";
// The same with each one's distance, for "the nearest"; the distance makes
// rows distinct, so a bound far beyond any real tree replaces UNION's guard.
const char* kAncestorsByDepth =
    "WITH RECURSIVE up(id, depth) AS (SELECT ?, 0 UNION ALL "
    "SELECT d.parent, up.depth + 1 FROM dirs d JOIN up ON d.id = up.id "
    "WHERE d.parent <> 0 AND up.depth < 1000000) ";

}  // namespace

bool IsValidName(const std::string& name) {
  if (name.empty() || name.size() > 255 || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
  }
  return IsValidUtf8(name);
}

std::string FileRangeMd5(const std::filesystem::path& path, std::uint64_t first,
                         std::uint64_t length) {
  RangeMd5 md5(first);
  // A file shorter than the range hashes what it holds, as a read of it would.
  return md5.FeedTo(path, first + length) ? md5.Finish() : std::string();
}

Catalog::Catalog(Database& db, std::filesystem::path blobDir)
    : db_(db), blobDir_(std::move(blobDir)) {}

std::optional<User> Catalog::AddUser(const std::string& name, const std::string& password,
                                     const std::string& domain, const std::string& display,
                                     std::string& error) {
  if (!IsValidName(name) || name.find('@') != std::string::npos) {
    error = "invalid login name";
    return std::nullopt;
  }
  if (!IsValidName(domain) || domain.find('@') != std::string::npos) {
    error = "invalid domain";
    return std::nullopt;
  }
  if (password.empty()) {
    error = "empty password";
    return std::nullopt;
  }
  if (FindUser(name, domain)) {
    error = "user " + name + "@" + domain + " exists already";
    return std::nullopt;
  }
  std::int64_t id = 0;
  bool ok = db_.Transaction([&] {
    std::string salt = RandomHex(8);
    std::int64_t now = NowSeconds();
    id = db_.Insert(
        "INSERT INTO users(name, password, domain, display, email, quota, joined) "
        "VALUES(?,?,?,?,?,?,?)",
        {name, salt + "$" + Sha256Hex(salt + password), domain, display,
         name + "@" + domain + ".example", kDefaultQuota, now});
    if (id == 0) return false;
    std::int64_t root = db_.Insert("INSERT INTO dirs(owner, parent, name, created) VALUES(?,0,?,?)",
                                   {id, std::string("/"), now});
    std::int64_t share = db_.Insert(
        "INSERT INTO dirs(owner, parent, name, created, virtual) VALUES(?,0,?,?,1)",
        {id, std::string("Share for Me"), now});
    return root && share &&
           db_.Exec("UPDATE users SET root_dir=?, share_dir=? WHERE id=?", {root, share, id});
  });
  if (!ok) {
    error = "database failure";
    return std::nullopt;
  }
  return UserById(id);
}

std::optional<User> Catalog::FindUser(const std::string& name, const std::string& domain) {
  auto rows = db_.Query(std::string("SELECT ") + kUserColumns +
                            " FROM users WHERE name=? COLLATE NOCASE AND domain=? COLLATE NOCASE",
                        {name, domain});
  if (rows.empty()) return std::nullopt;
  return ToUser(rows[0]);
}

std::optional<User> Catalog::UserById(std::int64_t id) {
  auto rows = db_.Query(std::string("SELECT ") + kUserColumns + " FROM users WHERE id=?", {id});
  if (rows.empty()) return std::nullopt;
  return ToUser(rows[0]);
}

bool Catalog::SetQuota(std::int64_t userId, std::int64_t bytes) {
  return bytes >= 0 && db_.Exec("UPDATE users SET quota=? WHERE id=?", {bytes, userId});
}

bool Catalog::CheckPassword(std::int64_t userId, const std::string& password) {
  auto rows = db_.Query("SELECT password FROM users WHERE id=?", {userId});
  if (rows.empty()) return false;
  std::string stored = rows[0].Text(0);
  std::size_t dollar = stored.find('$');
  if (dollar == std::string::npos) return false;
  return Sha256Hex(stored.substr(0, dollar) + password) == stored.substr(dollar + 1);
}

std::vector<User> Catalog::UsersInDomain(const std::string& domain) {
  std::vector<User> users;
  for (const Row& r : db_.Query(std::string("SELECT ") + kUserColumns +
                                    " FROM users WHERE domain=? COLLATE NOCASE ORDER BY joined, id",
                                {domain}))
    users.push_back(ToUser(r));
  return users;
}

std::int64_t Catalog::UsedSpace(std::int64_t userId) {
  auto rows = db_.Query("SELECT used FROM usage WHERE owner=?", {userId});
  return rows.empty() ? 0 : rows[0].Int(0);
}

std::int64_t Catalog::ChargedSpace(std::int64_t userId) {
  auto rows = db_.Query("SELECT charged FROM usage WHERE owner=?", {userId});
  return rows.empty() ? 0 : rows[0].Int(0);
}

std::optional<Dir> Catalog::DirById(std::int64_t id) {
  auto rows = db_.Query(std::string("SELECT ") + kDirColumns + " FROM dirs WHERE id=?", {id});
  if (rows.empty()) return std::nullopt;
  return ToDir(rows[0]);
}

std::vector<Dir> Catalog::SubDirs(std::int64_t id) {
  std::vector<Dir> dirs;
  for (const Row& r : db_.Query(std::string("SELECT ") + kDirColumns +
                                    " FROM dirs WHERE parent=? AND parent<>0 ORDER BY name, id",
                                {id}))
    dirs.push_back(ToDir(r));
  return dirs;
}

std::optional<Dir> Catalog::DirByName(std::int64_t parent, const std::string& name) {
  auto rows = db_.Query(std::string("SELECT ") + kDirColumns +
                            " FROM dirs WHERE parent=? AND name=? COLLATE NOCASE",
                        {parent, name});
  if (rows.empty()) return std::nullopt;
  return ToDir(rows[0]);
}

std::int64_t Catalog::CreateDir(std::int64_t owner, std::int64_t parent, const std::string& name) {
  return db_.Insert("INSERT INTO dirs(owner, parent, name, created) VALUES(?,?,?,?)",
                    {owner, parent, name, NowSeconds()});
}

bool Catalog::IsWithin(std::int64_t dir, std::int64_t ancestor) {
  return !db_.Query(std::string(kAncestors) + "SELECT 1 FROM up WHERE id=? LIMIT 1", {dir, ancestor}).empty();
}

void Catalog::DeleteDirTree(std::int64_t dir) {
  const std::string below =
      "WITH RECURSIVE down(id) AS (SELECT ? UNION SELECT d.id FROM dirs d JOIN down ON d.parent = down.id) ";
  std::vector<std::int64_t> files;
  for (const Row& r : db_.Query(below + "SELECT f.id FROM files f JOIN down ON f.dir = down.id", {dir}))
    files.push_back(r.Int(0));
  for (std::int64_t id : files) DeleteFile(id);
  for (const char* table : {"shares", "codes"})
    db_.Exec(below + "DELETE FROM " + table + " WHERE dir IN (SELECT id FROM down)", {dir});
  db_.Exec(below + "DELETE FROM dirs WHERE id IN (SELECT id FROM down)", {dir});
}

bool Catalog::IsShared(std::int64_t dir) {
  return !db_.Query("SELECT 1 FROM shares WHERE dir=? LIMIT 1", {dir}).empty();
}

std::uint32_t Catalog::Rights(std::int64_t userId, std::int64_t dir) {
  auto d = DirById(dir);
  if (!d) return rights::kNone;
  if (d->owner == userId) return rights::kAdmin;
  auto rows = db_.Query(std::string(kAncestorsByDepth) +
                            "SELECT s.privilege FROM up JOIN shares s ON s.dir = up.id AND s.user_id = ? "
                            "ORDER BY up.depth LIMIT 1",
                        {dir, userId});
  return rows.empty() ? rights::kNone : static_cast<std::uint32_t>(rows[0].Int(0));
}

std::int64_t Catalog::ShareRootFor(std::int64_t userId, std::int64_t dir) {
  auto rows = db_.Query(std::string(kAncestorsByDepth) +
                            "SELECT up.id FROM up JOIN shares s ON s.dir = up.id AND s.user_id = ? "
                            "ORDER BY up.depth LIMIT 1",
                        {dir, userId});
  return rows.empty() ? 0 : rows[0].Int(0);
}

std::optional<File> Catalog::FileById(std::int64_t id) {
  auto rows = db_.Query(std::string("SELECT ") + kFileColumns + " FROM files WHERE id=?", {id});
  if (rows.empty()) return std::nullopt;
  return ToFile(rows[0]);
}

std::vector<File> Catalog::FilesIn(std::int64_t dir, bool includePartial) {
  std::vector<File> files;
  std::string sql = std::string("SELECT ") + kFileColumns + " FROM files WHERE dir=?" +
                    (includePartial ? "" : " AND state=0") + " ORDER BY id";
  for (const Row& r : db_.Query(sql, {dir})) files.push_back(ToFile(r));
  return files;
}

std::int64_t Catalog::CountFilesIn(std::int64_t dir) {
  auto rows = db_.Query("SELECT COUNT(*) FROM files WHERE dir=?", {dir});
  return rows.empty() ? 0 : rows[0].Int(0);
}

std::vector<std::pair<File, std::int64_t>> Catalog::FilePage(std::int64_t dir, const std::string& orderBy,
                                                             std::int64_t offset, std::int64_t count) {
  std::vector<std::pair<File, std::int64_t>> page;
  for (const Row& r : db_.Query(std::string("SELECT ") + kFileColumns +
                                    ", COALESCE((SELECT l.id FROM links l WHERE l.file_id=files.id), 0)"
                                    " FROM files WHERE dir=? ORDER BY " + orderBy + " LIMIT ? OFFSET ?",
                                {dir, count, offset}))
    page.emplace_back(ToFile(r), r.Int(10));
  return page;
}

std::optional<File> Catalog::CompleteFileByName(std::int64_t dir, const std::string& name) {
  auto rows = db_.Query(std::string("SELECT ") + kFileColumns +
                            " FROM files WHERE dir=? AND name=? COLLATE NOCASE AND state=0",
                        {dir, name});
  if (rows.empty()) return std::nullopt;
  return ToFile(rows[0]);
}

std::int64_t Catalog::AddFile(const File& f) {
  return db_.Insert(
      "INSERT INTO files(dir, owner, name, size, mtime, ctime, state, sec, md5, blob) "
      "VALUES(?,?,?,?,?,?,?,?,?,'')",
      {f.dir, f.owner, f.name, f.size, f.mtime, f.ctime, std::int64_t{f.state},
       std::int64_t{f.sec}, f.md5});
}

void Catalog::DeleteFile(std::int64_t id) {
  db_.Exec("DELETE FROM files WHERE id=?", {id});
  db_.Exec("DELETE FROM links WHERE file_id=?", {id});
  db_.Exec("DELETE FROM transfers WHERE file_id=?", {id});
  db_.Exec("DELETE FROM streams WHERE file_id=?", {id});
  db_.Exec("DELETE FROM uploads WHERE file_id=?", {id});
  db_.Exec("DELETE FROM received WHERE file_id=?", {id});
  std::error_code ec;
  std::filesystem::remove(BlobPath(id), ec);
}

std::filesystem::path Catalog::BlobPath(std::int64_t fileId) const {
  return blobDir_ / std::to_string(fileId);
}

std::string Catalog::ComputeMd5(std::int64_t fileId, std::int64_t size) {
  return FileRangeMd5(BlobPath(fileId), 0, static_cast<std::uint64_t>(size));
}

std::int64_t Catalog::CopyFile(const File& source, std::int64_t targetDir, std::int64_t owner) {
  File copy = source;
  copy.dir = targetDir;
  copy.owner = owner;
  copy.ctime = NowSeconds();
  std::int64_t id = AddFile(copy);
  if (id == 0) return 0;
  db_.Settle();  // the copy needs no database, and may take long
  std::error_code ec;
  std::filesystem::copy_file(BlobPath(source.id), BlobPath(id),
                             std::filesystem::copy_options::overwrite_existing, ec);
  if (ec && source.size > 0) {
    db_.Exec("DELETE FROM files WHERE id=?", {id});
    return 0;
  }
  return id;
}

std::int64_t Catalog::CountFilesBelow(std::int64_t dir) {
  auto rows = db_.Query(
      "WITH RECURSIVE down(id) AS (SELECT ? UNION SELECT d.id FROM dirs d JOIN down ON d.parent = down.id) "
      "SELECT COUNT(*) FROM files f JOIN down ON f.dir = down.id WHERE f.state = 0",
      {dir});
  return rows.empty() ? 0 : rows[0].Int(0);
}

}  // namespace korvexd
