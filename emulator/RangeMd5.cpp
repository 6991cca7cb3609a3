// MD5 of a file's bytes fed in order.
#include "RangeMd5.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "Wire.h"

namespace korvexd {

RangeMd5::RangeMd5(std::uint64_t next) : ctx_(EVP_MD_CTX_new()), next_(next) {
  EVP_DigestInit_ex(ctx_, EVP_md5(), nullptr);
}

RangeMd5::~RangeMd5() { EVP_MD_CTX_free(ctx_); }

bool RangeMd5::FeedTo(const std::filesystem::path& path, std::uint64_t end) {
  if (end <= next_) return true;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // Large reads: the bytes come from the page cache, and each read is a system call.
  constexpr std::size_t kPiece = 1 << 20;
  thread_local std::vector<char> buffer(kPiece);
  while (next_ < end) {
    std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(end - next_, kPiece));
    ssize_t got = ::pread(fd, buffer.data(), want, static_cast<off_t>(next_));
    if (got <= 0) {
      ::close(fd);
      return got == 0;
    }
    EVP_DigestUpdate(ctx_, buffer.data(), static_cast<std::size_t>(got));
    next_ += static_cast<std::uint64_t>(got);
  }
  ::close(fd);
  return true;
}

std::string RangeMd5::Finish() {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_DigestFinal_ex(ctx_, digest, &size);
  return Hex(digest, size);
}

}  // namespace korvexd
