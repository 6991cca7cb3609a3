//===- foundation/Md5Lanes.h - Two MD5 digests of the same bytes at once -*- C++ -*-===//
///
/// A download checks each 1 MiB group against the service's MD5 of it and
/// the whole file against the MD5 announced for the file, so every byte is
/// hashed twice; an upload hashes each group while the next is read. MD5 is
/// one long chain of dependent steps, which leaves most of a core idle;
/// running two digests side by side (over the same bytes or over two
/// groups) fills it, and both cost little more than one. States are
/// plain values, so a digest can be continued tentatively on a copy and the
/// copy kept only once the bytes are known to be good.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/Md5.h"

namespace korvex {

/// The state of one MD5 digest after `length` bytes.
struct Md5State {
  std::uint32_t h[4] = {0x67452301u, 0xefcdab89u, 0x98badcfeu, 0x10325476u};
  std::uint64_t length = 0;
  std::uint8_t pending[64] = {};  ///< the `length % 64` bytes not hashed yet
};

/// Feeds `size` bytes to `state`.
void Md5Update(Md5State& state, const void* data, std::size_t size);

/// Feeds the same `size` bytes to both states, side by side while both
/// stand at a 64-byte boundary.
void Md5UpdateBoth(Md5State& first, Md5State& second, const void* data, std::size_t size);

/// Feeds `size` bytes of `firstData` to `first` and as many of `secondData`
/// to `second`, side by side while both stand at a 64-byte boundary.
void Md5UpdateTwo(Md5State& first, const void* firstData, Md5State& second, const void* secondData,
                  std::size_t size);

/// The digest of what `state` was fed (the state itself stays as it was).
[[nodiscard]] Md5::Digest Md5Final(const Md5State& state);

}  // namespace korvex
