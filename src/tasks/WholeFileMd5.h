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
#include <memory>
#include <string>

#include "foundation/Md5.h"
#include "platform/HResult.h"

namespace korvex {

class WholeFileMd5 {
 public:
  WholeFileMd5();
  ~WholeFileMd5();
  WholeFileMd5(const WholeFileMd5&) = delete;
  WholeFileMd5& operator=(const WholeFileMd5&) = delete;

  /// The length of the file's first bytes that the digest holds.
  [[nodiscard]] std::uint64_t Hashed() const noexcept { return hashed_; }

  /// Feeds the `size` bytes at `data`, the file's bytes from `offset`, whose
  /// own MD5 is `md5` (upper or lower case hex). Bytes that do not follow
  /// those fed so far are left to the read-back. A file that is one piece
  /// takes `md5` as it is, without hashing again.
  [[nodiscard]] HRESULT Feed(std::uint64_t offset, const std::uint8_t* data, std::size_t size, std::uint64_t fileSize,
                             const std::string& md5);

  /// Bytes from `offset` on are no longer those of the file (a group that
  /// was fed but never reached the disk): the digest starts afresh when it
  /// holds any of them.
  void Forget(std::uint64_t offset);

  /// Starts afresh, holding nothing.
  void Reset();

  /// The hex MD5 of the `Hashed()` bytes; the digest then starts afresh.
  [[nodiscard]] HRESULT Finish(std::string& md5);

 private:
  std::unique_ptr<Md5> digest_;
  std::uint64_t hashed_ = 0;
  /// The MD5 of a file fed as one piece; the digest is then unused.
  std::string whole_;
};

}  // namespace korvex
