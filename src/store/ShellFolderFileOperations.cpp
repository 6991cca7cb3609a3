//===- store/ShellFolderFileOperations.cpp - Local folder and file changes ===//

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "foundation/LogMgr.h"
#include "platform/SystemError.h"
#include "store/LocalFileSystem.h"
#include "store/ShellFolderDataStoreRemote.h"

namespace korvex {
namespace {

constexpr const char* kCategory = "ShellFolderDataStoreRemote";

// Closes a descriptor on every path.
class Fd {
 public:
  explicit Fd(int fd) noexcept : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  [[nodiscard]] int get() const noexcept { return fd_; }
  [[nodiscard]] bool valid() const noexcept { return fd_ >= 0; }

 private:
  int fd_;
};

void CloseShared(int* fd) {
  if (*fd >= 0) ::close(*fd);
  delete fd;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;
}

// Removes a file, making it writable first as a read-only file would
// otherwise refuse on some file systems. Missing counts as removed.
bool RemoveFile(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return errno == ENOENT;
  if (S_ISDIR(info.st_mode)) return false;
  (void)::chmod(path.c_str(), (info.st_mode | S_IWUSR) & 07777);
  return ::unlink(path.c_str()) == 0 || errno == ENOENT;
}

std::uint64_t Offset(std::uint32_t low, std::uint32_t high) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

// Sets the file's length; allocates the space where the file system can, so
// a full disk shows now rather than half-way through the transfer.
bool SetLength(int fd, std::uint64_t size) {
  if (size == 0) return true;
  if (::fallocate(fd, 0, 0, static_cast<off_t>(size)) == 0) return true;
  if (errno != EOPNOTSUPP && errno != ENOSYS) return false;
  return ::ftruncate(fd, static_cast<off_t>(size)) == 0;
}

}  // namespace

HRESULT ShellFolderDataStoreRemote::DoCreateContainer(const ContainerInfo& parent,
                                                      const ContainerInfo& newContainer,
                                                      AsyncResult* result) {
  if (const HRESULT hr = CheckName("CreateContainer", newContainer.name); Failed(hr)) return hr;
  const std::string folder = MapPath(parent.uri);
  if (folder.empty()) return E_INVALIDARG;
  if (::mkdir((folder + "/" + newContainer.name).c_str(), 0777) != 0) return HResultFromLastErrno();
  auto created = std::make_unique<Container>();
  created->info.name = newContainer.name;
  created->info.uri = parent.uri + newContainer.name + "/";
  result->SetPayload(CreateContainerPayload(S_OK, created.release()));
  return S_OK;
}

HRESULT ShellFolderDataStoreRemote::DoDeleteContainer(const ContainerInfo& container,
                                                      AsyncResult* result) {
  if (container.uri == "/") return E_INVALIDARG;
  const std::string path = MapPath(container.uri);
  if (path.empty()) return E_INVALIDARG;
  if (!Exists(path)) {
    result->SetPayload(StatusPayload(S_OK));
    return S_OK;
  }
  if (tree_.IsProtectedPath(path)) {
    LogMgr::Get().Error(kCategory, "DeleteContainer: refused to remove %s", path.c_str());
    return E_ACCESSDENIED;
  }
  std::error_code ec;
  std::filesystem::remove_all(path, ec);
  if (ec) return E_ACCESSDENIED;
  result->SetPayload(StatusPayload(S_OK));
  return S_OK;
}

HRESULT ShellFolderDataStoreRemote::DoRenameContainer(const ContainerInfo& container,
                                                      const std::string& newName,
                                                      AsyncResult* result) {
  if (const HRESULT hr = CheckName("RenameContainer", newName); Failed(hr)) return hr;
  const std::string path = MapPath(container.uri);
  if (path.empty() || container.uri == "/") return E_INVALIDARG;
  if (localfs::RenameNoReplace(path, localfs::ParentFolder(path) + "/" + newName) != 0)
    return HResultFromLastErrno();
  result->SetPayload(StatusPayload(S_OK));
  return S_OK;
}

HRESULT ShellFolderDataStoreRemote::DoRenameItem(const ItemInfo& item, const std::string& newName,
                                                 AsyncResult* result) {
  if (const HRESULT hr = CheckName("RenameItem", newName); Failed(hr)) return hr;
  // A file still being written belongs to its transfer.
  if (item.partial) return E_ACCESSDENIED;
  const std::string path = ItemFilePath(item);
  if (path.empty()) return E_INVALIDARG;
  const std::string target = localfs::ParentFolder(path) + "/" + newName;
  // The real reason, not always "exists": a refused rename of a file the
  // user may not change must not read as a name clash.
  if (localfs::RenameNoReplace(path, target) != 0) return HResultFromLastErrno();
  result->SetPayload(StatusPayload(S_OK));
  return S_OK;
}

HRESULT ShellFolderDataStoreRemote::DoCreateItem(const ContainerInfo& parent, const ItemInfo& item,
                                                 std::uint32_t overrideFlag, AsyncResult* result) {
  if (const HRESULT hr = CheckName("CreateItem", item.name); Failed(hr)) return hr;
  if (const HRESULT hr = CheckName("CreateItem", item.reserved); Failed(hr)) return hr;
  const std::string folder = MapPath(parent.uri);
  if (folder.empty()) return E_INVALIDARG;
  const std::string path = folder + "/" + item.name;
  // An existing file stays until CompleteItem replaces it: if the transfer
  // fails, the user still has the old one.
  if (!overrideFlag && Exists(path)) return HR_ALREADY_EXISTS;
  const std::string partial = folder + "/" + item.reserved;
  // The name holds the task's id: only an earlier try of this transfer made it.
  ForgetPartial(partial);
  // A name the folder's file system cannot hold never fits, however much
  // room is made: not the access refusal or full disk of the codes below.
  if (!RemoveFile(partial)) return errno == ENAMETOOLONG ? HResultFromLastErrno() : E_ACCESSDENIED;
  const std::shared_ptr<int> fd = PartialFd(partial, true);
  if (!fd) {
    const int error = errno;
    LogMgr::Get().Error(kCategory, "CreateItem: cannot create %s: errno %d", partial.c_str(), error);
    return error == ENAMETOOLONG ? HResultFromErrno(error) : HR_CANNOT_CREATE_PARTIAL;
  }
  if (!SetLength(*fd, item.size)) {
    LogMgr::Get().Error(kCategory, "CreateItem: cannot size %s to %llu bytes: errno %d",
                        partial.c_str(), static_cast<unsigned long long>(item.size), errno);
    ForgetPartial(partial);
    (void)::unlink(partial.c_str());
    return HR_CANNOT_CREATE_PARTIAL;
  }
  auto created = std::make_unique<Item>();
  created->info = item;
  created->info.uri = parent.uri + item.name;
  // The data goes to the partial file until CompleteItem.
  created->info.partial = 1;
  result->SetPayload(CreateItemPayload(S_OK, created.release()));
  return S_OK;
}

std::shared_ptr<int> ShellFolderDataStoreRemote::PartialFd(const std::string& path, bool create) {
  std::lock_guard lock(partialsMutex_);
  if (auto found = partials_.find(path); found != partials_.end()) return found->second;
  // Never through a link: a partial file swapped for one must not lead the
  // download's bytes anywhere else.
  const int flags = O_WRONLY | O_CLOEXEC | O_NOFOLLOW | (create ? O_CREAT | O_EXCL : 0);
  const int raw = ::open(path.c_str(), flags, 0666);
  if (raw < 0) return nullptr;
  std::shared_ptr<int> fd(new int(raw), CloseShared);
  struct stat info {};
  if (::fstat(raw, &info) != 0 || !S_ISREG(info.st_mode)) {
    errno = EINVAL;
    return nullptr;
  }
  partials_.emplace(path, fd);
  return fd;
}

void ShellFolderDataStoreRemote::ForgetPartial(const std::string& path) {
  std::lock_guard lock(partialsMutex_);
  partials_.erase(path);
}

HRESULT ShellFolderDataStoreRemote::DoOpenItem(const ItemInfo& item, bool forWriting,
                                               AsyncResult* result) {
  if (item.uri == "/") return E_INVALIDARG;
  const std::string path = ItemFilePath(item);
  if (path.empty()) return HR_FILE_NOT_FOUND;
  const int flags = (forWriting ? O_WRONLY : O_RDONLY) | O_CLOEXEC | (item.partial ? O_NOFOLLOW : 0);
  const int raw = ::open(path.c_str(), flags);
  if (raw < 0) return errno == EACCES || errno == EPERM ? E_ACCESSDENIED : HR_FILE_NOT_FOUND;
  Fd fd(raw);
  struct stat info {};
  if (::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return HR_FILE_NOT_FOUND;
  // The file as it is now: a transfer compares it with what it started from.
  const LocalFileStamp stamp{static_cast<std::uint64_t>(info.st_size), localfs::FileTimeFromTimespec(info.st_mtim)};
  result->SetPayload(OpenItemPayload(S_OK, stamp, std::string()));
  return S_OK;
}

HRESULT ShellFolderDataStoreRemote::DoReadItem(const ItemInfo& item, std::uint32_t offsetLow,
                                               std::uint32_t offsetHigh, std::uint32_t length,
                                               AsyncResult* result) {
  // The file itself (or a download's own partial file, read to check it),
  // never a "<name>.tmp" beside it: that is another file.
  const std::string path = ItemFilePath(item);
  if (path.empty()) return E_INVALIDARG;
  const int raw = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (item.partial ? O_NOFOLLOW : 0));
  if (raw < 0) return errno == EACCES || errno == EPERM ? E_ACCESSDENIED : HR_FILE_NOT_FOUND;
  Fd fd(raw);
  auto buffer = std::make_unique_for_overwrite<std::uint8_t[]>(length);
  std::uint64_t offset = Offset(offsetLow, offsetHigh);
  std::uint32_t done = 0;
  while (done < length) {
    const ssize_t got = ::pread(fd.get(), buffer.get() + done, length - done,
                                static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got == 0) return HR_FILE_SHRUNK;
    if (got < 0) return HResultFromLastErrno();
    done += static_cast<std::uint32_t>(got);
  }
  result->SetPayload(ReadBufferPayload(S_OK, buffer.release()));
  return S_OK;
}

HRESULT ShellFolderDataStoreRemote::DoWriteItem(const ItemInfo& item,
                                                std::unique_ptr<std::uint8_t[]> data,
                                                std::uint32_t offsetLow, std::uint32_t offsetHigh,
                                                std::uint32_t length, AsyncResult* result) {
  if (!item.partial) return E_UNEXPECTED;
  const std::string path = ItemFilePath(item);
  if (path.empty()) return E_INVALIDARG;
  const std::shared_ptr<int> fd = PartialFd(path, false);
  if (!fd) return HR_CANNOT_OPEN_FOR_WRITING;
  const std::uint64_t offset = Offset(offsetLow, offsetHigh);
  std::uint32_t done = 0;
  while (done < length) {
    const ssize_t wrote = ::pwrite(*fd, data.get() + done, length - done, static_cast<off_t>(offset + done));
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return HR_WRITE_INCOMPLETE;
    done += static_cast<std::uint32_t>(wrote);
  }
  result->SetPayload(StatusPayload(S_OK));
  return S_OK;
}

HRESULT ShellFolderDataStoreRemote::DoCompleteItem(const ItemInfo& item, std::uint32_t overrideFlag,
                                                   AsyncResult* result) {
  if (!item.partial) return E_UNEXPECTED;
  const std::string path = MapPath(item.uri);
  const std::string partial = ItemFilePath(item);
  if (path.empty() || partial.empty()) return E_INVALIDARG;
  const std::shared_ptr<int> fd = PartialFd(partial, false);
  if (!fd) return E_FAIL;
  // On disk before it carries the final name: a crash right after the
  // rename must not leave a file of zeros where the user expects data.
  if (::fsync(*fd) != 0) return E_FAIL;
  const timespec times[2] = {{0, UTIME_OMIT}, localfs::TimespecFromFileTime(item.modifyTime)};
  if (item.modifyTime != 0) (void)::futimens(*fd, times);
  struct stat replaced {};
  // A replaced file keeps its mode: a private file stays private.
  if (overrideFlag && ::lstat(path.c_str(), &replaced) == 0 && S_ISREG(replaced.st_mode))
    (void)::fchmod(*fd, replaced.st_mode & 07777);
  // What gets the final name must be the file written, not one put in its place.
  struct stat written {}, named {};
  if (::fstat(*fd, &written) != 0 || ::lstat(partial.c_str(), &named) != 0 || written.st_ino != named.st_ino ||
      written.st_dev != named.st_dev) {
    LogMgr::Get().Error(kCategory, "CompleteItem: %s is no longer the file written", partial.c_str());
    // Gone as far as this transfer is concerned: sending it again cannot help.
    ForgetPartial(partial);
    return HR_FILE_NOT_FOUND;
  }
  // With overrideFlag the rename replaces the old file in one step, so
  // there is never a moment without either version.
  const int renamed = overrideFlag ? ::rename(partial.c_str(), path.c_str())
                                   : localfs::RenameNoReplace(partial, path);
  if (renamed != 0) return errno == EEXIST ? HR_ALREADY_EXISTS : errno == ENAMETOOLONG ? HResultFromLastErrno() : E_FAIL;
  ForgetPartial(partial);
  result->SetPayload(StatusPayload(S_OK));
  return S_OK;
}

HRESULT ShellFolderDataStoreRemote::DoDeleteItem(const ItemInfo& item, AsyncResult* result) {
  if (item.uri == "/") return E_INVALIDARG;
  const std::string path = ItemFilePath(item);
  if (path.empty()) return E_INVALIDARG;
  if (item.partial) ForgetPartial(path);
  if (!RemoveFile(path)) return E_ACCESSDENIED;
  result->SetPayload(StatusPayload(S_OK));
  return S_OK;
}

}  // namespace korvex
