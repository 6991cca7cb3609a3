//===- bench/stream_client.cpp - A plain libcurl client of the stream protocol -===//
///
/// The yardstick for `korvex put` and `korvex get`: the same stream requests
/// (1 MiB per stream, 32 KiB chunks) sent by the simplest client libcurl
/// allows, one easy handle and so one kept-alive connection, one request at
/// a time, with no task store, no progress and no checks. The upload is
/// prepared and completed by the calling script; this moves the bytes.
///
///   stream_client put|get URL FILE_ID TOKEN COOKIES FILE SIZE
///
//===----------------------------------------------------------------------===//

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <curl/curl.h>

namespace {

constexpr std::uint64_t kChunk = 32768;
constexpr std::uint64_t kGroup = 32 * kChunk;
constexpr const char* kTokenId = "5c1e0d7a93b24f68a0e2c47d1b9f3a26";

struct Client {
  CURL* easy = nullptr;
  std::string base, fileId, token, cookies;
  std::string body;    // the latest answer
  std::string status;  // its x-korvexws-idt-status
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

// Sends one request; true when the service answered with stream status 2000.
bool Send(Client& c, const std::string& path, const std::vector<std::string>& headers, const std::string* post) {
  c.body.clear();
  c.status.clear();
  curl_slist* list = nullptr;
  for (const auto& h : headers) list = curl_slist_append(list, h.c_str());
  curl_easy_setopt(c.easy, CURLOPT_URL, (c.base + path).c_str());
  curl_easy_setopt(c.easy, CURLOPT_HTTPHEADER, list);
  if (post != nullptr) {
    curl_easy_setopt(c.easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(post->size()));
    curl_easy_setopt(c.easy, CURLOPT_POSTFIELDS, post->data());
  } else {
    curl_easy_setopt(c.easy, CURLOPT_HTTPGET, 1L);
  }
  const CURLcode rc = curl_easy_perform(c.easy);
  curl_slist_free_all(list);
  return rc == CURLE_OK && c.status.find("code=2000") != std::string::npos;
}

std::string JsonText(const std::string& json, const std::string& key) {
  const auto at = json.find("\"" + key + "\"");
  if (at == std::string::npos) return {};
  const auto open = json.find('"', json.find(':', at) + 1);
  return json.substr(open + 1, json.find('"', open + 1) - open - 1);
}

std::vector<std::string> ChunkHeaders(std::uint64_t first, std::uint64_t end, std::uint64_t last,
                                      const std::string& stream, std::uint64_t sequence) {
  const std::string a = std::to_string(first);
  return {"range:bytes=" + a + "-" + std::to_string(end), "x-korvex-range:bytes=" + a + "-" + std::to_string(end),
          "x-korvexws-idt-chunk-range:bytes=" + a + "-" + std::to_string(last),
          "x-korvexws-idt-stream-id:" + stream, "x-korvexws-idt-chunk-sequence:" + std::to_string(sequence),
          "Expect:"};
}

bool MoveGroup(Client& c, bool upload, std::uint64_t start, std::uint64_t length, std::fstream& file) {
  const std::string open = "version=smb_0.0.0.0&stream_type=" + std::string(upload ? "write" : "read") +
                           "&stream_range=bytes%3D" + std::to_string(start) + "-" +
                           std::to_string(start + length - 1) + "&token_id=" + kTokenId + "&token=" + c.token +
                           "&chunk_size=" + std::to_string(kChunk);
  if (!Send(c, "/idtv1/stream/open/" + c.fileId, {}, &open)) return false;
  const std::string stream = JsonText(c.body, "stream_id");
  std::string data;
  for (std::uint64_t at = start, seq = 0; at < start + length; at += kChunk, ++seq) {
    const std::uint64_t n = std::min(kChunk, start + length - at);
    if (upload) {
      data.resize(n);
      file.seekg(static_cast<std::streamoff>(at));
      file.read(data.data(), static_cast<std::streamsize>(n));
      if (!Send(c, "/idtv1/stream/write/" + c.fileId, ChunkHeaders(at, at + n, at + n - 1, stream, seq), &data))
        return false;
    } else {
      if (!Send(c, "/idtv1/stream/read/" + c.fileId, ChunkHeaders(at, at + n - 1, at + n - 1, stream, seq),
                nullptr) || c.body.size() < n)
        return false;
      file.seekp(static_cast<std::streamoff>(at));
      file.write(c.body.data(), static_cast<std::streamsize>(n));
    }
  }
  const std::string close = "stream_id=" + stream;
  return Send(c, "/idtv1/stream/close/" + c.fileId, {}, &close);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 8) {
    std::fprintf(stderr, "usage: %s put|get URL FILE_ID TOKEN COOKIES FILE SIZE\n", argv[0]);
    return 2;
  }
  const bool upload = std::string(argv[1]) == "put";
  const std::uint64_t size = std::strtoull(argv[7], nullptr, 10);
  std::fstream file(argv[6], upload ? std::ios::in | std::ios::binary
                                    : std::ios::out | std::ios::trunc | std::ios::binary);
  if (!file) return 1;
  curl_global_init(CURL_GLOBAL_DEFAULT);
  Client c{curl_easy_init(), argv[2], argv[3], argv[4], argv[5], {}, {}};
  curl_easy_setopt(c.easy, CURLOPT_COOKIE, c.cookies.c_str());
  curl_easy_setopt(c.easy, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(c.easy, CURLOPT_WRITEDATA, &c.body);
  curl_easy_setopt(c.easy, CURLOPT_HEADERFUNCTION, &OnHeader);
  curl_easy_setopt(c.easy, CURLOPT_HEADERDATA, &c.status);
  for (std::uint64_t start = 0; start < size; start += kGroup) {
    if (!MoveGroup(c, upload, start, std::min(kGroup, size - start), file)) {
      std::fprintf(stderr, "stream request failed at %llu: %s\n", static_cast<unsigned long long>(start),
                   c.status.c_str());
      return 1;
    }
  }
  curl_easy_cleanup(c.easy);
  curl_global_cleanup();
  return 0;
}
