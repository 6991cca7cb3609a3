//===- net/LoginForm.cpp - The two login requests on the wire ------------===//

#include "net/LoginForm.h"

#include <ifaddrs.h>
#include <linux/if_packet.h>
#include <net/if.h>
#include <sys/socket.h>

#include <algorithm>

#include <boost/format.hpp>
#include <boost/tokenizer.hpp>

#include "platform/AsciiText.h"
#include "platform/PercentEncoding.h"

namespace korvex {
namespace {

bool IsDomainByte(unsigned char byte) {
  return IsAsciiAlphanumeric(byte) || byte == '.' || byte == '-' || byte == '_';
}

}  // namespace

std::string EncodeLoginField(std::string_view utf8) {
  return PercentEncode(utf8, IsAsciiAlphanumeric);
}

std::string EncodeLoginDomain(std::string_view utf8) {
  return PercentEncode(utf8, IsDomainByte);
}

std::string FormatAccountLoginBody(std::string_view format, const LoginInput& input,
                                   std::string_view macList) {
  const bool hasDomain = format.find("%3%") != std::string_view::npos;
  const bool hasMac = hasDomain && format.find("%4%") != std::string_view::npos;
  try {
    boost::format body{std::string(format)};
    body % EncodeLoginField(input.loginName) % EncodeLoginField(input.password);
    if (hasDomain) body % EncodeLoginDomain(input.domain);
    if (hasMac) body % std::string(macList);
    return body.str();
  } catch (const boost::io::format_error&) {
    // A replaced format with placeholders other than %1%..%4% cannot be
    // filled; an empty body makes the login fail visibly instead.
    return {};
  }
}

std::string FormatAccessCodeLoginBody(const LoginInput& input) {
  return (boost::format(std::string(kAccessCodeLoginFormat)) % EncodeLoginField(input.accessCode))
      .str();
}

std::string FormatMacAddressList(std::span<const std::vector<std::uint8_t>> addresses) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string list;
  for (const auto& address : addresses) {
    if (address.empty()) continue;
    if (!list.empty()) list += ',';
    for (std::size_t i = 0; i < address.size(); ++i) {
      if (i > 0) list += '-';
      list += kHex[address[i] >> 4];
      list += kHex[address[i] & 0x0F];
    }
  }
  return list;
}

std::string MacAddressList() {
  ifaddrs* interfaces = nullptr;
  if (::getifaddrs(&interfaces) != 0) return {};
  std::vector<std::vector<std::uint8_t>> addresses;
  for (const ifaddrs* it = interfaces; it != nullptr; it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_PACKET) continue;
    if ((it->ifa_flags & IFF_LOOPBACK) != 0) continue;
    const auto* link = reinterpret_cast<const sockaddr_ll*>(it->ifa_addr);
    const std::size_t length = std::min<std::size_t>(link->sll_halen, sizeof link->sll_addr);
    addresses.emplace_back(link->sll_addr, link->sll_addr + length);
  }
  ::freeifaddrs(interfaces);
  return FormatMacAddressList(addresses);
}

std::string SetCookieValue(const std::deque<std::string>& setCookies, std::string_view name) {
  using Tokenizer = boost::tokenizer<boost::char_separator<char>>;
  const boost::char_separator<char> separator(";", "", boost::keep_empty_tokens);
  for (const std::string& cookie : setCookies) {
    for (const std::string& part : Tokenizer(cookie, separator)) {
      if (part.size() > name.size() && part[name.size()] == '=' &&
          StartsWithIgnoringAsciiCase(part, name)) {
        return part.substr(name.size() + 1);
      }
    }
  }
  return {};
}

std::string AccountName(std::string_view loginName, std::string_view domain) {
  std::string name(loginName);
  if (!domain.empty()) name.append("@").append(domain);
  return name;
}

}  // namespace korvex
