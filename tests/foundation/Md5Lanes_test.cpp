// The digests made side by side against OpenSSL's, at every length class
// around a block and with the two states out of step.
#include "foundation/Md5Lanes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace korvex {
namespace {

std::vector<std::uint8_t> Bytes(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  std::uint32_t x = 2463534242u;
  for (auto& byte : bytes) {
    x ^= x << 13, x ^= x >> 17, x ^= x << 5;
    byte = static_cast<std::uint8_t>(x);
  }
  return bytes;
}

Md5::Digest Reference(const std::uint8_t* data, std::size_t size) {
  Md5::Digest digest{};
  EXPECT_EQ(Md5::Of(data, size, digest), S_OK);
  return digest;
}

TEST(Md5Lanes, DigestsMatchOpenSslAloneAndSideBySide) {
  const std::vector<std::uint8_t> data = Bytes((std::size_t{1} << 20) + 77);
  for (const std::size_t size : {0, 1, 55, 56, 63, 64, 65, 119, 120, 128, 1000, (1 << 20), (1 << 20) + 77}) {
    SCOPED_TRACE(size);
    const Md5::Digest expected = Reference(data.data(), size);
    Md5State split;
    Md5Update(split, data.data(), size / 3);
    Md5Update(split, data.data() + size / 3, size - size / 3);
    EXPECT_EQ(Md5Final(split), expected);
    Md5State first, second;
    Md5UpdateBoth(first, second, data.data(), size);
    EXPECT_EQ(Md5Final(first), expected);
    EXPECT_EQ(Md5Final(second), expected);
  }
}

// As an upload uses them: two groups of different bytes side by side.
TEST(Md5Lanes, TwoDifferentInputsSideBySide) {
  const std::vector<std::uint8_t> data = Bytes(2 * 4160 + 7);
  for (const std::size_t size : {0, 63, 64, 4160}) {
    SCOPED_TRACE(size);
    Md5State first, second;
    Md5UpdateTwo(first, data.data(), second, data.data() + 4167, size);
    EXPECT_EQ(Md5Final(first), Reference(data.data(), size));
    EXPECT_EQ(Md5Final(second), Reference(data.data() + 4167, size));
  }
}

// As a download uses them: a fresh digest per group beside the file's
// digest, which carries on over every group; the last group is short, and
// one state is sometimes off a block boundary.
TEST(Md5Lanes, AFileDigestCarriedBesideGroupDigests) {
  const std::vector<std::uint8_t> data = Bytes(5 * 4096 + 100);
  for (const std::size_t lead : {0, 64, 5}) {
    SCOPED_TRACE(lead);
    Md5State file;
    Md5Update(file, data.data(), lead);
    for (std::size_t at = lead; at < data.size(); at += 4096) {
      const std::size_t size = std::min<std::size_t>(4096, data.size() - at);
      Md5State group;
      Md5UpdateBoth(group, file, data.data() + at, size);
      EXPECT_EQ(Md5Final(group), Reference(data.data() + at, size));
      EXPECT_EQ(Md5Final(file), Reference(data.data(), at + size)) << "final must leave the state as it was";
    }
  }
}

}  // namespace
}  // namespace korvex
