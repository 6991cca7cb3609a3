// A plain HTTP client for korvexd tests: logs in, keeps the two session
// cookies and sends requests in the forms the desktop client uses.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "support/KorvexdProcess.h"

namespace korvex::test {

using Json = nlohmann::json;

/// Percent-encodes every byte but ASCII letters and digits, as the client does.
inline std::string Encode(const std::string& text) {
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x80 && std::isalnum(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
    }
  }
  return out;
}

/// The value of a cookie among a response's Set-Cookie headers.
inline std::string SetCookieValue(const httplib::Response& res, const std::string& name) {
  auto range = res.headers.equal_range("Set-Cookie");
  for (auto it = range.first; it != range.second; ++it) {
    const std::string& v = it->second;
    if (v.rfind(name + "=", 0) == 0) return v.substr(name.size() + 1, v.find(';') - name.size() - 1);
  }
  return {};
}

class ServiceClient {
 public:
  explicit ServiceClient(const KorvexdProcess& korvexd) : http_(korvexd.Host(), korvexd.Port()) {
    http_.set_connection_timeout(5);
    http_.set_read_timeout(30);
  }

  /// Account login; on success keeps the cookies and the answer.
  bool Login(const std::string& name, const std::string& password, const std::string& domain = "demo") {
    auto res = http_.Post("/2nddomain/loginnorandom",
                          "loginname=" + Encode(name) + "&password=" + Encode(password) +
                              "&domain=" + domain + "&macaddr=",
                          "application/x-www-form-urlencoded");
    if (!res || res->status != 200) return false;
    login_ = Json::parse(res->body, nullptr, false);
    auth_ = SetCookieValue(*res, "AUTH_PRO");
    php_ = SetCookieValue(*res, "PHPSESSID");
    return login_.is_object() && login_.value("result", 0) == 1 && !auth_.empty();
  }

  std::int64_t RootDir() const { return std::stoll(login_.at("dirid").get<std::string>()); }
  std::int64_t ShareDir() const { return std::stoll(login_.at("secdirid").get<std::string>()); }
  const std::string& Auth() const { return auth_; }
  void SetAuth(std::string auth) { auth_ = std::move(auth); }

  httplib::Result Get(const std::string& path, httplib::Headers headers = {}) {
    AddCookie(headers);
    return http_.Get(path.c_str(), headers);
  }
  httplib::Result PostForm(const std::string& path, const std::string& body) {
    httplib::Headers headers;
    AddCookie(headers);
    return http_.Post(path.c_str(), headers, body, "application/x-www-form-urlencoded");
  }
  httplib::Result PostRaw(const std::string& path, httplib::Headers headers, const std::string& body) {
    AddCookie(headers);
    return http_.Post(path.c_str(), headers, body, "application/octet-stream");
  }

  /// GET or POST answering the envelope; an unparsable body fails the test.
  Json GetJson(const std::string& path) { return ToJson(Get(path)); }
  Json PostJson(const std::string& path, const std::string& body) { return ToJson(PostForm(path, body)); }

  /// Creates a directory and returns its id (or -1).
  std::int64_t MakeDir(std::int64_t parent, const std::string& name) {
    Json j = PostJson("/directory/create", "parentid=" + std::to_string(parent) + "&dirname=" + Encode(name));
    if (!j.contains("id")) return -1;
    return std::stoll(j["id"].get<std::string>());
  }

  httplib::Client& http() { return http_; }

  static Json ToJson(const httplib::Result& res) {
    if (!res) {
      ADD_FAILURE() << "no answer: " << httplib::to_string(res.error());
      return Json();
    }
    Json j = Json::parse(res->body, nullptr, false);
    if (j.is_discarded()) ADD_FAILURE() << "not JSON: " << res->body;
    return j;
  }

 private:
  void AddCookie(httplib::Headers& headers) const {
    if (auth_.empty()) return;
    std::string cookie = "AUTH_PRO=" + auth_;
    if (!php_.empty()) cookie += ";PHPSESSID=" + php_;
    headers.emplace("Cookie", cookie);
  }

  httplib::Client http_;
  Json login_;
  std::string auth_, php_;
};

/// A refusal's state as a number (it travels as a string).
inline long long StateOf(const Json& j) {
  if (!j.is_object() || !j.contains("state")) return 0;
  return j["state"].is_string() ? std::stoll(j["state"].get<std::string>()) : j["state"].get<long long>();
}

}  // namespace korvex::test
