// A plain HTTP client for korvexd tests: logs in, keeps the two session
// cookies and sends requests in the forms the desktop client uses; and a
// fixture with korvexd on the demo data and alice and bob logged in.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>
#include <openssl/evp.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <string>

#include "support/KorvexdProcess.h"

namespace korvex::test {

using Json = nlohmann::json;

inline void AppendHex(std::string& out, unsigned char c) {
  out += "0123456789ABCDEF"[c >> 4];
  out += "0123456789ABCDEF"[c & 15];
}

/// Percent-encodes every byte but ASCII letters and digits, as the client does.
inline std::string Encode(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c < 0x80 && std::isalnum(c)) {
      out.push_back(static_cast<char>(c));
    } else {
      out += '%';
      AppendHex(out, c);
    }
  }
  return out;
}

/// Upper-case hex MD5, the form the service reports.
inline std::string Md5(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(data.data(), data.size(), digest, &size, EVP_md5(), nullptr);
  std::string out;
  for (unsigned int i = 0; i < size; ++i) AppendHex(out, digest[i]);
  return out;
}

/// Deterministic pseudo-random bytes.
inline std::string RandomBytes(std::size_t size, unsigned seed = 7) {
  std::mt19937 gen(seed);
  std::string out(size, '\0');
  for (char& c : out) c = static_cast<char>(gen() & 0xFF);
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

/// A refusal's state as a number (it travels as a string).
inline long long StateOf(const Json& j) {
  if (!j.is_object() || !j.contains("state")) return 0;
  return j["state"].is_string() ? std::stoll(j["state"].get<std::string>()) : j["state"].get<long long>();
}

/// Fails the test for each of `keys` that is not a text field of `j`.
inline void ExpectTextFields(const Json& j, std::initializer_list<const char*> keys) {
  for (const char* key : keys) EXPECT_TRUE(j.is_object() && j.contains(key) && j[key].is_string()) << key;
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
                          "loginname=" + Encode(name) + "&password=" + Encode(password) + "&domain=" + domain +
                              "&macaddr=",
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
  httplib::Result PostRaw(const std::string& path, httplib::Headers headers, const std::string& body,
                          const char* type = "application/octet-stream") {
    AddCookie(headers);
    return http_.Post(path.c_str(), headers, body, type);
  }

  /// GET or POST answering the envelope; an unparsable body fails the test.
  Json GetJson(const std::string& path) { return ToJson(Get(path)); }
  Json PostJson(const std::string& path, const std::string& body) { return ToJson(PostForm(path, body)); }

  /// Creates a directory and returns its id (or -1).
  std::int64_t MakeDir(std::int64_t parent, const std::string& name) {
    Json j = PostJson("/directory/create", "parentid=" + std::to_string(parent) + "&dirname=" + Encode(name));
    return j.contains("id") ? std::stoll(j["id"].get<std::string>()) : -1;
  }

  /// Upload preparation; returns the plain-text answer and the TOKEN cookie.
  std::pair<std::string, std::string> PreUpload(std::int64_t dir, const std::string& name, std::size_t size,
                                                bool override = false) {
    auto res = PostForm("/file/preupload", "dirid=" + std::to_string(dir) + "&filename=" + Encode(name) +
                                               "&size=" + std::to_string(size) + "&over%5Fride=" +
                                               (override ? "1" : "0") + "&lastmodifytime=1700000000&sec=0");
    if (!res) return {"", ""};
    return {res->body, SetCookieValue(*res, "TOKEN")};
  }

  /// One upload block; the range's end is exclusive.
  httplib::Result UploadBlock(const std::string& idAndExt, const std::string& token, std::uint64_t offset,
                              const std::string& data) {
    std::string range = "bytes=" + std::to_string(offset) + "-" + std::to_string(offset + data.size());
    return PostRaw("/file/uploadblock/" + idAndExt + "/a=" + auth_ + "&t=" + token + "&random=17",
                   {{"range", range}, {"x-korvex-range", range}}, data);
  }

  std::string UploadOver(const std::string& id, const std::string& token) {
    auto res = Get("/file/uploadover/" + id + "/0?product=smb&a=" + auth_ + "&t=" + token);
    return res ? res->body : "";
  }

  /// Download preparation; returns the TOKEN cookie.
  std::string PreDownload(const std::string& id) {
    auto res = Get("/file/predownloadnoredirect/" + id);
    return res ? SetCookieValue(*res, "TOKEN") : "";
  }

  /// One download block; the range's end is inclusive.
  httplib::Result DownloadBlock(const std::string& id, const std::string& token, std::uint64_t offset,
                                std::uint64_t length) {
    std::string range = "bytes=" + std::to_string(offset) + "-" + std::to_string(offset + length - 1);
    return Get("/file/downloadblock/" + id + "?a=" + auth_ + "&t=" + token + "&random=3",
               {{"range", range}, {"x-korvex-range", range}});
  }

  /// Opens a stream; returns its id, or "" with the status in *code.
  std::string OpenStream(const std::string& id, bool read, std::uint64_t offset, std::uint64_t length,
                         std::uint32_t chunk, const std::string& token, std::string* code = nullptr) {
    return StreamField(PostForm("/idtv1/stream/open/" + id,
                                std::string("version=smb_1.2.2.22&stream_type=") + (read ? "read" : "write") +
                                    "&stream_range=bytes%3D" + std::to_string(offset) + "-" +
                                    std::to_string(offset + length - 1) +
                                    "&token_id=5c1e0d7a93b24f68a0e2c47d1b9f3a26&token=" + token +
                                    "&chunk_size=" + std::to_string(chunk)),
                       "stream_id", code);
  }

  static httplib::Headers ChunkHeaders(const std::string& stream, std::uint64_t sequence, std::uint64_t offset,
                                       std::uint64_t length, bool write) {
    std::string inclusive = std::to_string(offset) + "-" + std::to_string(offset + length - 1);
    std::string outer = write ? std::to_string(offset) + "-" + std::to_string(offset + length) : inclusive;
    return {{"range", "bytes=" + outer},
            {"x-korvex-range", "bytes=" + outer},
            {"x-korvexws-idt-chunk-range", "bytes=" + inclusive},
            {"x-korvexws-idt-stream-id", stream},
            {"x-korvexws-idt-chunk-sequence", std::to_string(sequence)}};
  }

  httplib::Result WriteChunk(const std::string& id, const std::string& stream, std::uint64_t sequence,
                             std::uint64_t offset, const std::string& data) {
    return PostRaw("/idtv1/stream/write/" + id, ChunkHeaders(stream, sequence, offset, data.size(), true), data);
  }

  httplib::Result ReadChunk(const std::string& id, const std::string& stream, std::uint64_t sequence,
                            std::uint64_t offset, std::uint64_t length) {
    return Get("/idtv1/stream/read/" + id, ChunkHeaders(stream, sequence, offset, length, false));
  }

  /// Closes a stream; returns its MD5, or "" with the status in *code.
  std::string CloseStream(const std::string& id, const std::string& stream, std::string* code = nullptr) {
    return StreamField(PostForm("/idtv1/stream/close/" + id, "stream_id=" + stream), "stream_md5", code);
  }

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
    headers.emplace("Cookie", "AUTH_PRO=" + auth_ + (php_.empty() ? "" : ";PHPSESSID=" + php_));
  }

  static std::string StreamField(const httplib::Result& res, const char* field, std::string* code) {
    if (!res) return "";
    const std::string status = res->get_header_value("x-korvexws-idt-status");
    if (code) *code = status;
    Json j = Json::parse(res->body, nullptr, false);
    return status == "code=2000" && j.contains(field) ? j[field].get<std::string>() : "";
  }

  httplib::Client http_;
  Json login_;
  std::string auth_, php_;
};

