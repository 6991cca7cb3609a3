// Stream throughput against one korvexd: a 512 MiB file goes up and comes
// back down through the stream paths in 32 KiB chunks, 1 MiB per stream, 5
// chunks in flight, first from a plain libcurl client, then through the
// client library's WriteChunk/ReadChunk. Reports MB/s per direction, the
// client's CPU seconds per GiB moved and korvexd's CPU seconds per GiB.
// Every group's stream MD5 is checked, so a fast but wrong path does not
// pass.
//
// With KORVEXD_BEFORE naming another korvexd build (bench/emulator_bench.sh
// builds the last one on cpp-httplib), the plain client first measures that
// one the same way, and the run ends with both side by side.
//
//   build/bench/emulator_bench [--benchmark_counters_tabular=true]
//   KORVEX_BENCH_MIB=64 build/bench/emulator_bench   (a smaller file)
#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <openssl/evp.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "../tests/support/KorvexdProcess.h"
#include "service/KorvexDataStoreRemote.h"

namespace {

constexpr std::size_t kChunk = 32768;
constexpr std::size_t kGroup = 32 * kChunk;
constexpr int kInFlight = 5;

std::string Md5(const char* data, std::size_t size) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(data, size, digest, &length, EVP_md5(), nullptr);
  static const char* kDigits = "0123456789ABCDEF";
  std::string out;
  for (unsigned int i = 0; i < length; ++i) {
    out += kDigits[digest[i] >> 4];
    out += kDigits[digest[i] & 15];
  }
  return out;
}

/// Group g of the file: a fixed pseudo-random MiB, stamped with g.
void FillGroup(std::string& group, const std::string& pattern, std::size_t g) {
  group = pattern;
  std::snprintf(group.data(), 32, "group %zu", g);
}

/// CPU seconds this process (the client) has used so far.
double ClientCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

std::size_t BenchGroups() {
  const char* mib = std::getenv("KORVEX_BENCH_MIB");
  return std::max<std::size_t>(1, mib ? std::strtoul(mib, nullptr, 10) : 512);
}

/// One korvexd for every benchmark of the run, so the clients meet the same
/// service.
korvex::test::KorvexdProcess* SharedKorvexd() {
  static korvex::test::KorvexdProcess korvexd;
  static const bool started = korvexd.Start({"--seed-demo"});
  return started ? &korvexd : nullptr;
}

/// The baseline korvexd named by KORVEXD_BEFORE, started on first use.
korvex::test::KorvexdProcess* BeforeKorvexd() {
  static korvex::test::KorvexdProcess korvexd(std::getenv("KORVEXD_BEFORE") ? std::getenv("KORVEXD_BEFORE") : "");
  static const bool started = korvexd.Start({"--seed-demo"});
  return started ? &korvexd : nullptr;
}

/// The benchmark file: group g is a fixed pseudo-random MiB stamped with g.
struct BenchFile {
  std::string pattern;
  std::vector<std::string> md5s;
  explicit BenchFile(std::size_t groups);
};

const BenchFile& SharedBenchFile() {
  static const BenchFile file(BenchGroups());
  return file;
}

struct Figures {
  double up = 0, down = 0, clientCpuUp = 0, clientCpuDown = 0, serverCpuUp = 0, serverCpuDown = 0;
};

/// The plain client's figures of each korvexd, for the closing comparison.
std::optional<Figures> beforeFigures, afterFigures;

