//===- platform/InstanceChannel.cpp - One running client per user ---------===//

#include "platform/InstanceChannel.h"

#include "platform/SystemError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

namespace korvex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kChannelName = "KorvexDataSMB.Running";

// A first client that has its lock but not yet its socket is given this
// long to start listening before the second one gives up knocking.
constexpr int kKnockAttempts = 20;
constexpr auto kKnockPause = std::chrono::milliseconds(100);

fs::path RuntimeFolder() {
  if (const char* home = std::getenv("KORVEX_HOME"); home && *home) {
    std::error_code ec;
    fs::create_directories(fs::path(home) / "run", ec);
    return fs::path(home) / "run";
  }
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) return runtime;
  return {};
}

// A path socket when the runtime folder exists and the path fits, else a
// per-user abstract name (leading NUL). `length` is the address length.
sockaddr_un ChannelAddress(const fs::path& folder, socklen_t& length) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = folder.empty() ? std::string() : (folder / kChannelName).string();
  std::error_code ec;
  if (!path.empty() && path.size() < sizeof address.sun_path && fs::is_directory(folder, ec)) {
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size() + 1);
    return address;
  }
  const std::string name = std::string(kChannelName) + "." + std::to_string(::getuid());
  std::memcpy(address.sun_path + 1, name.data(), name.size());
  length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
  return address;
}

bool IsAbstract(const sockaddr_un& address) { return address.sun_path[0] == '\0'; }

// Asks the running client to show itself. Its lock may be a moment older
// than its socket, so a refused connection is tried again for a while.
void Knock(const sockaddr_un& address, socklen_t length) {
  for (int attempt = 0; attempt < kKnockAttempts; ++attempt) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), length) == 0) {
      // The running client may accept and close before this byte arrives; a
      // broken pipe then must not kill this process.
      const char knock = 's';
      (void)::send(fd, &knock, 1, MSG_NOSIGNAL);
      ::close(fd);
      return;
    }
    ::close(fd);
    std::this_thread::sleep_for(kKnockPause);
  }
}

// Binds and listens; the error status of the first call that failed.
HRESULT Listen(const sockaddr_un& address, socklen_t length, int& listenFd) {
  listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listenFd < 0) return HResultFromLastErrno();
  if (::bind(listenFd, reinterpret_cast<const sockaddr*>(&address), length) != 0 || ::listen(listenFd, 8) != 0) {
    const HRESULT hr = HResultFromLastErrno();
    ::close(listenFd);
    listenFd = -1;
    return hr;
  }
  return S_OK;
}

}  // namespace

HRESULT InstanceChannel::Claim(std::unique_ptr<InstanceChannel>& channel) {
  channel.reset();
  socklen_t length = 0;
  const sockaddr_un address = ChannelAddress(RuntimeFolder(), length);
  int listenFd = -1;
  if (IsAbstract(address)) {
    const HRESULT hr = Listen(address, length, listenFd);
    if (hr == HResultFromErrno(EADDRINUSE)) {
      Knock(address, length);
      return S_FALSE;
    }
    if (Failed(hr)) return hr;
    channel.reset(new InstanceChannel(listenFd, -1, {}));
    return S_OK;
  }

  const std::string socketPath = address.sun_path;
  const std::string lockPath = socketPath + ".lock";
  const int lockFd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (lockFd < 0) return HResultFromLastErrno();
  if (::flock(lockFd, LOCK_EX | LOCK_NB) != 0) {
    const int err = errno;
    ::close(lockFd);
    if (err != EWOULDBLOCK) return HResultFromErrno(err);
    Knock(address, length);
    return S_FALSE;
  }
  // Holding the lock, any socket file left here is a crashed client's.
  ::unlink(socketPath.c_str());
  if (const HRESULT hr = Listen(address, length, listenFd); Failed(hr)) {
    ::close(lockFd);
    return hr;
  }
  ::chmod(socketPath.c_str(), 0600);
  channel.reset(new InstanceChannel(listenFd, lockFd, socketPath));
  return S_OK;
}

InstanceChannel::~InstanceChannel() {
  if (listenFd_ >= 0) ::close(listenFd_);
  // The socket file goes before the lock, so that no later client that
  // already holds the lock can lose its fresh socket to this unlink.
  if (!socketPath_.empty()) ::unlink(socketPath_.c_str());
  if (lockFd_ >= 0) ::close(lockFd_);
}

int InstanceChannel::TakeKnocks() {
  int knocks = 0;
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) return knocks;
    ::close(fd);
    ++knocks;
  }
}

}  // namespace korvex
