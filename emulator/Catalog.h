// The service's model: accounts, directories, files and the rights a user
// holds on a directory, over the SQLite database and the blob folder.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Database.h"

namespace korvexd {

/// Rights masks as the client labels them; the service gives bit 0x20 the
/// meaning "download", 0x40 "upload", and lets only the two administrator
/// masks delete, rename and move inside a directory shared with the user.
namespace rights {
inline constexpr std::uint32_t kNone = 0;
inline constexpr std::uint32_t kAdmin = 0xFFFF;
inline constexpr std::uint32_t kAdminAlt = 0xFBFB;
inline constexpr std::uint32_t kUploadDownload = 0x8E0;
inline constexpr std::uint32_t kUpload = 0x8C0;
inline constexpr std::uint32_t kDownload = 0x8A0;
inline constexpr std::uint32_t kDownloadBit = 0x20;
inline constexpr std::uint32_t kUploadBit = 0x40;
inline bool CanModify(std::uint32_t mask) { return mask == kAdmin || mask == kAdminAlt; }
inline bool CanDownload(std::uint32_t mask) { return (mask & kDownloadBit) != 0; }
inline bool CanUpload(std::uint32_t mask) { return (mask & kUploadBit) != 0; }
}  // namespace rights

struct User {
  std::int64_t id = 0;
  std::string name, domain, display, email;
  std::int64_t rootDir = 0, shareDir = 0;
  bool isSub = false;
  std::int64_t quota = 0, joined = 0;
};

struct Dir {
  std::int64_t id = 0, owner = 0, parent = 0;
  std::string name;
  std::int64_t created = 0;
  bool isVirtual = false;  // the per-user "shared with me" root
};

/// state: 0 complete, 1 upload in progress.
struct File {
  std::int64_t id = 0, dir = 0, owner = 0;
  std::string name;
  std::int64_t size = 0, mtime = 0, ctime = 0;
  int state = 0, sec = 0;
  std::string md5;
};

class Catalog {
 public:
  Catalog(Database& db, std::filesystem::path blobDir);

  // ---- accounts ----
  /// Creates a user with a root directory and a "shared with me" root.
  /// Returns nullopt and sets error when the name is taken or invalid.
  std::optional<User> AddUser(const std::string& name, const std::string& password,
                              const std::string& domain, const std::string& display,
                              std::string& error);
  std::optional<User> FindUser(const std::string& name, const std::string& domain);
  bool SetQuota(std::int64_t userId, std::int64_t bytes);
  std::optional<User> UserById(std::int64_t id);
  bool CheckPassword(std::int64_t userId, const std::string& password);
  std::vector<User> UsersInDomain(const std::string& domain);
  /// Bytes used by the user's complete files.
  std::int64_t UsedSpace(std::int64_t userId);
  /// Bytes the quota is charged with: complete files and the declared size
  /// of every upload still in progress.
  std::int64_t ChargedSpace(std::int64_t userId);

  // ---- directories ----
  std::optional<Dir> DirById(std::int64_t id);
  std::vector<Dir> SubDirs(std::int64_t id);
  std::optional<Dir> DirByName(std::int64_t parent, const std::string& name);
  std::int64_t CreateDir(std::int64_t owner, std::int64_t parent, const std::string& name);
  /// True when ancestor is dir itself or one of its parents.
  bool IsWithin(std::int64_t dir, std::int64_t ancestor);
  /// Deletes a directory with everything below it, blobs included.
  void DeleteDirTree(std::int64_t dir);
  bool IsShared(std::int64_t dir);

  /// The rights mask user holds on dir: kAdmin for the owner, the mask of
  /// the nearest share for a recipient, kNone otherwise.
  std::uint32_t Rights(std::int64_t userId, std::int64_t dir);
  /// The share (dir id) through which a recipient reaches dir, or 0.
  std::int64_t ShareRootFor(std::int64_t userId, std::int64_t dir);

  // ---- files ----
  std::optional<File> FileById(std::int64_t id);
  std::vector<File> FilesIn(std::int64_t dir, bool includePartial = true);
  /// Files of dir, partial uploads included.
  std::int64_t CountFilesIn(std::int64_t dir);
  /// One page of dir's files (partial uploads included) in the order of an
  /// SQL ORDER BY text, each with the id of its download link (0 when none).
  std::vector<std::pair<File, std::int64_t>> FilePage(std::int64_t dir, const std::string& orderBy,
                                                      std::int64_t offset, std::int64_t count);
  std::optional<File> CompleteFileByName(std::int64_t dir, const std::string& name);
  std::int64_t AddFile(const File& file);
  void DeleteFile(std::int64_t id);
  std::filesystem::path BlobPath(std::int64_t fileId) const;
  /// MD5 (upper-case hex) of the first size bytes of the file's blob.
  std::string ComputeMd5(std::int64_t fileId, std::int64_t size);
  /// Copies a file's blob to a new file record; returns the new id or 0.
  std::int64_t CopyFile(const File& source, std::int64_t targetDir, std::int64_t owner);
  std::int64_t CountFilesBelow(std::int64_t dir);

  Database& db() { return db_; }

 private:
  Database& db_;
  std::filesystem::path blobDir_;
};

/// A directory or file name the service accepts: non-empty RFC 3629 UTF-8,
/// at most 255 bytes, no "/", "\", control characters, "." or "..".
bool IsValidName(const std::string& name);

/// MD5 of a byte range [first, first+length) of a file, upper-case hex; empty on error.
std::string FileRangeMd5(const std::filesystem::path& path, std::uint64_t first,
                         std::uint64_t length);

}  // namespace korvexd
