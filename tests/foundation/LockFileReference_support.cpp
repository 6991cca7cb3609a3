#include "foundation/LockFileReference.h"

#include <openssl/evp.h>

#include <algorithm>
#include <utility>

namespace korvex::reference {

Digest Md5(const void* data, std::size_t length) {
  Digest digest{};
  EVP_Digest(length ? data : "", length, digest.data(), nullptr, EVP_md5(), nullptr);
  return digest;
}

Digest Md5(std::string_view text) { return Md5(text.data(), text.size()); }

std::string Hex(const Digest& digest) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string text;
  for (std::uint8_t b : digest) text += {kDigits[b >> 4], kDigits[b & 15]};
  return text;
}

Bytes Rc4(const Digest& key, const Bytes& data) {
  std::uint8_t s[256];
  for (int i = 0; i < 256; ++i) s[i] = static_cast<std::uint8_t>(i);
  int j = 0;
  for (int i = 0; i < 256; ++i) {
    j = (j + s[i] + key[i % key.size()]) % 256;
    std::swap(s[i], s[j]);
  }
  Bytes out(data.size());
  int i = 0;
  j = 0;
  for (std::size_t n = 0; n < data.size(); ++n) {
    i = (i + 1) % 256;
    j = (j + s[i]) % 256;
    std::swap(s[i], s[j]);
    out[n] = data[n] ^ s[(s[i] + s[j]) % 256];
  }
  return out;
}

Digest CheckDigest(const Bytes& plain) {
  Bytes encrypted = Rc4(Md5(kCheckKey), plain);
  if (encrypted.size() < 16) encrypted.resize(16, 0);
  return Md5(encrypted.data(), encrypted.size());
}

Bytes Encode(const Bytes& plain, std::string_view password, std::uint32_t blockSize, bool header) {
  const Digest key = Md5(password);
  const std::size_t first = header ? blockSize - 20 : blockSize;
  const Bytes firstPlain(plain.begin(), plain.begin() + std::min(first, plain.size()));
  Bytes file;
  if (header) {
    const auto kib = static_cast<std::uint8_t>(blockSize == 262144 ? 0 : blockSize / 1024);
    file = {0xEE, 0xDD, 0x02, kib};
  }
  const Digest digest = CheckDigest(firstPlain);
  file.insert(file.end(), digest.begin(), digest.end());
  for (std::size_t at = 0, block = 0; at < plain.size(); ++block) {
    const std::size_t take = std::min<std::size_t>(block == 0 ? first : blockSize, plain.size() - at);
    const Bytes piece = Rc4(key, Bytes(plain.begin() + at, plain.begin() + at + take));
    file.insert(file.end(), piece.begin(), piece.end());
    at += take;
  }
  return file;
}

Bytes Pattern(std::size_t size, std::uint32_t seed) {
  Bytes out(size);
  std::uint32_t x = seed * 2654435761u + 1;
  for (auto& b : out) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    b = static_cast<std::uint8_t>(x);
  }
  return out;
}

}  // namespace korvex::reference
