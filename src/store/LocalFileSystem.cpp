//===- store/LocalFileSystem.cpp - File-system helpers of the local store ===//

#include "store/LocalFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/FileTime.h"
#include "platform/SystemError.h"

namespace korvex::localfs {
namespace {

constexpr std::uint64_t kTicksPerSecond = 10'000'000;
constexpr std::string_view kPartialMark = ".korvex-";
constexpr std::string_view kPartialEnd = ".part";
// NAME_MAX of the common Linux file systems, in bytes.
constexpr std::size_t kMaxNameBytes = 255;

}  // namespace

HRESULT EnumerateFolder(const std::string& path, bool showHidden,
                        const std::function<bool(std::string_view, EntryType)>& visit) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
  if (!dir) return HResultFromLastErrno();
  const int dirFd = ::dirfd(dir.get());
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (!showHidden && name.front() == '.') continue;
    unsigned char type = entry->d_type;
    // Some file systems do not report the type; ask for it (without
    // following a link, which must stay a link).
    if (type == DT_UNKNOWN) {
      struct stat info {};
      if (::fstatat(dirFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
      type = S_ISDIR(info.st_mode) ? DT_DIR : S_ISREG(info.st_mode) ? DT_REG : DT_LNK;
    }
    if (type != DT_DIR && type != DT_REG) continue;
    if (!visit(name, type == DT_DIR ? EntryType::kFolder : EntryType::kFile)) break;
  }
  return S_OK;
}

bool IsSafeEntryName(std::string_view name) noexcept {
  if (name.empty() || name == "." || name == "..") return false;
  return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::uint64_t FileTimeFromTimespec(const timespec& time) noexcept {
  if (time.tv_sec < 0) return 0;
  return kUnixEpochAsFileTime + static_cast<std::uint64_t>(time.tv_sec) * kTicksPerSecond +
         static_cast<std::uint64_t>(time.tv_nsec) / 100;
}

timespec TimespecFromFileTime(std::uint64_t fileTime) noexcept {
  timespec time{};
  if (fileTime <= kUnixEpochAsFileTime) return time;
  const std::uint64_t ticks = fileTime - kUnixEpochAsFileTime;
  time.tv_sec = static_cast<time_t>(ticks / kTicksPerSecond);
  time.tv_nsec = static_cast<long>((ticks % kTicksPerSecond) * 100);
  return time;
}

std::string ParentFolder(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

std::string PartialFileName(std::string_view name, std::uint32_t taskId) {
  const std::string owned = std::string(kPartialMark) + std::to_string(taskId) + std::string(kPartialEnd);
  if (1 + name.size() + owned.size() > kMaxNameBytes) return owned;
  return "." + std::string(name) + owned;
}

bool IsPartialFileName(std::string_view name) noexcept {
  if (name.size() <= kPartialMark.size() + kPartialEnd.size() || name.front() != '.' || !name.ends_with(kPartialEnd))
    return false;
  name.remove_suffix(kPartialEnd.size());
  const std::size_t mark = name.rfind(kPartialMark);
  if (mark == std::string_view::npos) return false;
  const std::string_view id = name.substr(mark + kPartialMark.size());
  return !id.empty() && id.find_first_not_of("0123456789") == std::string_view::npos;
}

int RenameNoReplace(const std::string& from, const std::string& to) noexcept {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without the flag: check, then rename. The window between
  // the two is the best such a file system allows.
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

}  // namespace korvex::localfs
