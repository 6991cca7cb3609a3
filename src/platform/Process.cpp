//===- platform/Process.cpp - Starting other programs ---------------------===//

#include "platform/Process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <system_error>

#include "platform/SystemError.h"

extern char** environ;

namespace korvex {

HRESULT StartProcess(const std::filesystem::path& program, const std::vector<std::string>& args, pid_t* pid) {
  std::vector<std::string> words{program.string()};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = -1;
  const int rc = posix_spawn(&child, words[0].c_str(), nullptr, nullptr, argv.data(), environ);
  if (rc != 0) return HResultFromErrno(rc);
  if (pid != nullptr) *pid = child;
  return S_OK;
}

HRESULT WaitForProcess(pid_t pid, int& exitCode) {
  int status = 0;
  pid_t r = -1;
  do {
    r = waitpid(pid, &status, 0);
  } while (r < 0 && errno == EINTR);
  if (r < 0) return HResultFromLastErrno();
  exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return S_OK;
}

std::filesystem::path RunningProgramPath() {
  std::error_code error;
  std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::filesystem::path() : path;
}

}  // namespace korvex
