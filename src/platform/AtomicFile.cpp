//===- platform/AtomicFile.cpp - Replace a file all at once ---------------===//

#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/SystemError.h"

namespace korvex {
namespace {

HRESULT WriteAll(int fd, std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return HResultFromLastErrno();
    done += static_cast<std::size_t>(n);
  }
  return S_OK;
}

void SyncFolder(const std::filesystem::path& file) {
  std::filesystem::path folder = file.parent_path();
  int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
}

struct TempFile {
  int fd = -1;
  std::string name;
};

/// Writes one temporary file beside `path` and starts its writeback.
HRESULT WriteTemp(const std::filesystem::path& path, std::string_view content, mode_t mode, TempFile& temp) {
  temp.name = path.string() + ".tmp-XXXXXX";
  temp.fd = ::mkostemp(temp.name.data(), O_CLOEXEC);
  if (temp.fd < 0) {
    temp.name.clear();
    return HResultFromLastErrno();
  }
  if (::fchmod(temp.fd, mode) != 0) return HResultFromLastErrno();
  if (const HRESULT hr = WriteAll(temp.fd, content); Failed(hr)) return hr;
  // Started for every file before the first wait, the writebacks end up in
  // one journal commit instead of one each.
  (void)::sync_file_range(temp.fd, 0, 0, SYNC_FILE_RANGE_WRITE);
  return S_OK;
}

}  // namespace

HRESULT WriteFilesAtomically(std::span<const AtomicFileWrite> files, mode_t mode) {
  std::vector<TempFile> temps(files.size());
  HRESULT hr = S_OK;
  for (std::size_t i = 0; i < files.size() && Succeeded(hr); ++i)
    hr = WriteTemp(files[i].path, files[i].content, mode, temps[i]);
  for (TempFile& temp : temps) {
    if (temp.fd < 0) continue;
    if (Succeeded(hr) && ::fdatasync(temp.fd) != 0) hr = HResultFromLastErrno();
    if (::close(temp.fd) != 0 && Succeeded(hr)) hr = HResultFromLastErrno();
  }
  std::size_t renamed = 0;
  while (Succeeded(hr) && renamed < files.size()) {
    if (::rename(temps[renamed].name.c_str(), files[renamed].path.c_str()) != 0) hr = HResultFromLastErrno();
    else ++renamed;
  }
  // What was renamed is whole and stays; the rest goes.
  if (Failed(hr)) {
    for (std::size_t i = renamed; i < temps.size(); ++i)
      if (!temps[i].name.empty()) ::unlink(temps[i].name.c_str());
  }
  if (renamed != 0) SyncFolder(files.front().path);
  return hr;
}

HRESULT WriteFileAtomically(const std::filesystem::path& path, std::string_view content, mode_t mode,
                            AtomicDurability durability) {
  std::string temp = path.string() + ".tmp-XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return HResultFromLastErrno();
  HRESULT hr = S_OK;
  if (::fchmod(fd, mode) != 0) hr = HResultFromLastErrno();
  if (Succeeded(hr)) hr = WriteAll(fd, content);
  if (Succeeded(hr) && ::fsync(fd) != 0) hr = HResultFromLastErrno();
  if (::close(fd) != 0 && Succeeded(hr)) hr = HResultFromLastErrno();
  if (Succeeded(hr) && ::rename(temp.c_str(), path.c_str()) != 0) hr = HResultFromLastErrno();
  if (Failed(hr)) {
    ::unlink(temp.c_str());
    return hr;
  }
  if (durability == AtomicDurability::kContentOnly) return S_OK;
  // The rename is durable only once the folder's entry is on disk.
  SyncFolder(path);
  return S_OK;
}

}  // namespace korvex
