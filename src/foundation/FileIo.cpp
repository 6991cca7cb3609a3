//===- foundation/FileIo.cpp - Whole reads and all-or-nothing writes ------===//

#include "foundation/FileIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <string>

#include "platform/SystemError.h"

namespace korvex {
namespace {

// read(2) and pread(2) move at most this much per call on Linux anyway.
constexpr std::size_t kMaxIoSlice = 0x7ffff000;

constexpr int kTempNameAttempts = 16;
// Keeps ".<name>.<8 hex>.part" within the 255-byte name limit.
constexpr std::size_t kMaxTempStem = 200;

std::string TempSuffix() {
  static std::atomic<std::uint32_t> counter{0};
  const auto ticks = static_cast<std::uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  const std::uint32_t mix = static_cast<std::uint32_t>(ticks ^ (ticks >> 32)) ^
                            (static_cast<std::uint32_t>(::getpid()) << 16) ^
                            (counter.fetch_add(1) * 0x9E3779B9u);
  char text[9];
  std::snprintf(text, sizeof text, "%08x", mix);
  return text;
}

}  // namespace

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

HRESULT InputFile::Open(const std::filesystem::path& path) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd_ < 0) return HResultFromLastErrno();
  struct stat st{};
  if (::fstat(fd_, &st) != 0) return HResultFromLastErrno();
  if (S_ISDIR(st.st_mode)) {
    ::close(fd_);
    fd_ = -1;
    return HResultFromErrno(EISDIR);
  }
  return S_OK;
}

HRESULT InputFile::Read(void* buffer, std::size_t length, std::size_t* got) {
  *got = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (*got < length) {
    const std::size_t want = std::min(length - *got, kMaxIoSlice);
    const ssize_t n = ::read(fd_, bytes + *got, want);
    if (n < 0) {
      if (errno == EINTR) continue;
      return HResultFromLastErrno();
    }
    if (n == 0) break;
    *got += static_cast<std::size_t>(n);
  }
  return S_OK;
}

HRESULT InputFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t length,
                          std::size_t* got) {
  *got = 0;
  auto* bytes = static_cast<unsigned char*>(buffer);
  while (*got < length) {
    const std::size_t want = std::min(length - *got, kMaxIoSlice);
    const ssize_t n = ::pread(fd_, bytes + *got, want, static_cast<off_t>(offset + *got));
    if (n < 0) {
      if (errno == EINTR) continue;
      return HResultFromLastErrno();
    }
    if (n == 0) break;
    *got += static_cast<std::size_t>(n);
  }
  return S_OK;
}

HRESULT InputFile::Rewind() {
  if (::lseek(fd_, 0, SEEK_SET) < 0) return HResultFromLastErrno();
  return S_OK;
}

HRESULT InputFile::Size(std::uint64_t* size) const {
  struct stat st{};
  if (::fstat(fd_, &st) != 0) return HResultFromLastErrno();
  *size = static_cast<std::uint64_t>(st.st_size);
  return S_OK;
}

SiblingFileWriter::~SiblingFileWriter() { Discard(); }

HRESULT SiblingFileWriter::Open(const std::filesystem::path& target) {
  Discard();
  target_ = target;
  std::string stem = target.filename().string();
  if (stem.size() > kMaxTempStem) stem.resize(kMaxTempStem);
  // Writing into an existing file keeps its permissions; the rename must not
  // turn a private 0600 plaintext into a 0644 one. Set-id bits are dropped,
  // as a write into the file would drop them.
  struct stat existing{};
  const bool keepMode = ::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
  for (int attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    std::filesystem::path candidate = target.parent_path() / ("." + stem + "." + TempSuffix() + ".part");
    fd_ = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      temp_ = std::move(candidate);
      if (keepMode && ::fchmod(fd_, existing.st_mode & 0777) != 0) {
        const HRESULT hr = HResultFromLastErrno();
        Discard();
        return hr;
      }
      return S_OK;
    }
    if (errno != EEXIST) return HResultFromLastErrno();
  }
  return HResultFromErrno(EEXIST);
}

HRESULT SiblingFileWriter::Write(const void* data, std::size_t length) {
  if (fd_ < 0) return E_UNEXPECTED;
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (length > 0) {
    const ssize_t n = ::write(fd_, bytes, std::min(length, kMaxIoSlice));
    if (n < 0) {
      if (errno == EINTR) continue;
      return HResultFromLastErrno();
    }
    bytes += n;
    length -= static_cast<std::size_t>(n);
  }
  return S_OK;
}

HRESULT SiblingFileWriter::Commit() {
  if (fd_ < 0) return E_UNEXPECTED;
  // Flushed before the rename, so that a crash can leave the old target or
  // the new one, never an empty file under the target's name.
  if (::fsync(fd_) != 0) return HResultFromLastErrno();
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return HResultFromLastErrno();
  if (::rename(temp_.c_str(), target_.c_str()) != 0) return HResultFromLastErrno();
  temp_.clear();
  return S_OK;
}

void SiblingFileWriter::Discard() noexcept {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

}  // namespace korvex
