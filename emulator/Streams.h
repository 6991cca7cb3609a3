// Open transfer streams.
//
// Chunk requests arrive thousands of times a second, so open streams are
// looked up in memory; each stream is also written to the database when it
// opens, so that a client that comes back after a restart of the service can
// still close the streams it had open. A stream ends with its token, and
// sooner when no chunk has moved on it for a while.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Database.h"

namespace korvexd {

struct StreamInfo {
  std::string id;
  std::int64_t fileId = 0;
  std::string token;
  bool write = false;
  std::uint64_t first = 0;  // inclusive byte range of the stream
  std::uint64_t last = 0;
  std::uint32_t chunkSize = 0;

  /// Number of chunks the range holds; valid sequences are below it.
  std::uint64_t ChunkCount() const { return (last - first) / chunkSize + 1; }
};

class StreamTable {
 public:
  void Attach(Database& db) { db_ = &db; }

  /// Registers a stream and returns its new id.
  std::string Open(StreamInfo info);
  std::optional<StreamInfo> Find(const std::string& id);
  /// Records a finished chunk; returns the lowest sequence not yet received.
  std::uint64_t MarkChunk(const std::string& id, std::uint64_t sequence);
  std::uint64_t NextSequence(const std::string& id);
  void Close(const std::string& id);
  /// Drops every stream of a file (deleted or replaced).
  void DropFile(std::int64_t fileId);
  /// Drops streams opened before openedBefore (Unix seconds) and those idle
  /// in memory for idleSeconds.
  void Expire(std::int64_t openedBefore, std::int64_t idleSeconds);

 private:
  struct Entry {
    StreamInfo info;
    std::vector<bool> received;
    std::chrono::steady_clock::time_point used = std::chrono::steady_clock::now();
  };
  Database* db_ = nullptr;
  std::mutex mutex_;
  std::map<std::string, Entry> open_;
};

}  // namespace korvexd
