//===- cli/BackgroundRunner.cpp - Transfers that go on without a terminal -===//

#include "cli/BackgroundRunner.h"

#include "platform/SystemError.h"

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace korvex::cli {

HRESULT SpawnDetachedResume(const std::vector<std::uint32_t>& ids, const std::vector<std::string>& passOn) {
  char self[4096];
  const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return HResultFromErrno(errno);
  self[length] = '\0';
  std::vector<std::string> words{self};
  words.insert(words.end(), passOn.begin(), passOn.end());
  words.insert(words.end(), {"transfers", "resume"});
  for (std::uint32_t id : ids) words.push_back(std::to_string(id));
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  for (int fd : {0, 1, 2}) posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  // Its own session: closing the terminal or Ctrl-C there does not reach it.
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t child = 0;
  const int error = ::posix_spawn(&child, self, &actions, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? S_OK : HResultFromErrno(error);
}

}  // namespace korvex::cli