void Report(benchmark::State& state, const char* client, std::size_t groups, const Figures& f) {
  const double bytes = static_cast<double>(groups * kGroup);
  const double gib = bytes / double(1u << 30);
  state.SetIterationTime(f.up + f.down);
  state.counters["upload_MBps"] = bytes / 1e6 / f.up;
  state.counters["download_MBps"] = bytes / 1e6 / f.down;
  state.counters["client_cpu_s_per_GiB_up"] = f.clientCpuUp / gib;
  state.counters["client_cpu_s_per_GiB_down"] = f.clientCpuDown / gib;
  state.counters["server_cpu_s_per_GiB_up"] = f.serverCpuUp / gib;
  state.counters["server_cpu_s_per_GiB_down"] = f.serverCpuDown / gib;
  std::printf("%s, %zu MiB in %zu KiB chunks, %d in flight: upload %.1f MB/s (client CPU %.2f s/GiB, korvexd CPU "
              "%.2f s/GiB), download %.1f MB/s (client CPU %.2f s/GiB, korvexd CPU %.2f s/GiB)\n",
              client, groups, kChunk / 1024, kInFlight, bytes / 1e6 / f.up, f.clientCpuUp / gib, f.serverCpuUp / gib,
              bytes / 1e6 / f.down, f.clientCpuDown / gib, f.serverCpuDown / gib);
}

/// The before/after table of the plain client's figures.
void PrintComparison() {
  if (!beforeFigures || !afterFigures) return;
  const double bytes = static_cast<double>(BenchGroups() * kGroup), gib = bytes / double(1u << 30);
  const Figures& b = *beforeFigures;
  const Figures& a = *afterFigures;
  std::printf("\nkorvexd before (cpp-httplib) and after, plain libcurl client, %zu MiB:\n", BenchGroups());
  std::printf("  %-28s %10s %10s %8s\n", "", "before", "after", "ratio");
  auto row = [](const char* label, double before, double after) {
    std::printf("  %-28s %10.2f %10.2f %8.2f\n", label, before, after, after / before);
  };
  row("upload MB/s", bytes / 1e6 / b.up, bytes / 1e6 / a.up);
  row("download MB/s", bytes / 1e6 / b.down, bytes / 1e6 / a.down);
  row("korvexd CPU s/GiB upload", b.serverCpuUp / gib, a.serverCpuUp / gib);
  row("korvexd CPU s/GiB download", b.serverCpuDown / gib, a.serverCpuDown / gib);
}

struct Reply {
  std::string body, status, token, auth;
  long http = 0;
};

std::size_t Collect(char* data, std::size_t size, std::size_t count, void* user) {
  static_cast<Reply*>(user)->body.append(data, size * count);
  return size * count;
}

std::size_t Header(char* data, std::size_t size, std::size_t count, void* user) {
  std::string line(data, size * count);
  auto* reply = static_cast<Reply*>(user);
  if (line.rfind("x-korvexws-idt-status:", 0) == 0) {
    std::size_t first = line.find_first_not_of(' ', 22), last = line.find_last_not_of("\r\n ");
    reply->status = line.substr(first, last + 1 - first);
  }
  if (line.rfind("Set-Cookie: TOKEN=", 0) == 0) reply->token = line.substr(18, line.find(';') - 18);
  if (line.rfind("Set-Cookie: AUTH_PRO=", 0) == 0) reply->auth = line.substr(21, line.find(';') - 21);
  return size * count;
}

/// A small libcurl client: one easy handle per slot, each keeping its connection.
class Client {
 public:
  explicit Client(std::string base) : base_(std::move(base)), multi_(curl_multi_init()) {
    for (int i = 0; i < kInFlight; ++i) slots_.push_back(curl_easy_init());
  }
  ~Client() {
    for (CURL* h : slots_) curl_easy_cleanup(h);
    curl_multi_cleanup(multi_);
  }
  void SetCookie(std::string cookie) { cookie_ = std::move(cookie); }

