//===- cli/BackgroundRunner.cpp - Transfers that go on without a terminal -===//

#include "cli/BackgroundRunner.h"

#include "platform/SystemError.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>

extern char** environ;

namespace korvex::cli {

std::vector<std::string> PassOnFlags(const session::GlobalOptions& options) {
  std::vector<std::string> passOn;
  const std::pair<const char*, const std::optional<std::string>*> flags[] = {
      {"--web-url", &options.webUrl},       {"--api-url", &options.apiUrl}, {"--data-url", &options.dataUrl},
      {"--service-domain", &options.serviceDomain}, {"--lang", &options.language}};
  for (const auto& [flag, value] : flags)
    if (*value) passOn.insert(passOn.end(), {flag, **value});
  if (options.caFile) passOn.insert(passOn.end(), {"--ca-file", *options.caFile});
  if (options.insecure) passOn.push_back("--insecure");
  return passOn;
}

HRESULT SpawnDetached(const std::vector<std::string>& words, const std::string& logFile, pid_t& child) {
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return HResultFromErrno(errno);
  self[length] = '\0';
  std::vector<std::string> all{self};
  all.insert(all.end(), words.begin(), words.end());
  std::vector<char*> argv;
  for (std::string& word : all) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  const char* out = logFile.empty() ? "/dev/null" : logFile.c_str();
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out, O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // Its own session: closing the terminal or Ctrl-C there does not reach it.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  const int error = ::posix_spawn(&child, self, &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? S_OK : HResultFromErrno(error);
}

HRESULT SpawnDetachedResume(const std::vector<std::uint32_t>& ids, const std::vector<std::string>& passOn) {
  std::vector<std::string> words = passOn;
  words.insert(words.end(), {"transfers", "resume"});
  for (std::uint32_t id : ids) words.push_back(std::to_string(id));
  pid_t child = 0;
  return SpawnDetached(words, {}, child);
}

}  // namespace korvex::cli
