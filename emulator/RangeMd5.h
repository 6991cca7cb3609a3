// MD5 of a file's bytes fed in order, from the file itself: a whole range at
// once, or a stream's bytes a piece at a time as they arrive.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

struct evp_md_ctx_st;

namespace korvexd {

class RangeMd5 {
 public:
  /// Starts hashing at byte `next` of the file.
  explicit RangeMd5(std::uint64_t next = 0);
  ~RangeMd5();
  RangeMd5(const RangeMd5&) = delete;
  RangeMd5& operator=(const RangeMd5&) = delete;

  /// Hashes the bytes from where the last feed ended up to `end`, or to
  /// the end of a shorter file (Next() tells); false when the file cannot
  /// be opened or read.
  [[nodiscard]] bool FeedTo(const std::filesystem::path& path, std::uint64_t end);
  /// Where the next byte to hash lies.
  std::uint64_t Next() const { return next_; }
  /// Upper-case hex of everything fed; ends the hashing.
  std::string Finish();

 private:
  evp_md_ctx_st* ctx_;
  std::uint64_t next_;
};

}  // namespace korvexd
