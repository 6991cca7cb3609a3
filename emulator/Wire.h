// Wire helpers of korvexd: form bodies, cookies, ranges, dates, envelopes.
//
// Everything the service writes goes through these helpers so that each
// answer has exactly one shape, whichever route produces it.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "HttpMessage.h"
#include <nlohmann/json.hpp>

namespace korvexd {

using Json = nlohmann::json;
using Form = std::map<std::string, std::string>;

/// Decodes "%XX" escapes and "+" as a blank; a malformed escape stays as it is.
std::string PercentDecode(std::string_view text);

/// Percent-encodes every byte except ASCII letters and digits.
std::string PercentEncode(std::string_view text);

/// Parses "k=v&k2=v2" (values decoded). The first occurrence of a key wins.
Form ParseForm(std::string_view body);

/// Value of a cookie of the request's "Cookie" headers; empty when absent.
std::string RequestCookie(const Request& req, std::string_view name);

/// Strict unsigned decimal (digits only, fits in 64 bits).
std::optional<std::uint64_t> ParseU64(std::string_view text);
/// Strict signed decimal.
std::optional<std::int64_t> ParseI64(std::string_view text);

/// A "bytes=A-B" range as the client writes it (also with "%3D" for "=").
struct ByteRange {
  std::uint64_t first = 0;
  std::uint64_t last = 0;  // as written; exclusive or inclusive per request
};
std::optional<ByteRange> ParseByteRange(std::string_view text);

/// "YYYY-MM-DD HH:MM:SS" in UTC, which the client reads with "%d-%d-%d %d:%d:%d".
std::string FormatDate(std::int64_t unixSeconds);
/// Reverse of FormatDate; also accepts a date without time.
std::optional<std::int64_t> ParseDate(std::string_view text);
std::int64_t NowSeconds();

/// Upper-case hex of bytes.
std::string Hex(const unsigned char* data, std::size_t size);
/// Random upper-case hex text of 2*bytes characters.
std::string RandomHex(std::size_t bytes);

/// Serialises JSON without ever throwing on invalid UTF-8.
std::string Dump(const Json& value);

// ---- answers ----

/// {"result":1, ...fields}
void ReplyOk(Response& res, Json fields = Json::object());
/// {"result":0,"errmsg":...,"state":"N"}; state travels as a string.
void ReplyRefusal(Response& res, std::int64_t state, std::string_view errmsg,
                  Json extra = Json::object());
void ReplyText(Response& res, std::string_view text);
void ReplyHttpError(Response& res, int status, std::string_view message);

/// Adds "Set-Cookie: NAME=VALUE; path=/".
void SetCookie(Response& res, std::string_view name, std::string_view value);

/// Refusal states the service uses, as positive Win32-style numbers or the
/// negative codes the client passes through unchanged.
namespace state {
inline constexpr std::int64_t kNotLoggedIn = -2142294289;  // 0x804F2EEF "Login failure"
inline constexpr std::int64_t kWrongPassword = 1203;
inline constexpr std::int64_t kMissingLoginName = 1211;
inline constexpr std::int64_t kNoSuchUser = 1212;
inline constexpr std::int64_t kDirMissing = 2002;
inline constexpr std::int64_t kTargetDirMissing = 2003;
inline constexpr std::int64_t kDirNameMissing = 2004;
inline constexpr std::int64_t kNoDirAccess = 2005;
inline constexpr std::int64_t kDirExists = 2006;
inline constexpr std::int64_t kNoCreateDirRight = 2014;
inline constexpr std::int64_t kBadRequest = 3000;
inline constexpr std::int64_t kResourceMissing = 3001;
inline constexpr std::int64_t kBadName = 3004;
inline constexpr std::int64_t kFileExists = 3009;
inline constexpr std::int64_t kNoSpace = 3010;
inline constexpr std::int64_t kBadUpload = 3011;
inline constexpr std::int64_t kBadDownload = 3015;
inline constexpr std::int64_t kFileMissing = 3016;
inline constexpr std::int64_t kEmptyUpload = 3020;
inline constexpr std::int64_t kNoCreateFileRight = 3021;
inline constexpr std::int64_t kSelfShare = 5001;
inline constexpr std::int64_t kBadCode = 6101;
inline constexpr std::int64_t kSameDirectory = -3;
}  // namespace state

}  // namespace korvexd
