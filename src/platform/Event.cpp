//===- platform/Event.cpp - Events over eventfd ---------------------------===//

#include "platform/Event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cassert>
#include <cerrno>
#include <chrono>
#include <new>
#include <vector>

#include "platform/SystemError.h"

namespace korvex {
namespace {

using Clock = std::chrono::steady_clock;

/// Remaining milliseconds for poll(), or -1 for an infinite wait.
int RemainingMs(std::int64_t timeoutMs, Clock::time_point start) {
  if (timeoutMs < 0) return -1;
  auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  std::int64_t left = timeoutMs - elapsed;
  if (left <= 0) return 0;
  return left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
}

bool IsReadable(int fd) {
  pollfd p{fd, POLLIN, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, 0);
  } while (rc < 0 && errno == EINTR);
  return rc > 0 && (p.revents & POLLIN) != 0;
}

}  // namespace

HRESULT Event::Create(bool manualReset, bool initiallySet, std::unique_ptr<Event>& event) {
  event.reset();
  const int fd = ::eventfd(initiallySet ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return HResultFromLastErrno();
  event.reset(new (std::nothrow) Event(fd, manualReset));
  if (event) return S_OK;
  ::close(fd);
  return E_OUTOFMEMORY;
}

Event::~Event() {
  if (fd_ >= 0) ::close(fd_);
}

void Event::Set() {
  std::uint64_t one = 1;
  // EAGAIN means the counter is saturated, i.e. already signalled.
  ssize_t rc;
  do {
    rc = ::write(fd_, &one, sizeof one);
  } while (rc < 0 && errno == EINTR);
}

void Event::Reset() {
  std::uint64_t value;
  ssize_t rc;
  do {
    rc = ::read(fd_, &value, sizeof value);
  } while (rc < 0 && errno == EINTR);
}

bool Event::TryConsume() {
  if (manualReset_) return IsReadable(fd_);
  // A non-semaphore eventfd read takes the whole counter, so several Set()
  // calls collapse into one signal, as they do for a kernel event.
  std::uint64_t value;
  ssize_t rc;
  do {
    rc = ::read(fd_, &value, sizeof value);
  } while (rc < 0 && errno == EINTR);
  return rc == static_cast<ssize_t>(sizeof value);
}

bool Event::Wait(std::int64_t timeoutMs) {
  Event* self = this;
  return WaitAny(std::span<Event* const>(&self, 1), timeoutMs) == 0;
}

int WaitAny(std::span<Event* const> events, std::int64_t timeoutMs) {
  // Nothing could ever end an infinite wait on no events.
  if (events.empty() && timeoutMs < 0) return kWaitTimeout;
  std::vector<pollfd> fds(events.size());
  for (std::size_t i = 0; i < events.size(); ++i) {
    assert(events[i] != nullptr && "WaitAny needs non-null events");
    fds[i] = pollfd{events[i]->Fd(), POLLIN, 0};
  }
  const auto start = Clock::now();
  for (;;) {
    int wait = RemainingMs(timeoutMs, start);
    int rc = ::poll(fds.data(), fds.size(), wait);
    if (rc < 0 && errno != EINTR) return kWaitTimeout;
    if (rc > 0) {
      // Another waiter may have consumed an auto-reset event between poll()
      // and the read; then keep waiting for the rest of the time-out.
      for (std::size_t i = 0; i < fds.size(); ++i) {
        if ((fds[i].revents & POLLIN) != 0 && events[i]->TryConsume()) return static_cast<int>(i);
      }
    }
    if (wait == 0) return kWaitTimeout;
  }
}

}  // namespace korvex
