//===- cli/BackupNotice.cpp - Telling the user how a backup went ----------===//

#include "cli/BackupNotice.h"

#include "cli/Console.h"
#include "foundation/LogMgr.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>
#include <vector>

extern char** environ;

namespace korvex::cli {
namespace {

std::string Reason(HRESULT hr) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08X", static_cast<std::uint32_t>(hr));
  const std::string text = BackupSkipText(hr);
  return (text.empty() ? StatusText(hr, "error") : text) + " (" + code + ")";
}

bool HasSessionBus() {
  if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address != nullptr && *address != '\0')
    return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::error_code ec;
  return runtime != nullptr && *runtime != '\0' && std::filesystem::exists(std::filesystem::path(runtime) / "bus", ec);
}

/// org.freedesktop.Notifications.Notify through gdbus, not waited for.
void Notify(const std::string& title, const std::string& body) {
  if (!HasSessionBus()) return;
  std::vector<std::string> args{"gdbus", "call", "--session", "--timeout", "5", "--dest",
                                "org.freedesktop.Notifications", "--object-path", "/org/freedesktop/Notifications",
                                "--method", "org.freedesktop.Notifications.Notify", "KorvexData", "0",
                                "dialog-warning", title, body, "[]", "{}", "-1"};
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int failed = posix_spawnp(&pid, "gdbus", &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) {
    LogMgr::Get().Info("korvex daemon", "no desktop notification: gdbus cannot be started (%d)", failed);
    return;
  }
  std::thread([pid] { (void)waitpid(pid, nullptr, 0); }).detach();
}

}  // namespace

std::string BackupRunSummary(const BackupRun& run) {
  const std::string uploaded = std::to_string(run.uploaded) + " uploaded";
  switch (run.outcome) {
    case BackupOutcome::kDone: return "done, " + uploaded;
    case BackupOutcome::kSkipped:
      return "skipped " + std::to_string(run.skipped.size()) + (run.skipped.size() == 1 ? " file, " : " files, ") +
             uploaded;
    case BackupOutcome::kFailed: return "failed: " + Reason(run.error) + ", " + uploaded;
    case BackupOutcome::kStopped: return "stopped, " + uploaded;
    case BackupOutcome::kRunning: break;
  }
  return "running";
}

std::vector<std::string> SkippedLines(const BackupRun& run) {
  std::vector<std::string> lines;
  for (const SkippedFile& file : run.skipped) lines.push_back(file.path + ": " + Reason(file.reason));
  return lines;
}

void AnnounceBackupRun(const BackupRun& run) {
  if (run.outcome != BackupOutcome::kSkipped && run.outcome != BackupOutcome::kFailed) return;
  std::string line = "backup of " + run.localPath + " " + BackupRunSummary(run);
  const std::vector<std::string> skipped = SkippedLines(run);
  for (std::size_t i = 0; i < skipped.size() && i < 3; ++i) line += (i == 0 ? ": " : "; ") + skipped[i];
  if (skipped.size() > 3) line += "; and " + std::to_string(skipped.size() - 3) + " more (korvex backup list)";
  std::cerr << "korvex daemon: warning: " << line << std::endl;
  LogMgr::Get().Warn("korvex daemon", "%s", line.c_str());
  Notify(run.outcome == BackupOutcome::kFailed ? "Backup failed" : "Backup skipped files", line);
}

}  // namespace korvex::cli
