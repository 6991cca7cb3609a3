//===- net/LoginForm.h - The two login requests on the wire -----*- C++ -*-===//
///
/// What the login sends to the service's web site and what it reads back
/// from the transport: the form bodies of the account and access-code
/// logins, the adapter list the account login reports, and the session
/// cookies of the answer. Parsing the answer's JSON is the service layer's
/// job (service/Login.h); everything here is plain text.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <deque>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace korvex {

enum class LoginMode {
  Account,     ///< login name, password and enterprise domain
  AccessCode,  ///< an upload access code; yields only the upload folder
};

/// What the user typed, as UTF-8.
struct LoginInput {
  LoginMode mode = LoginMode::Account;
  std::string loginName;
  std::string password;
  std::string domain;
  std::string accessCode;
};

inline constexpr std::string_view kAccountLoginPath = "/2nddomain/loginnorandom";
inline constexpr std::string_view kAccessCodeLoginPath = "/accesscode/login";
inline constexpr std::string_view kLoginContentType =
    "Content-Type: application/x-www-form-urlencoded";

/// The account body as the service has always accepted it. Deployments
/// with an older login page replace it with a format lacking "%3%" (name and
/// password only) or "%4%" (no adapter list).
inline constexpr std::string_view kDefaultAccountLoginFormat =
    "loginname=%1%&password=%2%&domain=%3%&macaddr=%4%";
inline constexpr std::string_view kAccessCodeLoginFormat = "code=%1%";

/// The name box holds this many UTF-16 code units; a longer name is refused
/// before anything is sent.
inline constexpr std::size_t kMaxLoginNameUnits = 100;

/// Login name, password and access code: every byte except ASCII letters
/// and digits becomes "%XX" (upper-case hex), so "a b" is "a%20b" and
/// U+00E4 is "%C3%A4".
[[nodiscard]] std::string EncodeLoginField(std::string_view utf8);

/// The domain keeps '.', '-' and '_' as well, so an ordinary enterprise
/// domain stays byte-identical on the wire, while "&" or "=" typed into it
/// can no longer add or change form fields.
[[nodiscard]] std::string EncodeLoginDomain(std::string_view utf8);

/// Fills `format` with the encoded fields of `input`: only name and password
/// when it holds no "%3%", the first three when it holds "%3%" but no "%4%",
/// otherwise all four with `macList` unchanged as the fourth. An unusable
/// format yields an empty body.
[[nodiscard]] std::string FormatAccountLoginBody(std::string_view format, const LoginInput& input,
                                                 std::string_view macList);

/// "code=" and the encoded access code.
[[nodiscard]] std::string FormatAccessCodeLoginBody(const LoginInput& input);

/// Adapter addresses as "-"-joined upper-case hex pairs, adapters joined by
/// ","; adapters without an address are skipped, none gives "".
[[nodiscard]] std::string FormatMacAddressList(
    std::span<const std::vector<std::uint8_t>> addresses);

/// The hardware addresses of this machine's adapters (getifaddrs, AF_PACKET,
/// loopback excluded) in the form above; "" when there are none or the list
/// cannot be read.
[[nodiscard]] std::string MacAddressList();

/// The value of cookie `name` in a completion's Set-Cookie list: for each
/// value in order, the first ";"-separated part that starts with `name` and
/// "=" (name compared without regard to ASCII case); "" when no value
/// carries it.
[[nodiscard]] std::string SetCookieValue(const std::deque<std::string>& setCookies,
                                         std::string_view name);

/// "name@domain", or the name alone when the domain is empty. It captions
/// the account and names its per-account folder and settings subkey.
[[nodiscard]] std::string AccountName(std::string_view loginName, std::string_view domain);

}  // namespace korvex
