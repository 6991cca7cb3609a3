//===- cli/TransferRunner.cpp - One runner of an account's transfers ------===//

#include "cli/TransferRunner.h"

#include "platform/SystemError.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <thread>

extern char** environ;

namespace korvex::cli {
namespace {

pid_t HolderOf(int fd) {
  char text[32] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  return n > 0 ? static_cast<pid_t>(std::atol(text)) : 0;
}

}  // namespace

TransferLock::~TransferLock() {
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
}

HRESULT TransferLock::Acquire(const std::filesystem::path& folder, const std::atomic<bool>& interrupted,
                              void (*busy)(pid_t holder)) {
  fd_ = ::open((folder / "runner.lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) return HResultFromErrno(errno);
  bool told = false;
  // Polled rather than blocking, so that Ctrl-C ends the wait.
  for (;;) {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) break;
    if (errno != EWOULDBLOCK && errno != EINTR) return HResultFromErrno(errno);
    const pid_t holder = HolderOf(fd_);
    if (!told) {
      std::cerr << "waiting for korvex process " << holder << ", which runs this account's transfers" << std::endl;
      told = true;
    }
    if (busy) busy(holder);
    if (interrupted) return E_ABORT;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  const std::string pid = std::to_string(::getpid()) + "\n";
  if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, pid.data(), pid.size(), 0) != static_cast<ssize_t>(pid.size()))
    return HResultFromErrno(errno);
  return S_OK;
}

HRESULT SpawnDetachedResume(const std::vector<std::uint32_t>& ids, const std::vector<std::string>& passOn) {
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return HResultFromErrno(errno);
  self[length] = '\0';
  std::vector<std::string> words{self};
  words.insert(words.end(), passOn.begin(), passOn.end());
  words.insert(words.end(), {"transfers", "resume"});
  for (std::uint32_t id : ids) words.push_back(std::to_string(id));
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  // Its own session: closing the terminal or Ctrl-C there does not reach it.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t child = 0;
  const int error = ::posix_spawn(&child, self, &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? S_OK : HResultFromErrno(error);
}

}  // namespace korvex::cli
