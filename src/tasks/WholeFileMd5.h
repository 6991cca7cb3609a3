//===- tasks/WholeFileMd5.h - A download's MD5, made as groups settle -*- C++ -*-===//
///
/// A download checks the finished file against the MD5 the service
/// announced, which catches a file that changed on the service between
/// groups. Reading the whole file back for it would hash every byte a second
/// time after the last group, so the digest is fed instead from each
/// group's verified bytes while they are still in memory, as long as groups
/// arrive in file order. What this run did not feed (the groups of an
/// earlier run, or everything after a group that had to be given up after
/// it was fed) is read back from the file at the end.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/Md5Lanes.h"
#include "platform/HResult.h"

namespace korvex {

class WholeFileMd5 {
 public:
  WholeFileMd5() = default;
  WholeFileMd5(const WholeFileMd5&) = delete;
  WholeFileMd5& operator=(const WholeFileMd5&) = delete;

  /// The digest carried over a group before the group is known to be good.
  struct Ahead {
    std::uint64_t from = ~std::uint64_t{0};  ///< where the group starts; none by default
    Md5State state;
  };

  /// The MD5 of a group, `size` bytes at `data` from the file's `offset`,
  /// into `md5` (upper-case hex). When the group follows what the digest
  /// holds, the digest is carried over it in the same pass, into `ahead`,
  /// for Feed to take once the group has proved good.
  void HashGroup(std::uint64_t offset, const std::uint8_t* data, std::size_t size, std::uint64_t fileSize,
                 std::string& md5, Ahead& ahead) const;

  /// The length of the file's first bytes that the digest holds.
  [[nodiscard]] std::uint64_t Hashed() const noexcept { return hashed_; }

  /// Feeds the `size` bytes at `data`, the file's bytes from `offset`, whose
  /// own MD5 is `md5` (upper or lower case hex). Bytes that do not follow
  /// those fed so far are left to the read-back. A file that is one piece
  /// takes `md5` as it is, without hashing again.
  /// With `ahead` from HashGroup over these bytes, nothing is hashed again.
  [[nodiscard]] HRESULT Feed(std::uint64_t offset, const std::uint8_t* data, std::size_t size, std::uint64_t fileSize,
                             const std::string& md5, const Ahead* ahead = nullptr);

  /// Bytes from `offset` on are no longer those of the file (a group that
  /// was fed but never reached the disk): the digest starts afresh when it
  /// holds any of them.
  void Forget(std::uint64_t offset);

  /// Starts afresh, holding nothing.
  void Reset();

  /// The hex MD5 of the `Hashed()` bytes; the digest then starts afresh.
  [[nodiscard]] HRESULT Finish(std::string& md5);

 private:
  Md5State digest_;
  std::uint64_t hashed_ = 0;
  /// The MD5 of a file fed as one piece; the digest is then unused.
  std::string whole_;
};

}  // namespace korvex
