// korvexd: a local KorvexData-compatible service for development, demos and tests.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>
#include <string>
#include <thread>
#include <vector>

#include "Service.h"

namespace {

void Usage() {
  std::fprintf(stderr,
               "usage: korvexd --data-dir DIR [--host 127.0.0.1] [--port 0]\n"
               "               [--tls-cert FILE --tls-key FILE] [--seed-demo]\n"
               "               [--update-dir DIR [--no-update-digests]] [--fault SPEC]... [--log]\n"
               "               [--public-url URL] [--session-idle SECONDS]\n"
               "               [--token-ttl SECONDS] [--exit-with-parent]\n"
               "       korvexd --data-dir DIR add-user NAME PASSWORD DOMAIN\n"
               "       korvexd --data-dir DIR [--seed-demo] set-quota NAME DOMAIN BYTES\n");
}

// Runs an offline command on the data folder; --seed-demo first seeds the
// demo accounts, so that a command can change them before the service starts.
int Offline(korvexd::Options options, const std::vector<std::string>& words) {
  options.faults.clear();
  if (words[0] == "add-user") options.seedDemo = false;
  korvexd::Service service(options);
  std::string error;
  if (!service.Init(error)) {
    std::fprintf(stderr, "korvexd: %s\n", error.c_str());
    return 1;
  }
  if (words[0] == "set-quota") {
    char* end = nullptr;
    const long long bytes = std::strtoll(words[3].c_str(), &end, 10);
    auto user = service.catalog().FindUser(words[1], words[2]);
    if (!user || end == words[3].c_str() || *end != '\0' || !service.catalog().SetQuota(user->id, bytes)) {
      std::fprintf(stderr, "korvexd: set-quota: no user %s@%s, or %s is not a size in bytes\n", words[1].c_str(),
                   words[2].c_str(), words[3].c_str());
      return 1;
    }
    std::printf("quota of %s@%s: %lld bytes\n", words[1].c_str(), words[2].c_str(), bytes);
    return 0;
  }
  auto user = service.catalog().AddUser(words[1], words[2], words[3], words[1], error);
  if (!user) {
    std::fprintf(stderr, "korvexd: add-user: %s\n", error.c_str());
    return 1;
  }
  std::printf("added %s@%s (root directory %lld)\n", user->name.c_str(), user->domain.c_str(),
              static_cast<long long>(user->rootDir));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  korvexd::Options options;
  std::vector<std::string> words;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    auto value = [&](const char* name) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "korvexd: %s needs a value\n", name);
        std::exit(2);
      }
      return argv[++i];
    };
    if (arg == "--data-dir") {
      options.dataDir = value("--data-dir");
    } else if (arg == "--host") {
      options.host = value("--host");
    } else if (arg == "--port") {
      auto port = korvexd::ParseI64(value("--port"));
      if (!port || *port < 0 || *port > 65535) {
        std::fprintf(stderr, "korvexd: --port needs a number from 0 to 65535\n");
        return 2;
      }
      options.port = static_cast<int>(*port);
    } else if (arg == "--public-url") {
      options.publicUrl = value("--public-url");
      while (!options.publicUrl.empty() && options.publicUrl.back() == '/') options.publicUrl.pop_back();
      if (options.publicUrl.rfind("http://", 0) != 0 && options.publicUrl.rfind("https://", 0) != 0) {
        std::fprintf(stderr, "korvexd: --public-url needs an http:// or https:// address\n");
        return 2;
      }
    } else if (arg == "--session-idle" || arg == "--token-ttl") {
      auto seconds = korvexd::ParseI64(value(arg.c_str()));
      if (!seconds || *seconds < 1) {
        std::fprintf(stderr, "korvexd: %s needs a number of seconds, at least 1\n", arg.c_str());
        return 2;
      }
      (arg == "--session-idle" ? options.sessionIdleSeconds : options.tokenSeconds) = *seconds;
    } else if (arg == "--tls-cert") {
      options.tlsCert = value("--tls-cert");
    } else if (arg == "--tls-key") {
      options.tlsKey = value("--tls-key");
    } else if (arg == "--exit-with-parent") {
      // Test harnesses pass this so that a crashed test leaves no service behind.
      prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (getppid() == 1) return 1;
    } else if (arg == "--log") {
      options.logRequests = true;
    } else if (arg == "--seed-demo") {
      options.seedDemo = true;
    } else if (arg == "--update-dir") {
      options.updateDir = value("--update-dir");
    } else if (arg == "--no-update-digests") {
      options.updateDigests = false;
    } else if (arg == "--fault") {
      options.faults.push_back(value("--fault"));
    } else if (arg == "--help" || arg == "-h") {
      Usage();
      return 0;
    } else if (!arg.empty() && arg[0] == '-') {
      std::fprintf(stderr, "korvexd: unknown option %s\n", arg.c_str());
      Usage();
      return 2;
    } else {
      words.push_back(arg);
    }
  }
  if (options.dataDir.empty()) {
    Usage();
    return 2;
  }
  if (options.tlsCert.empty() != options.tlsKey.empty()) {
    std::fprintf(stderr, "korvexd: --tls-cert and --tls-key go together\n");
    return 2;
  }
  if (!words.empty()) {
    const bool known = words[0] == "add-user" || words[0] == "set-quota";
    if (known && words.size() == 4) return Offline(options, words);
    if (!known) std::fprintf(stderr, "korvexd: unknown command %s\n", words[0].c_str());
    Usage();
    return 2;
  }

  // Signals are taken by one thread with sigwait, so that stopping never runs
  // inside an asynchronous signal handler.
  std::signal(SIGPIPE, SIG_IGN);
  // Every connection is a descriptor; the soft limit of 1024 would turn
  // away clients long before memory or threads run short.
  rlimit files{};
  if (getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    (void)setrlimit(RLIMIT_NOFILE, &files);
  }
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  korvexd::Service service(options);
  std::string error;
  if (!service.Init(error)) {
    std::fprintf(stderr, "korvexd: %s\n", error.c_str());
    return 1;
  }
  std::atomic<bool> served{false};
  std::thread stopper([&] {
    int signal = 0;
    if (sigwait(&stopSignals, &signal) == 0 && !served)
      std::fprintf(stderr, "korvexd: stopping on signal %d\n", signal);
    // A stop that lands before the server loop runs is lost, so repeat it
    // until the loop has ended.
    while (!served) {
      service.Stop();
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  int code = service.Serve();
  served = true;
  // Wake the stopper when the server ended on its own.
  kill(getpid(), SIGTERM);
  stopper.join();
  return code;
}
