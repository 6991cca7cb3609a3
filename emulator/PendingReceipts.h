// Byte ranges of uploads that arrived but are not yet in the database.
//
// A stream's chunks come thousands of times a second, and one transaction
// each would make SQLite the bottleneck of every upload; so their ranges
// gather here and go into the database together: when enough have
// gathered or the oldest has waited a moment, when their stream closes,
// and before anything reads the database's ranges. A stream that was open
// when the service stopped is sent again from its start anyway, so nothing
// a client relies on is lost with them.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

namespace korvexd {

struct Receipt {
  std::int64_t fileId = 0;
  std::uint64_t first = 0, end = 0;  // [first, end)
};

class PendingReceipts {
 public:
  /// Adds a range; true when the gathered ranges are due for the database.
  bool Add(const Receipt& receipt);
  /// Hands over every gathered range.
  std::vector<Receipt> Take();
  /// Some gathered range of the file overlaps [first, end).
  bool Overlaps(std::int64_t fileId, std::uint64_t first, std::uint64_t end);

 private:
  static constexpr std::size_t kBatch = 128;
  static constexpr auto kLongestWait = std::chrono::milliseconds(250);

  std::mutex mutex_;
  std::vector<Receipt> receipts_;
  std::chrono::steady_clock::time_point oldest_;
};

}  // namespace korvexd
