//===- sync/BackupRunnerLock.cpp - One runner of an account's backups -----===//

#include "sync/BackupRunnerLock.h"

#include "platform/Event.h"
#include "platform/SystemError.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace korvex {
namespace {

constexpr char kLockFileName[] = "backup.lock";

Event* g_syncNowEvent = nullptr;

extern "C" void OnSyncNowSignal(int) {
  const int saved = errno;
  // An eventfd write is safe in a handler, whichever thread runs it.
  if (g_syncNowEvent != nullptr) g_syncNowEvent->Set();
  errno = saved;
}

}  // namespace

BackupRunnerLock::BackupRunnerLock(std::filesystem::path folder) : path_(std::move(folder) / kLockFileName) {}

BackupRunnerLock::~BackupRunnerLock() { Release(); }

HRESULT BackupRunnerLock::TryAcquire(const std::string& program) {
  if (held_) return S_OK;
  if (fd_ < 0) {
    fd_ = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd_ < 0) return HResultFromErrno(errno);
  }
  if (::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EWOULDBLOCK || errno == EINTR) return S_FALSE;
    return HResultFromErrno(errno);
  }
  held_ = true;
  const std::string text = std::to_string(::getpid()) + " " + program + "\n";
  if (::ftruncate(fd_, 0) != 0 || ::pwrite(fd_, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size())) {
    const HRESULT hr = HResultFromErrno(errno);
    Release();
    return hr;
  }
  return S_OK;
}

void BackupRunnerLock::Release() {
  held_ = false;
  if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  fd_ = -1;
}

BackupRunner BackupRunnerLock::Holder() const {
  BackupRunner runner;
  const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return runner;
  // A shared lock granted means that nobody holds the exclusive one; the
  // text may then be a dead holder's.
  if (::flock(fd, LOCK_SH | LOCK_NB) == 0) {
    ::close(fd);
    return runner;
  }
  char text[256] = {};
  const ssize_t n = ::pread(fd, text, sizeof text - 1, 0);
  ::close(fd);
  if (n <= 0) return runner;
  std::string line(text, static_cast<std::size_t>(n));
  if (const auto end = line.find('\n'); end != std::string::npos) line.erase(end);
  const auto space = line.find(' ');
  runner.pid = static_cast<pid_t>(std::atol(line.substr(0, space).c_str()));
  if (space != std::string::npos) runner.program = line.substr(space + 1);
  return runner;
}

HRESULT AskRunnerToBackUpNow(const BackupRunner& runner) {
  if (runner.pid <= 0) return HR_FILE_NOT_FOUND;
  if (::kill(runner.pid, SIGUSR1) != 0) return errno == ESRCH ? HR_FILE_NOT_FOUND : HResultFromErrno(errno);
  return S_OK;
}

Event* SyncNowSignalEvent() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::unique_ptr<Event> event;
    if (Failed(Event::Create(false, false, event))) return;
    // Lives as long as the process: a handler may run at any moment.
    g_syncNowEvent = event.release();
    struct sigaction action {};
    action.sa_handler = OnSyncNowSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGUSR1, &action, nullptr);
  });
  return g_syncNowEvent;
}

}  // namespace korvex
