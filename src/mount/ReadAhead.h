//===- mount/ReadAhead.h - Fetching blocks before they are read -*- C++ -*-===//
///
/// A sequential reader (a copy, a video player) asks for one block after
/// another; fetching the next ones meanwhile keeps the line to the service
/// busy while the reader works. Jobs run on a few threads of their own; a
/// job whose block is already there or on its way costs nothing. Stop()
/// drops waiting jobs and joins the threads before the stores go away.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "mount/RemoteFile.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace korvex::mount {

class ReadAhead {
 public:
  explicit ReadAhead(unsigned threads = 2);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  /// Queues fetching `index` of `file`; ignored once stopped.
  void Schedule(std::shared_ptr<RemoteFile> file, std::uint64_t index);
  /// Drops waiting jobs, waits for the running ones, ends the threads.
  void Stop();

 private:
  void Work();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::pair<std::shared_ptr<RemoteFile>, std::uint64_t>> jobs_;
  bool stopping_ = false;
  std::vector<std::thread> threads_;
};

}  // namespace korvex::mount