  /// One request on slot 0, waited for.
  Reply Call(const std::string& path, const std::string* body, curl_slist* headers = nullptr) {
    Reply reply;
    CURL* h = slots_[0];
    Prepare(h, path, body, headers, &reply);
    curl_easy_perform(h);
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &reply.http);
    return reply;
  }

  struct Job {
    std::string path;
    const std::string* body = nullptr;  // null: GET
    curl_slist* headers = nullptr;
    Reply reply;
  };
  /// Runs the jobs with up to kInFlight at once; false if any failed.
  bool RunAll(std::deque<Job>& jobs) {
    std::size_t next = 0, running = 0;
    std::vector<Job*> owner(slots_.size(), nullptr);
    bool ok = true;
    while (next < jobs.size() || running > 0) {
      for (std::size_t s = 0; s < slots_.size() && next < jobs.size(); ++s) {
        if (owner[s]) continue;
        Job& job = jobs[next++];
        Prepare(slots_[s], job.path, job.body, job.headers, &job.reply);
        curl_multi_add_handle(multi_, slots_[s]);
        owner[s] = &job;
        ++running;
      }
      int still = 0;
      curl_multi_perform(multi_, &still);
      CURLMsg* msg;
      int left = 0;
      while ((msg = curl_multi_info_read(multi_, &left))) {
        if (msg->msg != CURLMSG_DONE) continue;
        for (std::size_t s = 0; s < slots_.size(); ++s) {
          if (slots_[s] != msg->easy_handle) continue;
          ok = ok && msg->data.result == CURLE_OK && owner[s]->reply.status == "code=2000";
          curl_multi_remove_handle(multi_, slots_[s]);
          owner[s] = nullptr;
          --running;
        }
      }
      if (running > 0) curl_multi_poll(multi_, nullptr, 0, 100, nullptr);
    }
    return ok;
  }

 private:
  void Prepare(CURL* h, const std::string& path, const std::string* body, curl_slist* headers, Reply* reply) {
    std::string url = base_ + path;
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_COOKIE, cookie_.empty() ? nullptr : cookie_.c_str());
    curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, reply);
    curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, Header);
    curl_easy_setopt(h, CURLOPT_HEADERDATA, reply);
    if (body) {
      curl_easy_setopt(h, CURLOPT_POST, 1L);
      curl_easy_setopt(h, CURLOPT_POSTFIELDS, body->data());
      curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body->size()));
    } else {
      curl_easy_setopt(h, CURLOPT_HTTPGET, 1L);
      reply->body.reserve(kChunk);
    }
  }

  std::string base_, cookie_;
  CURLM* multi_;
  std::vector<CURL*> slots_;
};

curl_slist* ChunkHeaders(const std::string& stream, std::size_t seq, std::size_t offset, bool write) {
  std::string inclusive = std::to_string(offset) + "-" + std::to_string(offset + kChunk - 1);
  std::string outer = write ? std::to_string(offset) + "-" + std::to_string(offset + kChunk) : inclusive;
  curl_slist* list = nullptr;
  list = curl_slist_append(list, ("range:bytes=" + outer).c_str());
  list = curl_slist_append(list, ("x-korvex-range:bytes=" + outer).c_str());
  list = curl_slist_append(list, ("x-korvexws-idt-chunk-range:bytes=" + inclusive).c_str());
  list = curl_slist_append(list, ("x-korvexws-idt-stream-id:" + stream).c_str());
  list = curl_slist_append(list, ("x-korvexws-idt-chunk-sequence:" + std::to_string(seq)).c_str());
  list = curl_slist_append(list, "Content-Type: application/octet-stream");
  list = curl_slist_append(list, "Expect:");
  return list;
}

std::string JsonString(const std::string& body, const std::string& key) {
  std::size_t at = body.find("\"" + key + "\":\"");
  if (at == std::string::npos) return {};
  at += key.size() + 4;
  return body.substr(at, body.find('"', at) - at);
}

