//===- mount/MountWrites.cpp - Files written through the mount ------------===//
//
// A file opened for writing is a local file under the cache folder until
// it is closed; then it goes up as one upload, and close() says how that
// ended (the only place a writer can still hear of a failure). An existing
// file opened without O_TRUNC is first fetched whole, so that a writer
// changing a few bytes does not upload a file of zeros.

#include "mount/MountFs.h"

#include "foundation/LogMgr.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace korvex::mount {

namespace fs = std::filesystem;

namespace {

constexpr const char* kCategory = "Mount";

// Copies the cloud file into `fd`, block by block.
HRESULT FetchWhole(RemoteFile& remote, int fd) {
  if (const HRESULT hr = remote.Open(); Failed(hr)) return hr;
  for (std::uint64_t index = 0; index * kCacheBlockSize < remote.Size(); ++index) {
    RemoteFile::Block block;
    if (const HRESULT hr = remote.FetchBlock(index, block); Failed(hr)) return hr;
    const off_t at = static_cast<off_t>(index * kCacheBlockSize);
    if (::pwrite(fd, block->data(), block->size(), at) != static_cast<ssize_t>(block->size()))
      return HResultFromLastErrno();
  }
  return S_OK;
}

}  // namespace

int MountFs::OpenForWriting(const std::string& path, const MountNode& folder, const std::string& name,
                            const MountNode* existing, fuse_file_info* fi) {
  if (!tree_.CanWriteIn(folder)) return -EACCES;
  // Each writer its own folder: the upload takes the local file's name.
  const fs::path dir = WritesDir() / std::to_string(++nextWrite_);
  std::error_code ec;
  fs::create_directories(dir, ec);
  if (ec) return Refuse("write", path, HResultFromErrno(ec.value()));
  auto file = std::make_unique<OpenFile>();
  file->path = path;
  file->local = dir / name;
  file->store = folder.store;
  file->folder = folder.container;
  file->fd = ::open(file->local.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (file->fd < 0) return Refuse("write", path, HResultFromLastErrno());
  const bool keepsContent = existing != nullptr && (fi->flags & O_TRUNC) == 0;
  if (keepsContent) {
    RemoteFile remote(*existing->store, existing->item, cache_, settings_.timeoutMs);
    if (const HRESULT hr = FetchWhole(remote, file->fd); Failed(hr)) {
      ::close(file->fd);
      fs::remove_all(dir, ec);
      return Refuse("open", path, hr);
    }
  }
  file->dirty = !keepsContent;
  {
    std::lock_guard<std::mutex> lock(writingMutex_);
    writing_.emplace(path, file.get());
  }
  fi->fh = reinterpret_cast<std::uint64_t>(file.release());
  // The local file is the truth while it is open; the kernel must not
  // answer reads from pages of the cloud file.
  fi->direct_io = 0;
  fi->keep_cache = 0;
  return 0;
}

bool MountFs::WritingSize(const std::string& path, off_t& size) {
  std::lock_guard<std::mutex> lock(writingMutex_);
  const auto it = writing_.find(path);
  if (it == writing_.end()) return false;
  struct stat local {};
  size = ::fstat(it->second->fd, &local) == 0 ? local.st_size : 0;
  return true;
}

int MountFs::Upload(OpenFile& file) {
  std::string message;
  const HRESULT hr = uploader_ ? uploader_(*file.store, file.folder, file.local, message) : E_NOTIMPL;
  // The folder's listing is read again, with the new file and its size.
  file.store->InvalidateContainer(file.folder);
  if (Failed(hr)) {
    if (!message.empty()) LogMgr::Get().Warn(kCategory, "upload of %s: %s", file.path.c_str(), message.c_str());
    return Refuse("upload", file.path, hr);
  }
  file.dirty = false;
  return 0;
}

int MountFs::Create(const char* path, mode_t, fuse_file_info* fi) {
  try {
    MountFs& self = Self();
    MountNode folder;
    std::string leaf;
    if (const HRESULT hr = self.tree_.ResolveParent(path, folder, leaf); Failed(hr))
      return self.Refuse("create", path, hr);
    fi->flags |= O_TRUNC;
    return self.OpenForWriting(path, folder, leaf, nullptr, fi);
  } catch (...) {
    return -EIO;
  }
}

int MountFs::Write(const char*, const char* data, size_t size, off_t offset, fuse_file_info* fi) {
  auto* file = reinterpret_cast<OpenFile*>(fi->fh);
  if (file == nullptr || file->fd < 0) return -EBADF;
  const ssize_t n = ::pwrite(file->fd, data, size, offset);
  if (n < 0) return -errno;
  file->dirty = true;
  return static_cast<int>(n);
}

int MountFs::Truncate(const char* path, off_t size, fuse_file_info* fi) {
  try {
    MountFs& self = Self();
    OpenFile* file = fi != nullptr ? reinterpret_cast<OpenFile*>(fi->fh) : nullptr;
    if (file == nullptr || file->fd < 0) {
      std::lock_guard<std::mutex> lock(self.writingMutex_);
      const auto it = self.writing_.find(path);
      file = it == self.writing_.end() ? nullptr : it->second;
    }
    if (file != nullptr) {
      if (::ftruncate(file->fd, size) != 0) return -errno;
      file->dirty = true;
      return 0;
    }
    MountNode node;
    if (const HRESULT hr = self.tree_.Resolve(path, node); Failed(hr)) return self.Refuse("truncate", path, hr);
    if (node.IsFolder()) return -EISDIR;
    // Changing a closed file's length would mean an upload of its own.
    return static_cast<std::uint64_t>(size) == node.item.size ? 0 : -EOPNOTSUPP;
  } catch (...) {
    return -EIO;
  }
}

int MountFs::Flush(const char*, fuse_file_info* fi) {
  try {
    auto* file = reinterpret_cast<OpenFile*>(fi->fh);
    if (file == nullptr || file->fd < 0 || !file->dirty) return 0;
    return Self().Upload(*file);
  } catch (...) {
    return -EIO;
  }
}

int MountFs::Release(const char*, fuse_file_info* fi) {
  std::unique_ptr<OpenFile> file(reinterpret_cast<OpenFile*>(fi->fh));
  fi->fh = 0;
  if (!file || file->fd < 0) return 0;
  MountFs& self = Self();
  {
    std::lock_guard<std::mutex> lock(self.writingMutex_);
    for (auto [it, end] = self.writing_.equal_range(file->path); it != end; ++it) {
      if (it->second == file.get()) {
        self.writing_.erase(it);
        break;
      }
    }
  }
  ::close(file->fd);
  std::error_code ec;
  fs::remove_all(file->local.parent_path(), ec);
  return 0;
}

// The service keeps its own times and no modes; accepting the call lets
// `touch` and `cp -p` finish instead of failing a copy that did arrive.
int MountFs::Utimens(const char*, const struct timespec*, fuse_file_info*) { return 0; }
int MountFs::Chmod(const char*, mode_t, fuse_file_info*) { return 0; }

}  // namespace korvex::mount
