// HttpRequestor against the curl command-line tool, both talking to the same
// loopback server in the same run:
//   requestor/small_get/N and curl_cli/small_get/N: small GETs with N in
//     flight; compare items_per_second.
//   requestor/large_get and curl_cli/large_get: one 256 MiB body; compare
//     bytes_per_second (the requestor keeps the body in memory, as its
//     callers need; curl writes it to /dev/null, and in a second row to a
//     tmpfs file, which costs the same fresh memory the requestor fills).
// The curl rows include starting the curl process once per batch of
// kCliBatch requests.

#include <benchmark/benchmark.h>
#include <httplib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

#include "net/HttpRequestor.h"

namespace {

using korvex::HRESULT;
using korvex::HttpHeaderMap;
using korvex::HttpRequestor;

constexpr std::size_t kLargeBody = 256u << 20;
constexpr std::size_t kChunk = 1u << 20;
constexpr int kCliBatch = 2000;

/// The one server of the run, started on first use.
class BenchServer {
 public:
  static BenchServer& Get() {
    static BenchServer server;
    return server;
  }
  std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }

 private:
  BenchServer() : chunk_(kChunk, 'L') {
    server_.new_task_queue = [] { return new httplib::ThreadPool(64); };
    server_.set_tcp_nodelay(true);
    server_.set_keep_alive_max_count(1000000);
    server_.set_socket_options([this](socket_t socket) {
      httplib::default_socket_options(socket);
      listener_ = socket;
    });
    server_.Get("/small", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(std::string(64, 's'), "text/plain");
    });
    server_.Get("/large", [this](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(
          kLargeBody, "application/octet-stream",
          [this](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
            const std::size_t bytes = std::min(length, kChunk - offset % kChunk);
            return sink.write(chunk_.data() + offset % kChunk, bytes);
          });
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    ::listen(listener_, 256);  // httplib's backlog of 5 drops SYNs under bursts
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ~BenchServer() {
    server_.stop();
    thread_.join();
  }

  std::string chunk_;
  httplib::Server server_;
  int listener_ = -1;
  int port_ = -1;
  std::thread thread_;
};

/// Counts requests in flight and lets the benchmark loop wait for a slot.
struct Window {
  std::mutex mutex;
  std::condition_variable freed;
  int inFlight = 0;
  std::atomic<int> failures{0};
  std::atomic<std::size_t> lastSize{0};
};

void OnDone(HRESULT status, const std::string& body, const std::deque<std::string>&,
            const HttpHeaderMap&, void* user) {
  auto* window = static_cast<Window*>(user);
  if (korvex::Failed(status)) window->failures.fetch_add(1);
  window->lastSize = body.size();
  std::lock_guard lock(window->mutex);
  --window->inFlight;
  window->freed.notify_all();
}

void WaitBelow(Window& window, int limit) {
  std::unique_lock lock(window.mutex);
  window.freed.wait(lock, [&] { return window.inFlight < limit; });
}

void RequestorSmallGet(benchmark::State& state) {
  const int inFlight = static_cast<int>(state.range(0));
  HttpRequestor requestor;
  requestor.SetUseProxy(false);
  if (korvex::Failed(requestor.Init(BenchServer::Get().Url()))) {
    state.SkipWithError("Init failed");
    return;
  }
  Window window;
  for (auto _ : state) {
    WaitBelow(window, inFlight);
    {
      std::lock_guard lock(window.mutex);
      ++window.inFlight;
    }
    if (korvex::Failed(requestor.SendRequest("/small", "GET", "", nullptr, 0, &OnDone, &window, 0))) {
      state.SkipWithError("SendRequest refused");
      break;
    }
  }
  WaitBelow(window, 1);
  if (window.failures.load() != 0) state.SkipWithError("requests failed");
  state.SetItemsProcessed(state.iterations());
}

void CurlCliSmallGet(benchmark::State& state) {
  const std::string command = "curl -s --parallel --parallel-max " +
                              std::to_string(state.range(0)) + " '" + BenchServer::Get().Url() +
                              "/small?n=[1-" + std::to_string(kCliBatch) + "]' >/dev/null 2>&1";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("curl failed (is the curl tool installed?)");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations() * kCliBatch);
}

void RequestorLargeGet(benchmark::State& state) {
  HttpRequestor requestor;
  requestor.SetUseProxy(false);
  if (korvex::Failed(requestor.Init(BenchServer::Get().Url()))) {
    state.SkipWithError("Init failed");
    return;
  }
  Window window;
  for (auto _ : state) {
    {
      std::lock_guard lock(window.mutex);
      ++window.inFlight;
    }
    if (korvex::Failed(requestor.SendRequest("/large", "GET", "", nullptr, 0, &OnDone, &window, 0))) {
      state.SkipWithError("SendRequest refused");
      break;
    }
    WaitBelow(window, 1);
    if (window.lastSize.load() != kLargeBody) state.SkipWithError("short body");
  }
  if (window.failures.load() != 0) state.SkipWithError("request failed");
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kLargeBody));
}

void CurlCliLargeGet(benchmark::State& state) {
  const std::string command = "curl -s -o /dev/null '" + BenchServer::Get().Url() + "/large'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("curl failed (is the curl tool installed?)");
      break;
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kLargeBody));
}

/// curl keeping the body in memory too (a file on tmpfs): the same memory
/// work the requestor does, for a like-for-like reading of the large rows.
void CurlCliLargeGetToMemory(benchmark::State& state) {
  const std::string target = "/dev/shm/korvex-http-bench-" + std::to_string(::getpid());
  const std::string command =
      "curl -s -o " + target + " '" + BenchServer::Get().Url() + "/large'";
  for (auto _ : state) {
    if (std::system(command.c_str()) != 0) {
      state.SkipWithError("curl failed (is the curl tool installed?)");
      break;
    }
    state.PauseTiming();
    std::remove(target.c_str());
    state.ResumeTiming();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kLargeBody));
}

BENCHMARK(RequestorSmallGet)->Name("requestor/small_get")->Arg(1)->Arg(8)->Arg(32)->UseRealTime();
BENCHMARK(CurlCliSmallGet)->Name("curl_cli/small_get")->Arg(1)->Arg(8)->Arg(32)->UseRealTime()->Iterations(3);
BENCHMARK(RequestorLargeGet)->Name("requestor/large_get")->UseRealTime()->Iterations(8);
BENCHMARK(CurlCliLargeGet)->Name("curl_cli/large_get")->UseRealTime()->Iterations(8);
BENCHMARK(CurlCliLargeGetToMemory)->Name("curl_cli/large_get_to_tmpfs")->UseRealTime()->Iterations(8);

}  // namespace

BENCHMARK_MAIN();
