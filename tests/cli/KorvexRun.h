// Runs the built korvex binary as a child process: arguments, optional text
// on standard input, and the exit code with both outputs. Every wait is
// bounded: a child that runs too long is killed and the run reports it.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

extern char** environ;

namespace korvex::test {

struct KorvexRun {
  int exitCode = -1;  ///< -1 when the child did not end by itself in time
  std::string out;
  std::string err;
};

/// The child that Start() spawned, for tests that run two at once.
class KorvexChild {
 public:
  KorvexChild() = default;
  KorvexChild(const KorvexChild&) = delete;
  KorvexChild& operator=(const KorvexChild&) = delete;
  ~KorvexChild() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    for (int fd : {in_, out_, err_}) {
      if (fd >= 0) ::close(fd);
    }
  }

  bool Start(const std::vector<std::string>& args, const std::string& input, const std::string& program = KORVEX_PATH) {
    // A child that exits before reading all its input must fail the test,
    // not kill the test process with SIGPIPE.
    ::signal(SIGPIPE, SIG_IGN);
    int inPipe[2], outPipe[2], errPipe[2];
    if (::pipe2(inPipe, O_CLOEXEC) != 0 || ::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
      return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inPipe[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    std::vector<std::string> all{program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    // A new session: the child has no controlling terminal, so a password
    // prompt can never wait for the developer's keyboard.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
    const int rc = ::posix_spawn(&pid_, all[0].c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(inPipe[0]);
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    in_ = inPipe[1];
    out_ = outPipe[0];
    err_ = errPipe[0];
    if (rc != 0) pid_ = -1;
    (void)!::write(in_, input.data(), input.size());
    ::close(in_);
    in_ = -1;
    return rc == 0;
  }

  KorvexRun Finish(int timeoutMs = 60000) {
    KorvexRun run;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while ((out_ >= 0 || err_ >= 0) && std::chrono::steady_clock::now() < deadline) {
      pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
      if (::poll(fds, 2, 100) <= 0) continue;
      Drain(fds[0], out_, run.out);
      Drain(fds[1], err_, run.err);
    }
    int status = 0;
    if (out_ >= 0 || err_ >= 0) ::kill(pid_, SIGKILL);
    if (pid_ > 0 && ::waitpid(pid_, &status, 0) == pid_ && WIFEXITED(status) && out_ < 0 && err_ < 0)
      run.exitCode = WEXITSTATUS(status);
    pid_ = -1;
    return run;
  }

 private:
  static void Drain(const pollfd& p, int& fd, std::string& text) {
    if (fd < 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) return;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else {
      ::close(fd);
      fd = -1;
    }
  }

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
};

/// Runs korvex to its end (at most timeoutMs) with the current environment.
inline KorvexRun RunKorvex(const std::vector<std::string>& args, const std::string& input = {},
                           int timeoutMs = 60000) {
  KorvexChild child;
  if (!child.Start(args, input)) return {};
  return child.Finish(timeoutMs);
}

/// The same for another copy of korvex.
inline KorvexRun RunKorvexAt(const std::string& program, const std::vector<std::string>& args,
                             int timeoutMs = 60000) {
  KorvexChild child;
  if (!child.Start(args, {}, program)) return {};
  return child.Finish(timeoutMs);
}

}  // namespace korvex::test
