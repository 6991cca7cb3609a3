// Arrived byte ranges on their way to the database.
#include "PendingReceipts.h"

#include <utility>

namespace korvexd {

bool PendingReceipts::Add(const Receipt& receipt) {
  std::lock_guard lock(mutex_);
  auto now = std::chrono::steady_clock::now();
  if (receipts_.empty()) oldest_ = now;
  receipts_.push_back(receipt);
  return receipts_.size() >= kBatch || now - oldest_ >= kLongestWait;
}

std::vector<Receipt> PendingReceipts::Take() {
  std::lock_guard lock(mutex_);
  return std::exchange(receipts_, {});
}

bool PendingReceipts::Overlaps(std::int64_t fileId, std::uint64_t first, std::uint64_t end) {
  std::lock_guard lock(mutex_);
  for (const Receipt& r : receipts_) {
    if (r.fileId == fileId && r.first < end && r.end > first) return true;
  }
  return false;
}

}  // namespace korvexd
