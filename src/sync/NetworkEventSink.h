//===- sync/NetworkEventSink.h - Tells when the network comes back -*- C++ -*-===//
///
/// Watches the kernel's routing messages (an rtnetlink socket joined to the
/// link and address groups) and tells its owner when a connection has been
/// made, so that work cut off by a lost network can resume. A link that
/// starts running, or an address that is added, counts as connected; a link
/// that stops running or goes away, or an address that is removed, counts as
/// disconnected, which is logged and nothing else. A link reporting the
/// state it already had says nothing.
///
///   (idle) --Start--> watching --message--> log; callback on "connected"
///                        |
///                        +--Stop--> (idle)
///
/// The callback runs on the sink's thread and must not block for long.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "tasks/ThreadBase.h"

namespace korvex {

/// One change read from the routing messages.
struct NetworkChange {
  enum class Kind { kLinkUp, kLinkDown, kAddressAdded, kAddressRemoved };
  Kind kind = Kind::kLinkUp;
  std::int32_t interfaceIndex = 0;
  /// The interface name as the message gives it; may be empty.
  std::string name;
  bool operator==(const NetworkChange&) const = default;
};

/// The changes in one datagram of routing messages; messages of other
/// types, and malformed ones, are skipped.
[[nodiscard]] std::vector<NetworkChange> ParseRoutingMessages(std::span<const std::uint8_t> datagram);

class NetworkEventSink : public ThreadBase {
 public:
  using ConnectedCallback = std::function<void(const std::string& name)>;

  /// `onConnected` is called with the connection's name (possibly empty).
  /// `socketFd` (owned from now on) replaces the routing socket that Start()
  /// would open, for a caller that feeds the messages itself.
  explicit NetworkEventSink(ConnectedCallback onConnected, int socketFd = -1);
  ~NetworkEventSink() override;

  /// Opens the routing socket (unless one was given) and starts the thread
  /// (ThreadBase::Start). The socket's failure (an errno-based code) when it
  /// cannot be opened, as where netlink is not allowed.
  [[nodiscard]] HRESULT Open();

  /// Logs `change` and calls the owner on a made connection.
  void Deliver(const NetworkChange& change);

 protected:
  void Run() override;

 private:
  ConnectedCallback onConnected_;
  int fd_ = -1;
  /// Whether each link was running when last heard of; touched only by the
  /// thread that delivers.
  std::map<std::int32_t, bool> running_;
};

}  // namespace korvex
