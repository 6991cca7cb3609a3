//===- cli/DaemonMounts.cpp - Mounts that korvex daemon keeps -------------===//

#include "cli/DaemonMounts.h"

#include "cli/BackgroundRunner.h"
#include "foundation/Registry.h"
#include "mount/Mount.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

extern char** environ;

namespace korvex::cli {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMountsValue = "Mounts";
constexpr char kSeparator = ';';
// How long a mount may take to end after SIGTERM (its uploads are handed
// back to the store, not waited for).
constexpr int kEndWaitSteps = 100;  // of 100 ms

bool IsMounted(const fs::path& dir) {
  struct stat inside {}, above {};
  return ::stat(dir.c_str(), &inside) == 0 && ::stat(dir.parent_path().c_str(), &above) == 0 &&
         inside.st_dev != above.st_dev;
}

void End(const std::string& folder, pid_t pid) {
  ::kill(pid, SIGTERM);
  for (int step = 0; step < kEndWaitSteps; ++step) {
    if (::waitpid(pid, nullptr, WNOHANG) == pid) return;
    ::usleep(100 * 1000);
  }
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  if (!IsMounted(folder)) return;
  // A folder left on a dead mount answers every call with an error: it is
  // detached, whatever its name holds.
  std::string program = "fusermount3", flag = "-uz", path = folder;
  char* argv[] = {program.data(), flag.data(), path.data(), nullptr};
  pid_t helper = 0;
  if (::posix_spawnp(&helper, "fusermount3", nullptr, nullptr, argv, environ) == 0) ::waitpid(helper, nullptr, 0);
}

}  // namespace

std::vector<std::string> RememberedMounts() {
  const std::string text = ReadString(Hive::CurrentUser, kProductKey, kMountsValue, "");
  std::vector<std::string> folders;
  std::size_t at = 0;
  while (at <= text.size()) {
    const std::size_t end = std::min(text.find(kSeparator, at), text.size());
    if (end > at) folders.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return folders;
}

bool RememberMount(const std::string& folder, bool keep) {
  std::vector<std::string> folders = RememberedMounts();
  folders.erase(std::remove(folders.begin(), folders.end(), folder), folders.end());
  if (keep) folders.push_back(folder);
  std::string text;
  for (const std::string& f : folders) text += (text.empty() ? "" : std::string(1, kSeparator)) + f;
  return WriteString(Hive::CurrentUser, kProductKey, kMountsValue, text);
}

DaemonMounts::DaemonMounts(std::vector<std::string> passOn) : passOn_(std::move(passOn)) {}

DaemonMounts::~DaemonMounts() {
  for (const auto& [folder, pid] : mounts_) End(folder, pid);
}

void DaemonMounts::StartAll(std::ostream& out) {
  const std::string log = (mount::DefaultCacheDir() / "mount.log").string();
  std::error_code ec;
  fs::create_directories(mount::DefaultCacheDir(), ec);
  for (const std::string& folder : RememberedMounts()) {
    if (!fs::is_directory(folder, ec)) {
      out << "korvex daemon: " << folder << " is not mounted: not a folder" << std::endl;
      continue;
    }
    if (IsMounted(folder)) {
      out << "korvex daemon: " << folder << " is mounted already" << std::endl;
      continue;
    }
    std::vector<std::string> words = passOn_;
    words.insert(words.end(), {"mount", folder});
    pid_t pid = 0;
    if (Failed(SpawnDetached(words, log, pid))) {
      out << "korvex daemon: " << folder << " is not mounted: the mount could not be started" << std::endl;
      continue;
    }
    mounts_.emplace_back(folder, pid);
    out << "korvex daemon: mounting " << folder << " (pid " << pid << ", log " << log << ")" << std::endl;
  }
}

}  // namespace korvex::cli
