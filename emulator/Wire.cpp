// Wire helpers of korvexd.
#include "Wire.h"

#include <openssl/rand.h>

#include <cctype>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <ctime>

namespace korvexd {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IEquals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

}  // namespace

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '+') {
      out.push_back(' ');
    } else if (c == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 && HexValue(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

std::string PercentEncode(std::string_view text) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) && c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back('%');
      out.push_back(kDigits[c >> 4]);
      out.push_back(kDigits[c & 15]);
    }
  }
  return out;
}

Form ParseForm(std::string_view body) {
  Form form;
  while (!body.empty()) {
    std::size_t amp = body.find('&');
    std::string_view pair = body.substr(0, amp);
    body = amp == std::string_view::npos ? std::string_view() : body.substr(amp + 1);
    if (pair.empty()) continue;
    std::size_t eq = pair.find('=');
    std::string key = PercentDecode(pair.substr(0, eq));
    std::string value = eq == std::string_view::npos ? std::string() : PercentDecode(pair.substr(eq + 1));
    form.emplace(std::move(key), std::move(value));
  }
  return form;
}

std::string RequestCookie(const Request& req, std::string_view name) {
  auto range = req.headers.equal_range("Cookie");
  for (auto it = range.first; it != range.second; ++it) {
    std::string_view rest = it->second;
    while (!rest.empty()) {
      std::size_t semi = rest.find(';');
      std::string_view part = Trim(rest.substr(0, semi));
      rest = semi == std::string_view::npos ? std::string_view() : rest.substr(semi + 1);
      std::size_t eq = part.find('=');
      if (eq != std::string_view::npos && IEquals(Trim(part.substr(0, eq)), name))
        return std::string(part.substr(eq + 1));
    }
  }
  return {};
}

std::optional<std::uint64_t> ParseU64(std::string_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  std::uint64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<std::int64_t> ParseI64(std::string_view text) {
  if (text.empty() || text.size() > 21) return std::nullopt;
  std::int64_t value = 0;
  auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || ptr != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<ByteRange> ParseByteRange(std::string_view text) {
  text = Trim(text);
  if (text.rfind("bytes=", 0) == 0) {
    text.remove_prefix(6);
  } else if (text.rfind("bytes%3D", 0) == 0 || text.rfind("bytes%3d", 0) == 0) {
    text.remove_prefix(8);
  } else {
    return std::nullopt;
  }
  std::size_t dash = text.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  auto first = ParseU64(Trim(text.substr(0, dash)));
  auto last = ParseU64(Trim(text.substr(dash + 1)));
  if (!first || !last || *last < *first) return std::nullopt;
  return ByteRange{*first, *last};
}

std::string FormatDate(std::int64_t unixSeconds) {
  std::time_t t = static_cast<std::time_t>(unixSeconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buffer;
}

std::optional<std::int64_t> ParseDate(std::string_view text) {
  std::string copy(Trim(text));
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  int n = std::sscanf(copy.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
  if (n != 3 && n != 6) return std::nullopt;
  if (y < 1970 || y > 9999 || mo < 1 || mo > 12 || d < 1 || d > 31 || h < 0 || h > 23 ||
      mi < 0 || mi > 59 || s < 0 || s > 60)
    return std::nullopt;
  std::tm tm{};
  tm.tm_year = y - 1900;
  tm.tm_mon = mo - 1;
  tm.tm_mday = d;
  tm.tm_hour = h;
  tm.tm_min = mi;
  tm.tm_sec = s;
  return static_cast<std::int64_t>(timegm(&tm));
}

std::int64_t NowSeconds() {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::string Hex(const unsigned char* data, std::size_t size) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  out.reserve(size * 2);
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(kDigits[data[i] >> 4]);
    out.push_back(kDigits[data[i] & 15]);
  }
  return out;
}

std::string RandomHex(std::size_t bytes) {
  std::string raw(bytes, '\0');
  if (RAND_bytes(reinterpret_cast<unsigned char*>(raw.data()), static_cast<int>(bytes)) != 1) {
    // Session tokens must not be guessable; without entropy there is no safe fallback.
    std::fprintf(stderr, "korvexd: no random bytes available\n");
    std::abort();
  }
  return Hex(reinterpret_cast<const unsigned char*>(raw.data()), raw.size());
}

std::string Dump(const Json& value) {
  return value.dump(-1, ' ', false, Json::error_handler_t::replace);
}

void ReplyOk(Response& res, Json fields) {
  Json body = Json::object();
  body["result"] = 1;
  for (auto& [key, value] : fields.items()) body[key] = value;
  res.status = 200;
  res.SetContent(Dump(body), "application/json; charset=utf-8");
}

void ReplyRefusal(Response& res, std::int64_t stateValue, std::string_view errmsg,
                  Json extra) {
  Json body = Json::object();
  body["result"] = 0;
  body["errmsg"] = std::string(errmsg);
  body["state"] = std::to_string(stateValue);
  for (auto& [key, value] : extra.items()) body[key] = value;
  res.status = 200;
  res.SetContent(Dump(body), "application/json; charset=utf-8");
}

void ReplyText(Response& res, std::string_view text) {
  res.status = 200;
  res.SetContent(std::string(text), "text/plain; charset=utf-8");
}

void ReplyHttpError(Response& res, int status, std::string_view message) {
  res.status = status;
  res.SetContent(std::string(message) + "\n", "text/plain; charset=utf-8");
}

void SetCookie(Response& res, std::string_view name, std::string_view value) {
  res.SetHeader("Set-Cookie", std::string(name) + "=" + std::string(value) + "; path=/");
}

}  // namespace korvexd
