//===- platform/AtomicFile.cpp - Replace a file all at once ---------------===//

#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

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

}  // namespace

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
  std::filesystem::path folder = path.parent_path();
  int dirFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return S_OK;
}

}  // namespace korvex
