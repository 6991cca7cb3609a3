//===- bench/stream_client.cpp - A plain libcurl client of the stream protocol -===//
///
/// The yardstick for `korvex put` and `korvex get`: the same stream requests
/// (1 MiB per stream, 32 KiB chunks, up to 5 chunks in flight on five
/// kept-alive connections, one stream after the other) sent by the simplest
/// client libcurl allows, with no task store and no progress. The upload is
/// prepared and completed by the calling script; this moves the bytes.
/// With "md5" it also does the one check a trustworthy client cannot skip:
/// each stream's bytes are hashed and compared with the MD5 its close
/// answers, so that the yardstick pays for the same hashing as `korvex`.
///
///   stream_client put|get URL FILE_ID TOKEN COOKIES FILE SIZE [IN_FLIGHT [md5]]
///
//===----------------------------------------------------------------------===//

#include <fcntl.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <curl/curl.h>
#include <openssl/evp.h>

namespace {

constexpr std::uint64_t kChunk = 32768;
constexpr std::uint64_t kGroup = 32 * kChunk;
constexpr const char* kTokenId = "5c1e0d7a93b24f68a0e2c47d1b9f3a26";

struct Request {
  CURL* easy = nullptr;
  curl_slist* headers = nullptr;
  std::string body;    // the answer
  std::string status;  // its x-korvexws-idt-status
  std::string data;    // what an upload sends
  std::uint64_t offset = 0, length = 0;
};

struct Client {
  CURLM* multi = nullptr;
  std::vector<Request> slots;
  std::string base, fileId, token, cookies;
  int fd = -1;
  bool upload = false;
  bool md5 = false;
  std::string group;  // with md5: the stream's bytes, hashed at its close
  std::uint64_t groupStart = 0;
};

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* out) {
  static_cast<std::string*>(out)->append(data, size * count);
  return size * count;
}

std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* out) {
  const std::string line(data, size * count);
  const std::string name = "x-korvexws-idt-status:";
  if (line.size() > name.size() && strncasecmp(line.c_str(), name.c_str(), name.size()) == 0)
    *static_cast<std::string*>(out) = line.substr(name.size());
  return size * count;
}

void Prepare(Client& c, Request& r, const std::string& path, const std::string* post) {
  r.body.clear();
  r.status.clear();
  curl_easy_setopt(r.easy, CURLOPT_URL, (c.base + path).c_str());
  curl_easy_setopt(r.easy, CURLOPT_HTTPHEADER, r.headers);
  if (post != nullptr) {
    curl_easy_setopt(r.easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post->size()));
    curl_easy_setopt(r.easy, CURLOPT_POSTFIELDS, post->data());
  } else {
    curl_easy_setopt(r.easy, CURLOPT_HTTPGET, 1L);
  }
}

bool Succeeded(const Request& r) { return r.status.find("code=2000") != std::string::npos; }

// One request on the first slot, waited for.
bool Send(Client& c, const std::string& path, const std::string& post) {
  Request& r = c.slots[0];
  curl_slist_free_all(r.headers);
  r.headers = nullptr;
  Prepare(c, r, path, &post);
  return curl_easy_perform(r.easy) == CURLE_OK && Succeeded(r);
}

std::string JsonText(const std::string& json, const std::string& key) {
  const auto at = json.find("\"" + key + "\"");
  if (at == std::string::npos) return {};
  const auto open = json.find('"', json.find(':', at) + 1);
  return json.substr(open + 1, json.find('"', open + 1) - open - 1);
}

void StartChunk(Client& c, Request& r, const std::string& stream, std::uint64_t at, std::uint64_t n,
                std::uint64_t sequence) {
  const std::string a = std::to_string(at);
  const std::string outer = a + "-" + std::to_string(c.upload ? at + n : at + n - 1);
  curl_slist_free_all(r.headers);
  r.headers = nullptr;
  for (const std::string& h : {"range:bytes=" + outer, "x-korvex-range:bytes=" + outer,
                               "x-korvexws-idt-chunk-range:bytes=" + a + "-" + std::to_string(at + n - 1),
                               "x-korvexws-idt-stream-id:" + stream,
                               "x-korvexws-idt-chunk-sequence:" + std::to_string(sequence), std::string("Expect:")})
    r.headers = curl_slist_append(r.headers, h.c_str());
  r.offset = at;
  r.length = n;
  if (c.upload) {
    r.data.resize(n);
    if (pread(c.fd, r.data.data(), n, static_cast<off_t>(at)) != static_cast<ssize_t>(n)) r.data.clear();
    if (c.md5 && r.data.size() == n) std::copy(r.data.begin(), r.data.end(), c.group.begin() + (at - c.groupStart));
    Prepare(c, r, "/idtv1/stream/write/" + c.fileId, &r.data);
  } else {
    Prepare(c, r, "/idtv1/stream/read/" + c.fileId, nullptr);
  }
  curl_multi_add_handle(c.multi, r.easy);
}

