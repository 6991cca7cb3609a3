// korvexd under load: 64 sessions of four users (the two demo accounts and
// two added ones) each work in a folder of their own for 60 s, listing,
// creating, renaming and deleting folders, uploading files by blocks and by
// streams, and downloading them back. Prints operations per second, p50 and
// p99 latency per kind and korvexd's peak memory; then reads every stored
// file back and compares its MD5 with what was sent, and runs SQLite's
// integrity check on korvexd's database after it stopped. Exits non-zero
// when a byte was lost or corrupted or a request failed.
//
//   build/bench/korvexd_load_bench [SECONDS] [SESSIONS]
#include <httplib.h>
#include <openssl/evp.h>
#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../tests/support/KorvexdProcess.h"

namespace {

using Json = nlohmann::json;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kChunk = 32768;
const char* const kKinds[] = {"list", "create", "rename", "delete", "block upload", "stream upload", "download"};
constexpr int kKindCount = 7;
const std::pair<const char*, const char*> kUsers[] = {
    {"alice", "alice-demo-1"}, {"bob", "bob-demo-1"}, {"load1", "load-pass-1"}, {"load2", "load-pass-2"}};

std::string Md5(const std::string& data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(data.data(), data.size(), digest, &size, EVP_md5(), nullptr);
  std::string out;
  for (unsigned int i = 0; i < size; ++i) {
    out += "0123456789ABCDEF"[digest[i] >> 4];
    out += "0123456789ABCDEF"[digest[i] & 15];
  }
  return out;
}

std::string Cookie(const httplib::Response& res, const std::string& name) {
  for (auto [it, end] = res.headers.equal_range("Set-Cookie"); it != end; ++it) {
    if (it->second.rfind(name + "=", 0) == 0) return it->second.substr(name.size() + 1, it->second.find(';') - name.size() - 1);
  }
  return {};
}

struct Stored {
  std::string id, md5;
};

/// One user's session working in its own folder; counts what went wrong.
class Worker {
 public:
  Worker(const std::string& host, int port, unsigned seed) : http_(host, port), random_(seed) {
    http_.set_read_timeout(60);
  }

  bool Start(const char* user, const char* password, int index) {
    auto res = http_.Post("/2nddomain/loginnorandom",
                          std::string("loginname=") + user + "&password=" + password + "&domain=demo&macaddr=",
                          "application/x-www-form-urlencoded");
    if (!res || res->status != 200) return false;
    auth_ = Cookie(*res, "AUTH_PRO");
    Json login = Json::parse(res->body, nullptr, false);
    if (auth_.empty() || !login.is_object() || !login.contains("dirid")) return false;
    folder_ = Id(Post("/directory/create", "parentid=" + login["dirid"].get<std::string>() + "&dirname=load" +
                                               std::to_string(index)), "id");
    return !folder_.empty();
  }

  /// One operation of a random kind; returns the kind.
  int Step() {
    int kind = static_cast<int>(random_() % kKindCount);
    switch (kind) {
      case 0: Expect(Get("/directory/listandcount/" + folder_)); Expect(Get("/file/listrandom/" + folder_ + "/LOGO//0/100")); break;
      case 1: Create(); break;
      case 2: Rename(); break;
      case 3: Delete(); break;
      case 4: Upload(false); break;
      case 5: Upload(true); break;
      default: Download(); break;
    }
    return kind;
  }

  /// Reads every file this session stored back; returns how many differ.
  int Verify() {
    int bad = 0;
    for (const Stored& s : files_) bad += Md5(Fetch(s.id)) != s.md5;
    return bad;
  }

  int errors = 0;
  std::size_t stored() const { return files_.size(); }

 private:
  httplib::Headers Auth(httplib::Headers headers = {}) const {
    headers.emplace("Cookie", "AUTH_PRO=" + auth_);
    return headers;
  }
  httplib::Result Get(const std::string& path, httplib::Headers headers = {}) { return http_.Get(path, Auth(headers)); }
  httplib::Result Post(const std::string& path, const std::string& body) {
    return http_.Post(path, Auth(), body, "application/x-www-form-urlencoded");
  }
  httplib::Result PostRaw(const std::string& path, httplib::Headers headers, const std::string& body) {
    return http_.Post(path, Auth(headers), body, "application/octet-stream");
  }
  void Expect(const httplib::Result& res) {
    Json j = res && res->status == 200 ? Json::parse(res->body, nullptr, false) : Json();
    if (!j.is_object() || j.value("result", 0) != 1) ++errors;
  }
  std::string Id(const httplib::Result& res, const char* field) {
    Json j = res && res->status == 200 ? Json::parse(res->body, nullptr, false) : Json();
    if (j.is_object() && j.contains(field)) return j[field].get<std::string>();
    ++errors;
    return {};
  }

