//===- foundation/RegistryFile.cpp - A hive file on disk ------------------===//

#include "foundation/RegistryFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <mutex>
#include <set>
#include <utility>

#include "foundation/LogMgr.h"
#include "platform/AtomicFile.h"
#include "platform/SystemError.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kCategory = "Registry";
// Far beyond any real hive; guards against reading a huge stray file whole.
constexpr std::uintmax_t kMaxHiveBytes = 16u << 20;

/// Closes a descriptor (and with it the flock) on every return path.
class FdCloser {
 public:
  explicit FdCloser(int fd) : fd_(fd) {}
  ~FdCloser() {
    if (fd_ >= 0) ::close(fd_);
  }
  FdCloser(const FdCloser&) = delete;
  FdCloser& operator=(const FdCloser&) = delete;

 private:
  int fd_;
};

HRESULT ReadWholeFile(const fs::path& path, std::string& text) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return HResultFromLastErrno();
  FdCloser closer(fd);
  struct stat st {};
  if (::fstat(fd, &st) != 0) return HResultFromLastErrno();
  if (!S_ISREG(st.st_mode)) return HResultFromErrno(EISDIR);
  if (static_cast<std::uintmax_t>(st.st_size) > kMaxHiveBytes) return HResultFromErrno(EFBIG);
  text.clear();
  char buffer[16384];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return HResultFromLastErrno();
    if (n == 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxHiveBytes) return HResultFromErrno(EFBIG);
  }
  return S_OK;
}

/// Values that were already reported, so that a hive read for every
/// setting logs each of them once per process.
class UnreadValueReports {
 public:
  void Report(const fs::path& file, const RegistryHive& hive) {
    for (const auto& [key, name] : hive.UnreadValues()) {
      std::string id = file.string() + '\n' + key + '\n' + name;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!reported_.insert(std::move(id)).second) continue;
      }
      LogMgr::Get().Warn(kCategory, "%s: value \"%s\" of key [%s] has a type the client does not read; "
                         "it is skipped and kept unchanged", file.c_str(), name.c_str(), key.c_str());
    }
  }

 private:
  std::mutex mutex_;
  std::set<std::string> reported_;
};

UnreadValueReports& Reports() {
  static UnreadValueReports reports;
  return reports;
}

std::mutex gSetAsideMutex;
std::vector<SetAsideHive> gSetAside;  // guarded by gSetAsideMutex

std::string UtcStamp() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  ::gmtime_r(&now, &tm);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%dT%H%M%SZ", &tm);
  return stamp;
}

}  // namespace

RegistryFile::RegistryFile(fs::path path, std::string rootName, bool writable)
    : path_(std::move(path)), root_(std::move(rootName)), writable_(writable) {}

RegistryFile::ReadResult RegistryFile::ReadAndParse(RegistryHive& hive, HRESULT& status) const {
  std::string text;
  status = ReadWholeFile(path_, text);
  if (status == HR_FILE_NOT_FOUND) return ReadResult::Missing;
  if (Failed(status)) {
    LogMgr::Get().Warn(kCategory, "cannot read %s (0x%08X)", path_.c_str(), static_cast<unsigned>(status));
    return ReadResult::Failed;
  }
  std::string error;
  if (!hive.Parse(text, &error)) {
    LogMgr::Get().Error(kCategory, "%s cannot be parsed: %s", path_.c_str(), error.c_str());
    status = E_FAIL;
    return ReadResult::Unparsable;
  }
  if (!error.empty()) LogMgr::Get().Warn(kCategory, "%s: skipped %s", path_.c_str(), error.c_str());
  Reports().Report(path_, hive);
  return ReadResult::Parsed;
}

int RegistryFile::Lock(HRESULT& status) const {
  std::error_code ec;
  fs::create_directories(path_.parent_path(), ec);
  if (ec) {
    status = HResultFromErrno(ec.value());
    LogMgr::Get().Warn(kCategory, "cannot create %s: %s", path_.parent_path().c_str(), ec.message().c_str());
    return -1;
  }
  // A separate lock file, because the hive file itself is replaced by rename
  // and a lock on a replaced inode would protect nothing.
  fs::path lockPath = path_;
  lockPath += ".lock";
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    status = HResultFromLastErrno();
    return -1;
  }
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    status = HResultFromLastErrno();
    ::close(fd);
    return -1;
  }
  status = S_OK;
  return fd;
}

HRESULT RegistryFile::SetAside() const {
  const std::string base = path_.string() + ".corrupt-" + UtcStamp();
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string target = attempt == 0 ? base : base + "-" + std::to_string(attempt + 1);
    // link() refuses an existing name, so an earlier copy is never replaced.
    if (::link(path_.c_str(), target.c_str()) == 0) {
      if (::unlink(path_.c_str()) != 0) return HResultFromLastErrno();
      NoteSetAside(target);
      return S_OK;
    }
    if (errno == EEXIST) continue;
    // File systems without hard links: a plain rename is safe as well
    // because every writer holds the lock and the name is checked first.
    struct stat st {};
    if (::lstat(target.c_str(), &st) == 0) continue;
    if (::rename(path_.c_str(), target.c_str()) != 0) return HResultFromLastErrno();
    NoteSetAside(target);
    return S_OK;
  }
  return HR_ALREADY_EXISTS;
}

void RegistryFile::NoteSetAside(const fs::path& keptAs) const {
  LogMgr::Get().Error(kCategory, "kept the unparsable hive as %s and started from the defaults",
                      keptAs.c_str());
  std::lock_guard<std::mutex> lock(gSetAsideMutex);
  gSetAside.push_back(SetAsideHive{path_, keptAs});
}

std::vector<SetAsideHive> TakeSetAsideHives() {
  std::lock_guard<std::mutex> lock(gSetAsideMutex);
  return std::exchange(gSetAside, {});
}

HRESULT RegistryFile::Load(RegistryHive& hive) const {
  HRESULT status;
  switch (ReadAndParse(hive, status)) {
    case ReadResult::Parsed:
      return S_OK;
    case ReadResult::Missing:
      hive = RegistryHive(root_);
      return S_OK;
    case ReadResult::Failed:
      return status;
    case ReadResult::Unparsable:
      break;
  }
  if (!writable_) return status;
  // Set the file aside under the lock, where Update() finds the same state.
  return Update([](RegistryHive&) { return false; }) == S_OK ? Load(hive) : E_FAIL;
}

HRESULT RegistryFile::Update(const std::function<bool(RegistryHive&)>& change) const {
  if (!writable_) return E_ACCESSDENIED;
  HRESULT status;
  int lockFd = Lock(status);
  if (lockFd < 0) return status;
  FdCloser unlock(lockFd);

  RegistryHive hive(root_);
  switch (ReadAndParse(hive, status)) {
    case ReadResult::Parsed:
    case ReadResult::Missing:
      break;
    case ReadResult::Failed:
      return status;  // never overwrite what could not be read
    case ReadResult::Unparsable:
      if (HRESULT hr = SetAside(); Failed(hr)) return hr;
      hive = RegistryHive(root_);
      break;
  }
  if (!change(hive)) return S_OK;
  return WriteAtomically(hive.Serialize());
}

HRESULT RegistryFile::WriteAtomically(const std::string& text) const {
  // Mode 0600: a hive may hold a password.
  HRESULT hr = WriteFileAtomically(path_, text, 0600);
  if (Failed(hr)) {
    LogMgr::Get().Warn(kCategory, "cannot write %s (0x%08X)", path_.c_str(), static_cast<unsigned>(hr));
  }
  return hr;
}

}  // namespace korvex