bool FinishChunk(Client& c, Request& r, CURLcode result) {
  curl_multi_remove_handle(c.multi, r.easy);
  if (result != CURLE_OK || !Succeeded(r)) return false;
  if (c.upload) return true;
  if (c.md5 && r.body.size() >= r.length)
    std::copy_n(r.body.begin(), r.length, c.group.begin() + (r.offset - c.groupStart));
  return r.body.size() >= r.length &&
         pwrite(c.fd, r.body.data(), r.length, static_cast<off_t>(r.offset)) == static_cast<ssize_t>(r.length);
}

// The chunks of one stream, as many in flight as there are slots.
bool MoveChunks(Client& c, const std::string& stream, std::uint64_t start, std::uint64_t length) {
  std::vector<bool> busy(c.slots.size(), false);
  std::uint64_t next = start, sequence = 0;
  std::size_t running = 0;
  bool ok = true;
  while (ok && (next < start + length || running > 0)) {
    for (std::size_t s = 0; s < c.slots.size() && next < start + length; ++s) {
      if (busy[s]) continue;
      const std::uint64_t n = std::min(kChunk, start + length - next);
      StartChunk(c, c.slots[s], stream, next, n, sequence++);
      busy[s] = true;
      ++running;
      next += n;
    }
    int still = 0;
    curl_multi_perform(c.multi, &still);
    int left = 0;
    while (CURLMsg* msg = curl_multi_info_read(c.multi, &left)) {
      if (msg->msg != CURLMSG_DONE) continue;
      for (std::size_t s = 0; s < c.slots.size(); ++s) {
        if (c.slots[s].easy != msg->easy_handle) continue;
        ok = FinishChunk(c, c.slots[s], msg->data.result) && ok;
        busy[s] = false;
        --running;
      }
    }
    if (running > 0) curl_multi_poll(c.multi, nullptr, 0, 100, nullptr);
  }
  return ok;
}

std::string Md5Hex(const std::string& bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr);
  std::string hex;
  char two[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(two, sizeof two, "%02x", digest[i]);
    hex += two;
  }
  return hex;
}

bool MoveGroup(Client& c, std::uint64_t start, std::uint64_t length) {
  const std::string open = "version=smb_0.0.0.0&stream_type=" + std::string(c.upload ? "write" : "read") +
                           "&stream_range=bytes%3D" + std::to_string(start) + "-" +
                           std::to_string(start + length - 1) + "&token_id=" + kTokenId + "&token=" + c.token +
                           "&chunk_size=" + std::to_string(kChunk);
  if (!Send(c, "/idtv1/stream/open/" + c.fileId, open)) return false;
  const std::string stream = JsonText(c.slots[0].body, "stream_id");
  c.groupStart = start;
  if (c.md5) c.group.resize(length);
  if (!MoveChunks(c, stream, start, length)) return false;
  if (!Send(c, "/idtv1/stream/close/" + c.fileId, "stream_id=" + stream)) return false;
  return !c.md5 || strcasecmp(Md5Hex(c.group).c_str(), JsonText(c.slots[0].body, "stream_md5").c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 8 || argc > 10) {
    std::fprintf(stderr, "usage: %s put|get URL FILE_ID TOKEN COOKIES FILE SIZE [IN_FLIGHT [md5]]\n", argv[0]);
    return 2;
  }
  Client c;
  c.upload = std::string(argv[1]) == "put";
  c.base = argv[2];
  c.fileId = argv[3];
  c.token = argv[4];
  c.cookies = argv[5];
  const std::uint64_t size = std::strtoull(argv[7], nullptr, 10);
  const int inFlight = argc >= 9 ? std::max(1, std::atoi(argv[8])) : 5;
  c.md5 = argc == 10 && std::string(argv[9]) == "md5";
  c.fd = c.upload ? open(argv[6], O_RDONLY) : open(argv[6], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (c.fd < 0) return 1;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  c.multi = curl_multi_init();
  c.slots.resize(static_cast<std::size_t>(inFlight));
  for (Request& r : c.slots) {
    r.easy = curl_easy_init();
    curl_easy_setopt(r.easy, CURLOPT_COOKIE, c.cookies.c_str());
    curl_easy_setopt(r.easy, CURLOPT_WRITEFUNCTION, &OnBody);
    curl_easy_setopt(r.easy, CURLOPT_WRITEDATA, &r.body);
    curl_easy_setopt(r.easy, CURLOPT_HEADERFUNCTION, &OnHeader);
    curl_easy_setopt(r.easy, CURLOPT_HEADERDATA, &r.status);
    r.body.reserve(kChunk);
  }
  int rc = 0;
  for (std::uint64_t start = 0; start < size; start += kGroup) {
    if (!MoveGroup(c, start, std::min(kGroup, size - start))) {
      std::fprintf(stderr, "stream request failed at %llu\n", static_cast<unsigned long long>(start));
      rc = 1;
      break;
    }
  }
  for (Request& r : c.slots) {
    curl_easy_cleanup(r.easy);
    curl_slist_free_all(r.headers);
  }
  curl_multi_cleanup(c.multi);
  curl_global_cleanup();
  close(c.fd);
  return rc;
}
