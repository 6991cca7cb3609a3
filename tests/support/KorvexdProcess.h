// Starts korvexd for a test: on port 0, in a fresh temporary data folder,
// and stops it again. Header-only so that any test folder can use it with
// #include "support/KorvexdProcess.h" (the build defines KORVEXD_PATH).
//
// Every wait is bounded, so a service that does not come up fails the test
// instead of hanging it. korvexd runs with --exit-with-parent: it ends when
// the thread that started it ends, so start it from the test's own thread.
#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace korvex::test {

class KorvexdProcess {
 public:
  KorvexdProcess() = default;
  /// Runs another build of korvexd (a benchmark's baseline) instead of this one.
  explicit KorvexdProcess(std::string program) : program_(std::move(program)) {}
  KorvexdProcess(const KorvexdProcess&) = delete;
  KorvexdProcess& operator=(const KorvexdProcess&) = delete;
  ~KorvexdProcess() {
    Stop();
    std::error_code ec;
    if (!dataDir_.empty()) std::filesystem::remove_all(dataDir_, ec);
  }

  /// Starts korvexd with --data-dir (a new temporary folder on the first
  /// start, the same folder on later ones), --port 0 and the extra arguments.
  /// False with Error() set when it prints no listening line within timeoutMs.
  bool Start(const std::vector<std::string>& extraArgs = {}, int timeoutMs = 15000) {
    Stop();
    if (dataDir_.empty()) {
      std::string pattern = (std::filesystem::temp_directory_path() / "korvexd-test-XXXXXX").string();
      if (!mkdtemp(pattern.data())) return Fail("mkdtemp failed");
      dataDir_ = pattern;
    }
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return Fail("pipe failed");
    // A service that refuses a request early may close before the client
    // has sent the whole body; the client must see an error, not SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args{program_, "--data-dir", dataDir_.string(), "--port", "0", "--exit-with-parent"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    posix_spawn_file_actions_addclose(&actions, pipeFds[1]);
    int rc = posix_spawn(&pid_, args[0].c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    stdout_ = pipeFds[0];
    if (rc != 0) {
      pid_ = -1;
      Stop();
      return Fail("cannot start " + args[0]);
    }
    std::string line;
    const std::string prefix = "listening on ";
    const bool read = ReadLine(line, timeoutMs);
    const std::size_t colon = line.rfind(':');
    const std::size_t hostStart = line.find("://");
    if (!read || line.rfind(prefix, 0) != 0 || colon == std::string::npos || hostStart == std::string::npos) {
      Stop();
      return Fail("unexpected first line: '" + line + "'");
    }
    baseUrl_ = line.substr(prefix.size());
    host_ = line.substr(hostStart + 3, colon - hostStart - 3);
    port_ = std::atoi(line.c_str() + colon + 1);
    return port_ > 0;
  }

  /// Stops korvexd with SIGTERM (SIGKILL after timeoutMs); true when it
  /// ended by itself with exit code 0.
  bool Stop(int timeoutMs = 10000) { return End(SIGTERM, timeoutMs); }
  /// Kills korvexd without letting it finish anything (a crash).
  void Kill() { (void)End(SIGKILL, 10000); }

  int Port() const { return port_; }
  const std::string& Host() const { return host_; }
  const std::string& BaseUrl() const { return baseUrl_; }
  const std::filesystem::path& DataDir() const { return dataDir_; }
  const std::string& Error() const { return error_; }
  pid_t Pid() const { return pid_; }

  /// User and system CPU time korvexd has used so far, for benchmarks.
  double CpuSeconds() const {
    std::ifstream in("/proc/" + std::to_string(pid_) + "/stat");
    const std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::size_t end = stat.rfind(')');
    if (end == std::string::npos) return 0;
    // Fields after the command name start at the third; utime and stime are the 14th and 15th.
    std::istringstream rest(stat.substr(end + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
      if (i == 14) utime = std::stoull(field);
      if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
  }

 private:
  bool Fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  bool ReadLine(std::string& line, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    char c = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, 50) <= 0) continue;
      if (read(stdout_, &c, 1) != 1) return false;
      if (c == '\n') return true;
      line.push_back(c);
    }
    return false;
  }

  bool End(int signal, int timeoutMs) {
    bool clean = true;
    if (pid_ > 0) {
      kill(pid_, signal);
      clean = false;
      int status = 0;
      for (int waited = 0; waited < timeoutMs; waited += 10) {
        const pid_t r = waitpid(pid_, &status, WNOHANG);
        if (r != 0) {
          clean = r == pid_ && WIFEXITED(status) && WEXITSTATUS(status) == 0;
          pid_ = -1;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status, 0);
      }
    }
    if (stdout_ >= 0) close(stdout_);
    stdout_ = -1;
    pid_ = -1;
    return clean;
  }

  std::string program_ = KORVEXD_PATH;
  pid_t pid_ = -1;
  int stdout_ = -1;
  int port_ = 0;
  std::string host_, baseUrl_, error_;
  std::filesystem::path dataDir_;
};

}  // namespace korvex::test
