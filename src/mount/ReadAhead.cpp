//===- mount/ReadAhead.cpp - Fetching blocks before they are read ---------===//

#include "mount/ReadAhead.h"

namespace korvex::mount {

namespace {
// More waiting jobs than this means the reader outruns the service: older
// guesses are dropped rather than fetched late.
constexpr std::size_t kMaxWaiting = 16;
}  // namespace

ReadAhead::ReadAhead(unsigned threads) {
  for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Work(); });
}

ReadAhead::~ReadAhead() { Stop(); }

void ReadAhead::Schedule(std::shared_ptr<RemoteFile> file, std::uint64_t index) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_) return;
    jobs_.emplace_back(std::move(file), index);
    while (jobs_.size() > kMaxWaiting) jobs_.pop_front();
  }
  wake_.notify_one();
}

void ReadAhead::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    jobs_.clear();
  }
  wake_.notify_all();
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
  threads_.clear();
}

void ReadAhead::Work() {
  for (;;) {
    std::pair<std::shared_ptr<RemoteFile>, std::uint64_t> job;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    if (job.first->Has(job.second)) continue;
    RemoteFile::Block block;
    // A failure is the reader's to meet and report when it gets there.
    (void)job.first->FetchBlock(job.second, block);
  }
}

}  // namespace korvex::mount