/// Moves one group over one stream; returns false on any failure, when the
/// stream's MD5 is not the group's, or when a chunk read is not the group's
/// bytes (compared as they are: cheaper for the client than hashing them,
/// and stricter).
bool MoveGroup(Client& client, const std::string& id, const std::string& token, std::size_t g, bool write,
               const std::string& group, const std::string& md5) {
  std::string open = "version=smb_1.0.0.1&stream_type=" + std::string(write ? "write" : "read") +
                     "&stream_range=bytes%3D" + std::to_string(g * kGroup) + "-" +
                     std::to_string(g * kGroup + kGroup - 1) +
                     "&token_id=5c1e0d7a93b24f68a0e2c47d1b9f3a26&token=" + token + "&chunk_size=" + std::to_string(kChunk);
  Reply opened = client.Call("/idtv1/stream/open/" + id, &open);
  std::string stream = JsonString(opened.body, "stream_id");
  if (opened.status != "code=2000" || stream.empty()) {
    std::fprintf(stderr, "open failed: %s %s\n", opened.status.c_str(), opened.body.c_str());
    return false;
  }
  std::vector<std::string> bodies(32);
  std::deque<Client::Job> jobs;
  for (std::size_t c = 0; c < 32; ++c) {
    bodies[c] = group.substr(c * kChunk, kChunk);
    Client::Job job;
    job.path = std::string("/idtv1/stream/") + (write ? "write/" : "read/") + id;
    job.body = write ? &bodies[c] : nullptr;
    job.headers = ChunkHeaders(stream, c, g * kGroup + c * kChunk, write);
    jobs.push_back(std::move(job));
  }
  bool ok = client.RunAll(jobs);
  if (!ok) std::fprintf(stderr, "chunk failed: %s %s\n", jobs[0].reply.status.c_str(), jobs[0].reply.body.substr(0, 200).c_str());
  for (std::size_t c = 0; c < 32 && ok && !write; ++c)
    ok = jobs[c].reply.body.compare(0, std::string::npos, group, c * kChunk, kChunk) == 0;
  for (auto& job : jobs) curl_slist_free_all(job.headers);
  std::string close = "stream_id=" + stream;
  Reply closed = client.Call("/idtv1/stream/close/" + id, &close);
  return ok && closed.status == "code=2000" && JsonString(closed.body, "stream_md5") == md5;
}

BenchFile::BenchFile(std::size_t groups) : pattern(kGroup, '\0'), md5s(groups) {
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>((i * 2654435761u) >> 13);
  std::string group;
  for (std::size_t g = 0; g < groups; ++g) {
    FillGroup(group, pattern, g);
    md5s[g] = Md5(group.data(), group.size());
  }
}

using Clock = std::chrono::steady_clock;
double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

Reply LogIn(Client& client) {
  std::string login = "loginname=alice&password=alice%2Ddemo%2D1&domain=demo&macaddr=";
  return client.Call("/2nddomain/loginnorandom", &login);
}

/// Uploads and downloads the benchmark file through one korvexd with the
/// plain client; empty on success, else what failed.
std::string PlainClientRun(korvex::test::KorvexdProcess& korvexd, Figures& f) {
  const std::size_t groups = BenchGroups();
  const BenchFile& file = SharedBenchFile();
  std::string group;
  Client client(korvexd.BaseUrl());
  Reply logged = LogIn(client);
  if (logged.auth.empty()) return "login failed";
  client.SetCookie("AUTH_PRO=" + logged.auth);
  std::string prepare = "dirid=" + JsonString(logged.body, "dirid") + "&filename=bench%2Ebin&size=" +
                        std::to_string(groups * kGroup) + "&over%5Fride=1&lastmodifytime=1700000000&sec=0";
  Reply prepared = client.Call("/file/preupload", &prepare);
  std::string id = prepared.body.substr(0, prepared.body.find('.'));
  if (prepared.token.empty()) return "upload preparation failed: " + prepared.body;

  // Moves every group one way, timing it and both sides' CPU.
  auto moveAll = [&](const std::string& token, bool write, double& seconds, double& clientCpu,
                     double& serverCpu) -> std::string {
    const double server = korvexd.CpuSeconds(), client0 = ClientCpuSeconds();
    const auto t0 = Clock::now();
    for (std::size_t g = 0; g < groups; ++g) {
      FillGroup(group, file.pattern, g);
      if (!MoveGroup(client, id, token, g, write, group, file.md5s[g]))
        return std::string(write ? "upload" : "download") + " of group " + std::to_string(g) + " failed";
    }
    seconds = Seconds(Clock::now() - t0);
    clientCpu = ClientCpuSeconds() - client0;
    serverCpu = korvexd.CpuSeconds() - server;
    return {};
  };
  if (std::string error = moveAll(prepared.token, true, f.up, f.clientCpuUp, f.serverCpuUp); !error.empty())
    return error;
  Reply over = client.Call("/file/uploadover/" + id + "/0?product=smb&a=" + logged.auth + "&t=" + prepared.token, nullptr);
  if (over.body != "1") return "completion failed: " + over.body;

  Reply pre = client.Call("/file/predownloadnoredirect/" + id, nullptr);
  if (pre.token.empty()) return "download preparation failed";
  return moveAll(pre.token, false, f.down, f.clientCpuDown, f.serverCpuDown);
}

