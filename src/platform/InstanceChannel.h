//===- platform/InstanceChannel.h - One running client per user -*- C++ -*-===//
///
/// The first client a user starts claims the channel: it holds an advisory
/// lock on "KorvexDataSMB.Running.lock" in the user's runtime folder and
/// listens on the Unix socket "KorvexDataSMB.Running" beside it. A later
/// start finds the lock taken, connects and knocks once, which asks the
/// first client to bring its window forward, and then ends.
///
/// The lock, not the socket file, decides who is first: a client that
/// crashed leaves its socket file behind but the kernel drops its lock, so
/// the next start takes over. Without a usable runtime folder the socket
/// lives in the abstract namespace under a per-user name, where binding the
/// name is itself the claim.
///
/// The runtime folder is $KORVEX_HOME/run when KORVEX_HOME is set (tests run
/// side by side), else $XDG_RUNTIME_DIR.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"

#include <memory>
#include <string>

namespace korvex {

class InstanceChannel {
 public:
  /// S_OK with `channel` set when this process is the first; S_FALSE when
  /// another client runs (it has been knocked on, or was still starting and
  /// could not be reached within about two seconds). A failure status means
  /// no channel could be made: the caller runs without the single-instance
  /// guard rather than not at all.
  [[nodiscard]] static HRESULT Claim(std::unique_ptr<InstanceChannel>& channel);

  ~InstanceChannel();
  InstanceChannel(const InstanceChannel&) = delete;
  InstanceChannel& operator=(const InstanceChannel&) = delete;

  /// The listening socket: readable while a knock waits. Stays owned here.
  [[nodiscard]] int Fd() const noexcept { return listenFd_; }
  /// Accepts and closes every waiting knock without blocking; returns how
  /// many there were.
  int TakeKnocks();

 private:
  InstanceChannel(int listenFd, int lockFd, std::string socketPath)
      : listenFd_(listenFd), lockFd_(lockFd), socketPath_(std::move(socketPath)) {}

  int listenFd_ = -1;
  int lockFd_ = -1;         // -1 for an abstract name
  std::string socketPath_;  // empty for an abstract name
};

}  // namespace korvex
