// Keeps the contents of an upload and its completion apart: bytes are
// written into a file only while its upload is open, and an upload completes
// only while nothing is being written into it, so a finished file never
// changes under a late or cut-off request.
//
//   open --Enter/Leave (any number of writers)--> open
//     |  BeginCompletion (no writer inside)
//     v
//   completing --EndCompletion--> open (the database now says whether it is complete)
//
// Since it sees every write, it also remembers the MD5s of byte ranges that
// stream closes computed: a file downloaded in the ranges it was uploaded in
// is not read and hashed a second time. A writer entering a file forgets
// the ranges its bytes fall in; writers elsewhere in the file (the next
// stream of an upload) leave a range's MD5 alone.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace korvexd {

class WriteGate {
 public:
  /// A writer of [first, end) comes in; false while the file's upload is being completed.
  [[nodiscard]] bool Enter(std::int64_t fileId, std::uint64_t first, std::uint64_t end);
  void Leave(std::int64_t fileId, std::uint64_t first, std::uint64_t end);
  /// Closes the gate to writers; false (and nothing closed) while one is inside.
  [[nodiscard]] bool BeginCompletion(std::int64_t fileId);
  void EndCompletion(std::int64_t fileId);

  /// A mark to take before hashing [first, last] of the file; nullopt while
  /// a writer of those bytes is inside, when they may be changing.
  std::optional<std::uint64_t> QuietMark(std::int64_t fileId, std::uint64_t first, std::uint64_t last);
  /// Remembers the MD5 of [first, last] unless a writer of those bytes
  /// entered since `mark`.
  void RememberMd5(std::int64_t fileId, std::uint64_t first, std::uint64_t last, const std::string& md5,
                   std::uint64_t mark);
  /// The remembered MD5 of [first, last], or "".
  std::string RememberedMd5(std::int64_t fileId, std::uint64_t first, std::uint64_t last);

 private:
  // Enough for a few 100 GiB in 1 MiB ranges; beyond it all is dropped and
  // hashed again when asked.
  static constexpr std::size_t kMaxRanges = 1 << 18;
  // Entries looked back on by RememberMd5; a hash that took longer than
  // this many entries of writers is not remembered.
  static constexpr std::size_t kRecentEntries = 1024;

  struct Range {
    std::int64_t fileId;
    std::uint64_t first, end;  // [first, end)
    bool Overlaps(std::int64_t file, std::uint64_t a, std::uint64_t b) const {
      return fileId == file && first < b && a < end;
    }
  };

  std::mutex mutex_;
  std::map<std::int64_t, int> writers_;
  std::vector<Range> inside_;   // the writers inside now
  std::deque<Range> recent_;    // the latest entries, the last one numbered entries_
  std::set<std::int64_t> completing_;
  std::uint64_t entries_ = 0;  // writers that ever entered any file
  std::map<std::tuple<std::int64_t, std::uint64_t, std::uint64_t>, std::string> md5s_;
  std::map<std::int64_t, std::uint64_t> longest_;  // per file, the longest range remembered
};

}  // namespace korvexd