void PlainClientStreams(benchmark::State& state, korvex::test::KorvexdProcess* korvexd, const char* label,
                        std::optional<Figures>& keep) {
  if (!korvexd) return state.SkipWithError("korvexd did not start");
  for (auto _ : state) {
    Figures f;
    std::string error = PlainClientRun(*korvexd, f);
    if (!error.empty()) return state.SkipWithError(error.c_str());
    Report(state, label, BenchGroups(), f);
    keep = f;
  }
}

void BM_PlainClientStreamsBefore(benchmark::State& state) {
  if (!std::getenv("KORVEXD_BEFORE")) return state.SkipWithError("no baseline: KORVEXD_BEFORE is not set");
  PlainClientStreams(state, BeforeKorvexd(), "korvexd before (cpp-httplib), plain libcurl client", beforeFigures);
}

void BM_PlainClientStreams(benchmark::State& state) {
  PlainClientStreams(state, SharedKorvexd(), "plain libcurl client", afterFigures);
}

// -- The same transfer through the client library -----------------------

using korvex::AsyncResult;

/// Waits for `result`, reads its status and keeps it for the payload.
struct Call {
  AsyncResult* result = nullptr;
  Call() = default;
  Call(const Call&) = delete;
  ~Call() {
    if (!result) return;
    korvex::DeletePayloadObjects(*result);
    result->Release();
  }
  korvex::HRESULT Wait() {
    if (!result) return korvex::E_POINTER;
    result->Wait();
    return korvex::ReadOutcome(*result);
  }
  template <class Tuple>
  const Tuple* Payload() const { return result->PayloadAs<Tuple>(); }
};

/// Moves group g over one stream with kInFlight chunk requests under way;
/// `group` is the data to write, or receives the data read.
bool StoreMoveGroup(korvex::KorvexDataStoreRemote& store, const korvex::ItemInfo& item, const std::string& token,
                    std::size_t g, bool write, std::string& group, const std::string& md5) {
  const std::uint64_t first = g * kGroup;
  Call open;
  if (korvex::Failed(store.OpenStream(item, !write, first, kGroup, kChunk, token, &open.result)) ||
      korvex::Failed(open.Wait()))
    return false;
  const std::string stream = boost::get<1>(*open.Payload<korvex::OpenStreamPayload>());
  std::deque<Call> window;
  bool ok = true;
  auto finishOldest = [&](std::size_t index) {
    ok = ok && korvex::Succeeded(window.front().Wait());
    if (ok && !write) {
      const auto* payload = window.front().Payload<korvex::ReadBufferPayload>();
      std::memcpy(group.data() + index * kChunk, boost::get<1>(*payload), kChunk);
    }
    window.pop_front();
  };
  std::size_t finished = 0;
  for (std::uint32_t c = 0; c < 32 && ok; ++c) {
    if (window.size() == kInFlight) finishOldest(finished++);
    window.emplace_back();
    const std::uint64_t offset = first + c * kChunk;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(group.data() + c * kChunk);
    const korvex::HRESULT started =
        write ? store.WriteChunk(item, bytes, stream, c, offset, kChunk, &window.back().result)
              : store.ReadChunk(item, stream, c, offset, kChunk, &window.back().result);
    ok = ok && korvex::Succeeded(started);
  }
  while (!window.empty()) finishOldest(finished++);
  Call close;
  if (korvex::Failed(store.CloseStream(item, stream, &close.result)) || korvex::Failed(close.Wait())) return false;
  return ok && boost::get<2>(*close.Payload<korvex::CloseStreamPayload>()) == md5 &&
         (write || Md5(group.data(), group.size()) == md5);
}