/// korvexd on the demo data with alice and bob logged in.
class KorvexdTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(korvexd_.Start({"--seed-demo"})) << korvexd_.Error();
    alice_ = std::make_unique<ServiceClient>(korvexd_);
    ASSERT_TRUE(alice_->Login("alice", "alice-demo-1"));
    bob_ = std::make_unique<ServiceClient>(korvexd_);
    ASSERT_TRUE(bob_->Login("bob", "bob-demo-1"));
  }

  static Json List(ServiceClient& c, std::int64_t dir) {
    return c.GetJson("/directory/listandcount/" + std::to_string(dir));
  }
  static Json Files(ServiceClient& c, std::int64_t dir, const std::string& sort = "", int start = 0,
                    int count = 100) {
    return c.GetJson("/file/listrandom/" + std::to_string(dir) + "/LOGO/" + sort + "/" + std::to_string(start) +
                     "/" + std::to_string(count));
  }
  /// Id of the sub-directory of that name, or -1.
  static std::int64_t SubDir(ServiceClient& c, std::int64_t dir, const std::string& name) {
    const Json listing = List(c, dir);  // the loop must not outlive the answer
    for (const Json& e : listing["list"]) {
      if (e["dirname"] == name) return std::stoll(e["dirid"].get<std::string>());
    }
    return -1;
  }
  static std::string FileId(ServiceClient& c, std::int64_t dir, const std::string& name) {
    const Json listing = Files(c, dir);
    for (const Json& e : listing["list"]) {
      if (e["name"] == name) return e["fileid"];
    }
    return "";
  }
  /// A GET of the unauthenticated inspection endpoints.
  Json Admin(const std::string& path) {
    httplib::Client http(korvexd_.Host(), korvexd_.Port());
    auto res = http.Get(path.c_str());
    return res ? Json::parse(res->body, nullptr, false) : Json();
  }

  KorvexdProcess korvexd_;
  std::unique_ptr<ServiceClient> alice_, bob_;
};

}  // namespace korvex::test
