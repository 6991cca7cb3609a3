// Open transfer streams.
//
// Chunk requests arrive thousands of times a second, so open streams are
// looked up in memory; each stream is also written to the database when it
// opens, so that a client that comes back after a restart of the service can
// still close the streams it had open. A stream ends with its token, and
// sooner when no chunk has moved on it for a while.
//
// A write stream's close answers the MD5 of its range. Hashing the range
// then would hold the client up for the time it takes to read it back, so
// the chunks are hashed as they arrive in order, while later ones are still
// on the wire; the close hashes only what is left, or all of the range when
// bytes arrived out of the stream's order or were written over.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "Database.h"
#include "RangeMd5.h"

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
  /// Remembers that the stream's token was found good while the database
  /// stood at `generation`, in the second `second`.
  void Judged(const std::string& id, std::uint64_t generation, std::int64_t second);
  /// The stream's token was found good at this generation and second.
  bool JudgedAlready(const std::string& id, std::uint64_t generation, std::int64_t second);
  /// Hashes the bytes of a write stream that have arrived in order since
  /// the last call, from its file at `blob`; leaves them to the close when
  /// another request is hashing the stream already.
  void HashArrived(const std::string& id, const std::filesystem::path& blob);
  /// The MD5 of a write stream's whole range when all of it arrived and
  /// nothing wrote over it, hashing what is left; "" otherwise, when the
  /// caller must read and hash the range itself.
  std::string ArrivedMd5(const std::string& id, const std::filesystem::path& blob);
  /// Bytes of the file were written outside the placing of stream chunks,
  /// perhaps over bytes its streams have hashed.
  void Overwritten(std::int64_t fileId);
  void Close(const std::string& id);
  /// Drops every stream of a file (deleted or replaced).
  void DropFile(std::int64_t fileId);
  /// Drops streams opened before openedBefore (Unix seconds) and those idle
  /// in memory for idleSeconds.
  void Expire(std::int64_t openedBefore, std::int64_t idleSeconds);

 private:
  struct RunningMd5 {
    explicit RunningMd5(std::uint64_t first) : md5(first) {}
    std::mutex mutex;  // never held together with the table's
    RangeMd5 md5;
    bool spoiled = false;
  };
  struct Entry {
    StreamInfo info;
    std::vector<bool> received;
    std::chrono::steady_clock::time_point used = std::chrono::steady_clock::now();
    std::shared_ptr<RunningMd5> md5;  // write streams only
    std::uint64_t judgedGeneration = 0;
    std::int64_t judgedSecond = -1;  // none yet
  };
  /// A write stream's running MD5, the end of its bytes that arrived in
  /// order and the end of its range.
  struct Arrival {
    std::shared_ptr<RunningMd5> running;
    std::uint64_t end = 0, rangeEnd = 0;
  };
  Arrival Arrived(const std::string& id);
  Database* db_ = nullptr;
  std::mutex mutex_;
  std::map<std::string, Entry> open_;
};

}  // namespace korvexd
