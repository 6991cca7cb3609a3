// Starts korvexd for a test: on port 0, in a fresh temporary data folder,
// and stops it again. Header-only so that any test folder can use it with
// #include "support/KorvexdProcess.h" (the build defines KORVEXD_PATH).
//
//   korvex::test::KorvexdProcess korvexd;
//   ASSERT_TRUE(korvexd.Start({"--seed-demo"})) << korvexd.Error();
//   httplib::Client client(korvexd.Host(), korvexd.Port());
//
// Every wait is bounded, so a service that does not come up fails the test
// instead of hanging it. korvexd runs with --exit-with-parent: it ends when
// the thread that started it ends, so start it from the test's own thread.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace korvex::test {

class KorvexdProcess {
 public:
  KorvexdProcess() = default;
  KorvexdProcess(const KorvexdProcess&) = delete;
  KorvexdProcess& operator=(const KorvexdProcess&) = delete;
  ~KorvexdProcess() {
    Stop();
    if (!keepDataDir_ && !dataDir_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(dataDir_, ec);
    }
  }

  /// Starts korvexd with --data-dir (a new temporary folder on the first
  /// start, the same folder on later ones), --port 0 and the extra arguments.
  /// Returns false with Error() set when it does not print its listening
  /// line within timeoutMs.
  bool Start(const std::vector<std::string>& extraArgs = {}, int timeoutMs = 15000) {
    Stop();
    if (dataDir_.empty() && !MakeDataDir()) return false;
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return Fail("pipe failed");
    // A service that refuses a request early may close before the client
    // has sent the whole body; the client must see an error, not SIGPIPE.
    std::signal(SIGPIPE, SIG_IGN);
    std::vector<std::string> args{KORVEXD_PATH, "--data-dir", dataDir_.string(), "--port", "0", "--exit-with-parent"};
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
    if (rc != 0) {
      close(pipeFds[0]);
      pid_ = -1;
      return Fail("cannot start " + args[0]);
    }
    stdout_ = pipeFds[0];
    std::string line;
    if (!ReadLine(line, timeoutMs)) {
      Stop();
      return Fail("korvexd printed no listening line: '" + line + "'");
    }
    const std::string prefix = "listening on ";
    std::size_t colon = line.rfind(':');
    if (line.rfind(prefix, 0) != 0 || colon == std::string::npos) {
      Stop();
      return Fail("unexpected first line: " + line);
    }
    baseUrl_ = line.substr(prefix.size());
    port_ = std::atoi(line.c_str() + colon + 1);
    std::size_t hostStart = baseUrl_.find("://") + 3;
    host_ = line.substr(prefix.size() + hostStart, colon - prefix.size() - hostStart);
    return port_ > 0;
  }

  /// Stops korvexd with SIGTERM (SIGKILL after timeoutMs); returns true
  /// when it ended by itself with exit code 0.
  bool Stop(int timeoutMs = 10000) {
    if (pid_ <= 0) return true;
    kill(pid_, SIGTERM);
    bool clean = WaitExit(timeoutMs);
    if (stdout_ >= 0) close(stdout_);
    stdout_ = -1;
    pid_ = -1;
    return clean;
  }

  /// Kills korvexd without letting it finish anything (a crash).
  void Kill() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    WaitExit(10000);
    if (stdout_ >= 0) close(stdout_);
    stdout_ = -1;
    pid_ = -1;
  }

  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }
  const std::string& Host() const { return host_; }
  const std::string& BaseUrl() const { return baseUrl_; }
  const std::filesystem::path& DataDir() const { return dataDir_; }
  const std::string& Error() const { return error_; }
  pid_t Pid() const { return pid_; }
  /// Keeps the data folder after the test (for debugging).
  void KeepDataDir() { keepDataDir_ = true; }

 private:
  bool Fail(std::string message) {
    error_ = std::move(message);
    return false;
  }

  bool MakeDataDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "korvexd-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return Fail("mkdtemp failed");
    dataDir_ = pattern;
    return true;
  }

  bool ReadLine(std::string& line, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(std::max<long long>(1, left.count()))) <= 0) continue;
      char c;
      if (read(stdout_, &c, 1) != 1) return false;
      if (c == '\n') return true;
      line.push_back(c);
    }
    return false;
  }

  bool WaitExit(int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r == pid_) return WIFEXITED(status) && WEXITSTATUS(status) == 0;
      if (r < 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &status, 0);
    return false;
  }

  pid_t pid_ = -1;
  int stdout_ = -1;
  int port_ = 0;
  std::string host_, baseUrl_, error_;
  std::filesystem::path dataDir_;
  bool keepDataDir_ = false;
};

}  // namespace korvex::test
