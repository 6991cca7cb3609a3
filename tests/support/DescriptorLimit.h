// Runs a piece of a test with the process out of file descriptors: the soft
// RLIMIT_NOFILE is lowered and every descriptor left under it is taken, so
// the next open(), eventfd() or socket() fails with EMFILE. Both are given
// back when the object goes away.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace korvex::testing {

class ExhaustedDescriptors {
 public:
  explicit ExhaustedDescriptors(rlim_t limit = 256) {
    saved_ok_ = ::getrlimit(RLIMIT_NOFILE, &saved_) == 0;
    if (!saved_ok_) return;
    rlimit lowered = saved_;
    lowered.rlim_cur = std::min(saved_.rlim_cur, limit);
    if (::setrlimit(RLIMIT_NOFILE, &lowered) != 0) return;
    // Bounded by the lowered limit: open() fails once it is reached.
    for (rlim_t n = 0; n < lowered.rlim_cur; ++n) {
      const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
      if (fd < 0) break;
      taken_.push_back(fd);
    }
  }
  ~ExhaustedDescriptors() {
    for (int fd : taken_) ::close(fd);
    if (saved_ok_) ::setrlimit(RLIMIT_NOFILE, &saved_);
  }
  ExhaustedDescriptors(const ExhaustedDescriptors&) = delete;
  ExhaustedDescriptors& operator=(const ExhaustedDescriptors&) = delete;

  /// True when the limit was lowered and descriptors are really used up.
  [[nodiscard]] bool Active() const {
    const int probe = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (probe >= 0) ::close(probe);
    return probe < 0;
  }

 private:
  rlimit saved_{};
  bool saved_ok_ = false;
  std::vector<int> taken_;
};

}  // namespace korvex::testing