  void Create() {
    std::string id = Id(Post("/directory/create", "parentid=" + folder_ + "&dirname=d" + std::to_string(next_++)), "id");
    if (!id.empty()) dirs_.push_back(id);
  }
  void Rename() {
    if (dirs_.empty()) return Create();
    Expect(Post("/directory/rename", "dirid=" + dirs_.back() + "&dirname=r" + std::to_string(next_++)));
  }
  void Delete() {
    if (files_.size() > 8) {
      Expect(Post("/file/delete", "fileid=" + files_.front().id));
      files_.erase(files_.begin());
    } else if (!dirs_.empty()) {
      Expect(Post("/directory/delete", "dirid=" + dirs_.back()));
      dirs_.pop_back();
    }
  }

  void Upload(bool stream) {
    std::string data(kChunk * (1 + random_() % 32), '\0');
    for (char& c : data) c = static_cast<char>(random_());
    auto res = Post("/file/preupload", "dirid=" + folder_ + "&filename=f" + std::to_string(next_++) + ".bin&size=" +
                                           std::to_string(data.size()) + "&over%5Fride=0&lastmodifytime=1700000000&sec=0");
    std::string token = res ? Cookie(*res, "TOKEN") : "";
    if (token.empty()) return void(++errors);
    std::string idAndExt = res->body, id = idAndExt.substr(0, idAndExt.find('.'));
    bool sent = stream ? Stream(id, token, data) : Block(idAndExt, token, data);
    auto over = Get("/file/uploadover/" + id + "/0?product=smb&a=" + auth_ + "&t=" + token);
    if (!sent || !over || over->body != "1") return void(++errors);
    files_.push_back({id, Md5(data)});
  }
  bool Block(const std::string& idAndExt, const std::string& token, const std::string& data) {
    std::string range = "bytes=0-" + std::to_string(data.size());
    auto res = PostRaw("/file/uploadblock/" + idAndExt + "/a=" + auth_ + "&t=" + token + "&random=1",
                       {{"range", range}, {"x-korvex-range", range}}, data);
    return res && res->status == 200;
  }
  bool Stream(const std::string& id, const std::string& token, const std::string& data) {
    auto open = Post("/idtv1/stream/open/" + id,
                     "version=smb_1.2.2.22&stream_type=write&stream_range=bytes%3D0-" + std::to_string(data.size() - 1) +
                         "&token_id=5c1e0d7a93b24f68a0e2c47d1b9f3a26&token=" + token + "&chunk_size=" + std::to_string(kChunk));
    Json j = open ? Json::parse(open->body, nullptr, false) : Json();
    if (!j.is_object() || !j.contains("stream_id")) return false;
    std::string stream = j["stream_id"];
    for (std::size_t offset = 0, sequence = 0; offset < data.size(); offset += kChunk, ++sequence) {
      std::string inclusive = std::to_string(offset) + "-" + std::to_string(offset + kChunk - 1);
      auto res = PostRaw("/idtv1/stream/write/" + id,
                         {{"x-korvexws-idt-chunk-range", "bytes=" + inclusive},
                          {"x-korvexws-idt-stream-id", stream},
                          {"x-korvexws-idt-chunk-sequence", std::to_string(sequence)}},
                         data.substr(offset, kChunk));
      if (!res || res->get_header_value("x-korvexws-idt-status") != "code=2000") return false;
    }
    auto close = Post("/idtv1/stream/close/" + id, "stream_id=" + stream);
    j = close ? Json::parse(close->body, nullptr, false) : Json();
    return j.is_object() && j.value("stream_md5", "") == Md5(data);
  }

  std::string Fetch(const std::string& id) {
    auto pre = Get("/file/predownloadnoredirect/" + id);
    std::string token = pre ? Cookie(*pre, "TOKEN") : "";
    auto res = Get("/file/downloadblock/" + id + "?a=" + auth_ + "&t=" + token + "&random=3");
    return res && res->status == 200 ? res->body : std::string();
  }
  void Download() {
    if (files_.empty()) return Upload(false);
    const Stored& s = files_[random_() % files_.size()];
    if (Md5(Fetch(s.id)) != s.md5) ++errors;
  }

