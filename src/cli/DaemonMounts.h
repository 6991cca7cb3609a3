//===- cli/DaemonMounts.h - Mounts that korvex daemon keeps -----*- C++ -*-===//
///
/// `korvex mount MOUNTPOINT --remember` names a folder in the user's
/// settings ("Mounts", folders separated by ";"); `korvex daemon` mounts
/// each named folder that is not mounted yet when it starts, as a detached
/// `korvex mount` of its own, and unmounts them when it stops. The mounts
/// hand their uploads to the daemon, which owns the account's transfers.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <sys/types.h>

#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace korvex::cli {

/// The remembered mount points, in the order they were added.
[[nodiscard]] std::vector<std::string> RememberedMounts();
/// Adds (`keep`) or removes an absolute folder path; false when the
/// settings cannot be written.
[[nodiscard]] bool RememberMount(const std::string& folder, bool keep);

class DaemonMounts {
 public:
  /// `passOn`: the global options each mount must be started with.
  explicit DaemonMounts(std::vector<std::string> passOn);
  /// Ends every mount this object started: SIGTERM, a bounded wait, then a
  /// lazy unmount, so that no folder is left hanging on a dead process.
  ~DaemonMounts();
  DaemonMounts(const DaemonMounts&) = delete;
  DaemonMounts& operator=(const DaemonMounts&) = delete;

  /// Starts a mount for each remembered folder that exists and is not
  /// mounted, telling `out` what became of each.
  void StartAll(std::ostream& out);

 private:
  std::vector<std::string> passOn_;
  std::vector<std::pair<std::string, pid_t>> mounts_;
};

}  // namespace korvex::cli