void BM_StoreStreams(benchmark::State& state) {
  const std::size_t groups = BenchGroups();
  korvex::test::KorvexdProcess* korvexd = SharedKorvexd();
  if (!korvexd) return state.SkipWithError("korvexd did not start");
  const BenchFile& file = SharedBenchFile();
  std::string group;
  for (auto _ : state) {
    Client login(korvexd->BaseUrl());
    Reply logged = LogIn(login);
    if (logged.auth.empty()) return state.SkipWithError("login failed");
    korvex::KorvexDataStoreRemote store(korvexd->BaseUrl(), korvexd->BaseUrl(), logged.auth, "", "alice");
    korvex::ContainerInfo root;
    root.uri = "/";
    root.tag = static_cast<std::uint64_t>(std::stoull(JsonString(logged.body, "dirid")));
    korvex::ItemInfo upload;
    upload.name = "store-bench.bin";
    upload.size = groups * kGroup;
    Call prepared;
    if (korvex::Failed(store.CreateItem(root, upload, 1, &prepared.result)) || korvex::Failed(prepared.Wait()))
      return state.SkipWithError("upload preparation failed");
    korvex::ItemInfo item = boost::get<1>(*prepared.Payload<korvex::CreateItemPayload>())->info;
    const std::string uploadToken = boost::any_cast<std::string>(item.extraTag);

    Figures f;
    double server = korvexd->CpuSeconds(), client0 = ClientCpuSeconds();
    auto t0 = Clock::now();
    for (std::size_t g = 0; g < groups; ++g) {
      FillGroup(group, file.pattern, g);
      if (!StoreMoveGroup(store, item, uploadToken, g, true, group, file.md5s[g]))
        return state.SkipWithError(("upload of group " + std::to_string(g) + " failed").c_str());
    }
    f.up = Seconds(Clock::now() - t0);
    f.clientCpuUp = ClientCpuSeconds() - client0;
    f.serverCpuUp = korvexd->CpuSeconds() - server;
    Call completed, opened;
    if (korvex::Failed(store.CompleteItem(item, 0, &completed.result)) || korvex::Failed(completed.Wait()))
      return state.SkipWithError("completion failed");
    if (korvex::Failed(store.OpenItem(item, false, &opened.result)) || korvex::Failed(opened.Wait()))
      return state.SkipWithError("download preparation failed");
    const std::string downloadToken =
        boost::any_cast<std::string>(boost::get<1>(*opened.Payload<korvex::OpenItemPayload>()));

    server = korvexd->CpuSeconds();
    client0 = ClientCpuSeconds();
    auto t1 = Clock::now();
    for (std::size_t g = 0; g < groups; ++g) {
      if (!StoreMoveGroup(store, item, downloadToken, g, false, group, file.md5s[g]))
        return state.SkipWithError(("download of group " + std::to_string(g) + " failed").c_str());
    }
    f.down = Seconds(Clock::now() - t1);
    f.clientCpuDown = ClientCpuSeconds() - client0;
    f.serverCpuDown = korvexd->CpuSeconds() - server;
    Report(state, "WriteChunk/ReadChunk of the client library", groups, f);
  }
}

}  // namespace

BENCHMARK(BM_PlainClientStreamsBefore)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_PlainClientStreams)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_StoreStreams)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
  // The client library keeps settings and logs under KORVEX_HOME; a run
  // must touch neither the user's own nor go through a proxy.
  char home[] = "/tmp/korvex-bench-XXXXXX";
  if (!mkdtemp(home)) return 1;
  setenv("KORVEX_HOME", home, 1);
  for (const char* name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
    unsetenv(name);
  curl_global_init(CURL_GLOBAL_DEFAULT);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  PrintComparison();
  benchmark::Shutdown();
  curl_global_cleanup();
  std::error_code ec;
  std::filesystem::remove_all(home, ec);
  return 0;
}