  httplib::Client http_;
  std::mt19937 random_;
  std::string auth_, folder_;
  std::vector<std::string> dirs_;
  std::vector<Stored> files_;
  int next_ = 0;
};

std::size_t PeakMemoryKiB(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6));
  }
  return 0;
}

bool IntegrityOk(const std::string& path) {
  sqlite3* db = nullptr;
  std::string result;
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_exec(db, "PRAGMA integrity_check", [](void* out, int, char** values, char**) {
      *static_cast<std::string*>(out) += values[0] ? values[0] : "";
      return 0;
    }, &result, nullptr);
  }
  sqlite3_close(db);
  std::printf("integrity_check: %s\n", result.c_str());
  return result == "ok";
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 60, sessions = argc > 2 ? std::atoi(argv[2]) : 64;
  korvex::test::KorvexdProcess korvexd;
  if (!korvexd.Start({"--seed-demo"}) || !korvexd.Stop()) return std::fprintf(stderr, "korvexd: %s\n", korvexd.Error().c_str()), 1;
  for (int u = 2; u < 4; ++u) {
    std::string command = std::string(KORVEXD_PATH) + " --data-dir " + korvexd.DataDir().string() + " add-user " +
                          kUsers[u].first + " " + kUsers[u].second + " demo >/dev/null";
    if (std::system(command.c_str()) != 0) return std::fprintf(stderr, "add-user failed\n"), 1;
  }
  if (!korvexd.Start()) return std::fprintf(stderr, "korvexd: %s\n", korvexd.Error().c_str()), 1;

  std::vector<std::unique_ptr<Worker>> workers;
  for (int i = 0; i < sessions; ++i) {
    workers.push_back(std::make_unique<Worker>(korvexd.Host(), korvexd.Port(), 1000u + i));
    if (!workers.back()->Start(kUsers[i % 4].first, kUsers[i % 4].second, i))
      return std::fprintf(stderr, "session %d could not log in\n", i), 1;
  }
  std::vector<std::vector<double>> latencies(kKindCount);
  std::mutex mutex;
  const auto end = Clock::now() + std::chrono::seconds(seconds);
  std::vector<std::thread> threads;
  for (auto& worker : workers) {
    threads.emplace_back([&, w = worker.get()] {
      std::vector<std::vector<double>> mine(kKindCount);
      while (Clock::now() < end) {
        auto start = Clock::now();
        int kind = w->Step();
        mine[kind].push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
      }
      std::lock_guard lock(mutex);
      for (int k = 0; k < kKindCount; ++k) latencies[k].insert(latencies[k].end(), mine[k].begin(), mine[k].end());
    });
  }
  for (std::thread& t : threads) t.join();

  std::size_t total = 0;
  std::printf("%d sessions, %d s\n%-14s %8s %8s %10s %10s\n", sessions, seconds, "kind", "ops", "ops/s", "p50 ms", "p99 ms");
  for (int k = 0; k < kKindCount; ++k) {
    auto& v = latencies[k];
    std::sort(v.begin(), v.end());
    total += v.size();
    auto at = [&](double q) { return v.empty() ? 0.0 : v[std::min(v.size() - 1, static_cast<std::size_t>(q * v.size()))]; };
    std::printf("%-14s %8zu %8.1f %10.2f %10.2f\n", kKinds[k], v.size(), v.size() / double(seconds), at(0.5), at(0.99));
  }
  std::printf("all            %8zu %8.1f\nkorvexd peak RSS: %.1f MiB\n", total, total / double(seconds),
              PeakMemoryKiB(korvexd.Pid()) / 1024.0);

  int errors = 0, corrupt = 0;
  std::size_t files = 0;
  for (auto& worker : workers) {
    corrupt += worker->Verify();
    errors += worker->errors;
    files += worker->stored();
  }
  std::printf("stored files checked: %zu, differing: %d, failed requests: %d\n", files, corrupt, errors);
  workers.clear();
  bool stopped = korvexd.Stop();
  bool intact = IntegrityOk((korvexd.DataDir() / "korvexd.sqlite").string());
  return corrupt == 0 && errors == 0 && stopped && intact ? 0 : 1;
}
