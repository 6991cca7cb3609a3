//===- foundation/Md5.h - MD5 digests over OpenSSL --------------*- C++ -*-===//
///
/// MD5 is what the service checks transfers with and what the encrypted-file
/// format derives its keys and check digests from. It always comes from
/// OpenSSL's EVP interface.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/HResult.h"

namespace korvex {

class Md5 {
 public:
  static constexpr std::size_t kDigestSize = 16;
  using Digest = std::array<std::uint8_t, kDigestSize>;

  /// Starts an empty digest; a failure shows in the first Update or Final.
  Md5();
  ~Md5();
  Md5(const Md5&) = delete;
  Md5& operator=(const Md5&) = delete;

  [[nodiscard]] HRESULT Update(const void* data, std::size_t length);

  /// Completes the digest; the object must not be updated afterwards.
  [[nodiscard]] HRESULT Final(Digest& digest);

  /// One-shot digest of a memory block.
  [[nodiscard]] static HRESULT Of(const void* data, std::size_t length, Digest& digest);

  /// Upper-case hexadecimal, two characters per byte, no separators.
  [[nodiscard]] static std::string ToHex(const Digest& digest);

 private:
  void* ctx_;  // EVP_MD_CTX, kept opaque so that callers need no OpenSSL headers
  bool ready_;
};

}  // namespace korvex
