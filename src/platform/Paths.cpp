//===- platform/Paths.cpp - Per-user and machine folders ------------------===//

#include "platform/Paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace korvex::paths {
namespace {

namespace fs = std::filesystem;

/// An environment folder counts only when absolute: the XDG rules say a
/// relative value is to be ignored, and it would depend on the current folder.
bool AbsoluteFromEnv(const char* name, fs::path& out) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return false;
  out = value;
  return true;
}

bool KorvexHome(fs::path& out) {
  const char* value = std::getenv("KORVEX_HOME");
  if (value == nullptr || value[0] == '\0') return false;
  // A relative KORVEX_HOME is taken as given rather than ignored: tests
  // set it deliberately, and resolving it keeps later chdir calls harmless.
  std::error_code ec;
  out = fs::absolute(value, ec);
  if (ec) out = value;
  return true;
}

}  // namespace

fs::path HomeDir() {
  fs::path home;
  if (AbsoluteFromEnv("HOME", home)) return home;
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* result = nullptr;
  if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &result) == 0 &&
      result != nullptr && result->pw_dir != nullptr && result->pw_dir[0] == '/') {
    return result->pw_dir;
  }
  return "/";
}

fs::path UserConfigDir() {
  fs::path dir;
  if (KorvexHome(dir)) return dir / "config";
  if (AbsoluteFromEnv("XDG_CONFIG_HOME", dir)) return dir;
  return HomeDir() / ".config";
}

fs::path MachineConfigDir() {
  fs::path dir;
  if (KorvexHome(dir)) return dir / "etc";
  return "/etc";
}

fs::path AppDataDir() {
  fs::path dir;
  if (KorvexHome(dir)) return dir / "data";
  if (AbsoluteFromEnv("XDG_DATA_HOME", dir)) return dir;
  return HomeDir() / ".local" / "share";
}

fs::path TempDir() {
  fs::path dir;
  if (AbsoluteFromEnv("TMPDIR", dir)) return dir;
  return "/tmp";
}

}  // namespace korvex::paths
