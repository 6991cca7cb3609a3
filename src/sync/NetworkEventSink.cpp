#include "sync/NetworkEventSink.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "foundation/LogMgr.h"
#include "platform/SystemError.h"

namespace korvex {
namespace {

constexpr char kLogSource[] = "SensNetworkEventSink";

/// The text of a string attribute, without its terminating NUL.
std::string AttributeText(const rtattr* attribute) {
  const auto* data = static_cast<const char*>(RTA_DATA(attribute));
  const std::size_t length = RTA_PAYLOAD(attribute);
  return std::string(data, strnlen(data, length));
}

template <class Header>
std::string NameAttribute(const nlmsghdr* message, unsigned short type, std::size_t headerLength) {
  int length = static_cast<int>(message->nlmsg_len) - static_cast<int>(NLMSG_LENGTH(headerLength));
  for (auto* attribute = reinterpret_cast<const rtattr*>(
           reinterpret_cast<const char*>(NLMSG_DATA(message)) + NLMSG_ALIGN(sizeof(Header)));
       length > 0 && RTA_OK(attribute, length); attribute = RTA_NEXT(attribute, length)) {
    if (attribute->rta_type == type) return AttributeText(attribute);
  }
  return {};
}

}  // namespace

std::vector<NetworkChange> ParseRoutingMessages(std::span<const std::uint8_t> datagram) {
  std::vector<NetworkChange> changes;
  // Routing datagrams are a few KiB; anything past 1 MiB is not one.
  if (datagram.empty() || datagram.size() > (std::size_t{1} << 20)) return changes;
  // Netlink headers are 4-byte aligned; copy so that the macros may read
  // the buffer as headers whatever the caller's alignment.
  std::vector<std::uint32_t> aligned((datagram.size() + 3) / 4);
  std::memcpy(aligned.data(), datagram.data(), datagram.size());
  int length = static_cast<int>(datagram.size());
  for (auto* message = reinterpret_cast<const nlmsghdr*>(aligned.data()); NLMSG_OK(message, length);
       message = NLMSG_NEXT(message, length)) {
    const unsigned type = message->nlmsg_type;
    if (type == NLMSG_DONE) break;
    if ((type == RTM_NEWLINK || type == RTM_DELLINK) && message->nlmsg_len >= NLMSG_LENGTH(sizeof(ifinfomsg))) {
      const auto* info = static_cast<const ifinfomsg*>(NLMSG_DATA(message));
      NetworkChange change;
      const bool running = type == RTM_NEWLINK && (info->ifi_flags & IFF_RUNNING) != 0;
      change.kind = running ? NetworkChange::Kind::kLinkUp : NetworkChange::Kind::kLinkDown;
      change.interfaceIndex = info->ifi_index;
      change.name = NameAttribute<ifinfomsg>(message, IFLA_IFNAME, sizeof(ifinfomsg));
      changes.push_back(std::move(change));
    } else if ((type == RTM_NEWADDR || type == RTM_DELADDR) &&
               message->nlmsg_len >= NLMSG_LENGTH(sizeof(ifaddrmsg))) {
      const auto* info = static_cast<const ifaddrmsg*>(NLMSG_DATA(message));
      NetworkChange change;
      change.kind = type == RTM_NEWADDR ? NetworkChange::Kind::kAddressAdded : NetworkChange::Kind::kAddressRemoved;
      change.interfaceIndex = static_cast<std::int32_t>(info->ifa_index);
      change.name = NameAttribute<ifaddrmsg>(message, IFA_LABEL, sizeof(ifaddrmsg));
      changes.push_back(std::move(change));
    }
  }
  return changes;
}

NetworkEventSink::NetworkEventSink(ConnectedCallback onConnected, int socketFd)
    : ThreadBase("KorvexNetEvents"), onConnected_(std::move(onConnected)), fd_(socketFd) {}

NetworkEventSink::~NetworkEventSink() {
  (void)Stop(true);
  if (fd_ >= 0) ::close(fd_);
}

HRESULT NetworkEventSink::Open() {
  if (fd_ < 0) {
    const int fd = ::socket(AF_NETLINK, SOCK_RAW | SOCK_CLOEXEC, NETLINK_ROUTE);
    if (fd < 0) return HResultFromLastErrno();
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = RTMGRP_LINK | RTMGRP_IPV4_IFADDR | RTMGRP_IPV6_IFADDR;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      const HRESULT hr = HResultFromLastErrno();
      ::close(fd);
      return hr;
    }
    fd_ = fd;
  }
  return Start();
}

void NetworkEventSink::Deliver(const NetworkChange& change) {
  using Kind = NetworkChange::Kind;
  bool connected = change.kind == Kind::kLinkUp || change.kind == Kind::kAddressAdded;
  if (change.kind == Kind::kLinkUp || change.kind == Kind::kLinkDown) {
    const auto known = running_.find(change.interfaceIndex);
    if (known != running_.end() && known->second == connected) return;
    running_[change.interfaceIndex] = connected;
  }
  std::string name = change.name;
  if (name.empty() && change.interfaceIndex > 0) {
    char buffer[IF_NAMESIZE] = {};
    if (::if_indextoname(static_cast<unsigned>(change.interfaceIndex), buffer) != nullptr) name = buffer;
  }
  const char* shown = name.empty() ? "NULL" : name.c_str();
  if (!connected) {
    LogMgr::Get().Trace(kLogSource, "SENS Event: %s disconnected", shown);
    return;
  }
  LogMgr::Get().Trace(kLogSource, "SENS Event: %s connected", shown);
  if (onConnected_) onConnected_(name);
}

void NetworkEventSink::Run() {
  std::array<std::uint8_t, 16384> buffer{};
  pollfd watched[2] = {{StopEvent().Fd(), POLLIN, 0}, {fd_, POLLIN, 0}};
  for (;;) {
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      LogMgr::Get().Error(kLogSource, "poll failed, errno %d", errno);
      return;
    }
    if (watched[0].revents != 0 || IsStopping()) return;
    if (watched[1].revents & (POLLERR | POLLHUP | POLLNVAL)) {
      if ((watched[1].revents & POLLIN) == 0) return;
    }
    const ssize_t got = ::recv(fd_, buffer.data(), buffer.size(), MSG_DONTWAIT);
    // An overrun (ENOBUFS) loses messages, not the socket: keep listening.
    if (got <= 0) {
      if (got < 0 && (errno == ENOBUFS || errno == EAGAIN || errno == EINTR)) continue;
      return;
    }
    for (const NetworkChange& change : ParseRoutingMessages({buffer.data(), static_cast<std::size_t>(got)}))
      Deliver(change);
  }
}

}  // namespace korvex
