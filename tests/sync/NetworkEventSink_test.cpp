// Routing messages fed through a socket pair, so no privilege is needed:
// what counts as a made or lost connection, what is logged, and that only a
// made connection reaches the owner.

#include "sync/NetworkEventSink.h"
#include "support/TempHome.h"

#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <net/if.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

namespace korvex {
namespace {

/// One routing message of `type` for interface `index`, with the name
/// attribute when `name` is not empty.
std::string Message(std::uint16_t type, std::int32_t index, unsigned flags, const std::string& name) {
  const bool link = type == RTM_NEWLINK || type == RTM_DELLINK;
  const std::size_t body = link ? sizeof(ifinfomsg) : sizeof(ifaddrmsg);
  const std::size_t attribute = name.empty() ? 0 : RTA_SPACE(name.size() + 1);
  std::string out(NLMSG_SPACE(body) + attribute, '\0');
  auto* header = reinterpret_cast<nlmsghdr*>(out.data());
  header->nlmsg_len = static_cast<std::uint32_t>(NLMSG_LENGTH(body) + attribute);
  header->nlmsg_type = type;
  if (link) {
    auto* info = static_cast<ifinfomsg*>(NLMSG_DATA(header));
    info->ifi_index = index;
    info->ifi_flags = flags;
  } else {
    static_cast<ifaddrmsg*>(NLMSG_DATA(header))->ifa_index = static_cast<std::uint32_t>(index);
  }
  if (!name.empty()) {
    auto* rta = reinterpret_cast<rtattr*>(out.data() + NLMSG_SPACE(body));
    rta->rta_type = static_cast<unsigned short>(link ? unsigned{IFLA_IFNAME} : unsigned{IFA_LABEL});
    rta->rta_len = static_cast<unsigned short>(RTA_LENGTH(name.size() + 1));
    std::memcpy(RTA_DATA(rta), name.c_str(), name.size() + 1);
  }
  return out;
}

class NetworkEventSinkTest : public testing::TempHomeTest {};

TEST_F(NetworkEventSinkTest, ConnectionsMadeReachTheOwnerAndLossesAreOnlyLogged) {
  LogMgr::Get().SetThreshold(kLogTrace);
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair), 0);
  std::mutex mutex;
  std::vector<std::string> connected;
  NetworkEventSink sink(
      [&](const std::string& name) {
        std::lock_guard lock(mutex);
        connected.push_back(name);
      },
      pair[0]);
  ASSERT_EQ(sink.Open(), S_OK);

  const std::string datagrams[] = {
      Message(RTM_NEWLINK, 70001, IFF_UP | IFF_RUNNING, "veth-test"),
      Message(RTM_NEWLINK, 70001, IFF_UP | IFF_RUNNING, "veth-test"),  // no change: silent
      Message(RTM_NEWLINK, 70001, IFF_UP, "veth-test") + Message(RTM_DELADDR, 70001, 0, "veth-test"),
      Message(RTM_NEWROUTE, 70001, 0, "") + Message(RTM_NEWADDR, 70002, 0, ""),
  };
  for (const std::string& datagram : datagrams)
    ASSERT_EQ(::send(pair[1], datagram.data(), datagram.size(), 0), static_cast<ssize_t>(datagram.size()));
  for (int i = 0; i < 500 && !log_->Contains("NULL connected"); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(sink.Stop(true, 10000));
  ::close(pair[1]);

  EXPECT_EQ(connected, (std::vector<std::string>{"veth-test", ""}));
  const std::string log = log_->All();
  auto count = [&log](const std::string& text) {
    std::size_t n = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("SENS Event: veth-test connected"), 1u) << log;
  EXPECT_EQ(count("SENS Event: veth-test disconnected"), 2u) << log;
  EXPECT_EQ(count("SENS Event: NULL connected"), 1u) << log;
}

TEST(ParseRoutingMessages, SkipsTruncatedAndForeignMessages) {
  const std::string link = Message(RTM_NEWLINK, 3, IFF_RUNNING, "eth0");
  const std::string whole = Message(RTM_NEWADDR, 3, 0, "eth0") + link;
  const auto changes = ParseRoutingMessages({reinterpret_cast<const std::uint8_t*>(whole.data()), whole.size()});
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0], (NetworkChange{NetworkChange::Kind::kAddressAdded, 3, "eth0"}));
  EXPECT_EQ(changes[1], (NetworkChange{NetworkChange::Kind::kLinkUp, 3, "eth0"}));
  for (std::size_t cut : {std::size_t{0}, std::size_t{10}, link.size() - 1}) {
    SCOPED_TRACE(cut);
    EXPECT_TRUE(ParseRoutingMessages({reinterpret_cast<const std::uint8_t*>(link.data()), cut}).empty());
  }
}

}  // namespace
}  // namespace korvex
