//===- foundation/Md5Lanes.cpp - Two MD5 digests of the same bytes at once ===//

#include "foundation/Md5Lanes.h"

#include <algorithm>
#include <cstring>

namespace korvex {
namespace {

constexpr std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};
constexpr int kShift[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

constexpr std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

std::uint32_t Word(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

// One step of lane `x` (registers a##x .. d##x): round function `f`, message
// word `g`, step `i`.
#define KORVEX_MD5_STEP(x, f, g, i)                                                              \
  {                                                                                              \
    const std::uint32_t next = b##x + Rotl(a##x + f(b##x, c##x, d##x) + kSine[i] + m##x[g], kShift[(i) / 16][(i) % 4]); \
    a##x = d##x, d##x = c##x, c##x = b##x, b##x = next;                                            \
  }

constexpr std::uint32_t F0(std::uint32_t b, std::uint32_t c, std::uint32_t d) { return (b & c) | (~b & d); }
constexpr std::uint32_t F1(std::uint32_t b, std::uint32_t c, std::uint32_t d) { return (d & b) | (~d & c); }
constexpr std::uint32_t F2(std::uint32_t b, std::uint32_t c, std::uint32_t d) { return b ^ c ^ d; }
constexpr std::uint32_t F3(std::uint32_t b, std::uint32_t c, std::uint32_t d) { return c ^ (b | ~d); }

constexpr int Message(int i) {
  return i < 16 ? i : i < 32 ? (5 * i + 1) % 16 : i < 48 ? (3 * i + 5) % 16 : (7 * i) % 16;
}

// `blocks` 64-byte blocks of `data` into `first`, and with `Two` as many of
// `other` into `second`, their chains interleaved.
template <bool Two>
void Compress(Md5State& first, const std::uint8_t* data, Md5State* second, const std::uint8_t* other,
              std::size_t blocks) {
  for (; blocks > 0; --blocks, data += 64, other += Two ? 64 : 0) {
    std::uint32_t m0[16], m1[16];
    for (int i = 0; i < 16; ++i) m0[i] = Word(data + 4 * i);
    if constexpr (Two) {
      for (int i = 0; i < 16; ++i) m1[i] = Word(other + 4 * i);
    }
    std::uint32_t a0 = first.h[0], b0 = first.h[1], c0 = first.h[2], d0 = first.h[3];
    std::uint32_t a1 = 0, b1 = 0, c1 = 0, d1 = 0;
    if constexpr (Two) a1 = second->h[0], b1 = second->h[1], c1 = second->h[2], d1 = second->h[3];
#pragma GCC unroll 16
    for (int i = 0; i < 16; ++i) {
      KORVEX_MD5_STEP(0, F0, i, i);
      if constexpr (Two) KORVEX_MD5_STEP(1, F0, i, i);
    }
#pragma GCC unroll 16
    for (int i = 16; i < 32; ++i) {
      KORVEX_MD5_STEP(0, F1, Message(i), i);
      if constexpr (Two) KORVEX_MD5_STEP(1, F1, Message(i), i);
    }
#pragma GCC unroll 16
    for (int i = 32; i < 48; ++i) {
      KORVEX_MD5_STEP(0, F2, Message(i), i);
      if constexpr (Two) KORVEX_MD5_STEP(1, F2, Message(i), i);
    }
#pragma GCC unroll 16
    for (int i = 48; i < 64; ++i) {
      KORVEX_MD5_STEP(0, F3, Message(i), i);
      if constexpr (Two) KORVEX_MD5_STEP(1, F3, Message(i), i);
    }
    first.h[0] += a0, first.h[1] += b0, first.h[2] += c0, first.h[3] += d0;
    if constexpr (Two) second->h[0] += a1, second->h[1] += b1, second->h[2] += c1, second->h[3] += d1;
  }
}

#undef KORVEX_MD5_STEP

}  // namespace

void Md5Update(Md5State& state, const void* data, std::size_t size) {
  auto bytes = static_cast<const std::uint8_t*>(data);
  auto held = static_cast<std::size_t>(state.length % 64);
  state.length += size;
  if (held != 0) {
    const std::size_t taken = std::min(size, 64 - held);
    std::memcpy(state.pending + held, bytes, taken);
    bytes += taken, size -= taken, held += taken;
    if (held < 64) return;
    Compress<false>(state, state.pending, nullptr, nullptr, 1);
  }
  Compress<false>(state, bytes, nullptr, nullptr, size / 64);
  std::memcpy(state.pending, bytes + size / 64 * 64, size % 64);
}

void Md5UpdateTwo(Md5State& first, const void* firstData, Md5State& second, const void* secondData, std::size_t size) {
  if (first.length % 64 != 0 || second.length % 64 != 0) {
    Md5Update(first, firstData, size);
    Md5Update(second, secondData, size);
    return;
  }
  const auto one = static_cast<const std::uint8_t*>(firstData);
  const auto two = static_cast<const std::uint8_t*>(secondData);
  Compress<true>(first, one, &second, two, size / 64);
  const std::size_t whole = size / 64 * 64;
  first.length += whole, second.length += whole;
  Md5Update(first, one + whole, size - whole);
  Md5Update(second, two + whole, size - whole);
}

void Md5UpdateBoth(Md5State& first, Md5State& second, const void* data, std::size_t size) {
  Md5UpdateTwo(first, data, second, data, size);
}

Md5::Digest Md5Final(const Md5State& state) {
  Md5State last = state;
  const std::uint64_t bits = state.length * 8;
  std::uint8_t padding[72] = {0x80};
  const std::size_t held = static_cast<std::size_t>(state.length % 64);
  const std::size_t zeros = held < 56 ? 56 - held : 120 - held;
  Md5Update(last, padding, zeros);
  std::uint8_t count[8];
  for (int i = 0; i < 8; ++i) count[i] = static_cast<std::uint8_t>(bits >> (8 * i));
  Md5Update(last, count, 8);
  Md5::Digest digest{};
  for (int i = 0; i < 16; ++i) digest[i] = static_cast<std::uint8_t>(last.h[i / 4] >> (8 * (i % 4)));
  return digest;
}

}  // namespace korvex
