//===- foundation/EncryptedFileFormat.cpp - Layout of ".lock" files -------===//

#include "foundation/EncryptedFileFormat.h"

#include <bit>
#include <cassert>

namespace korvex {

std::optional<EncryptedHeaderInfo> ParseEncryptedHeader(
    const std::array<std::uint8_t, kEncryptedHeaderSize>& bytes) noexcept {
  if (bytes[0] != kEncryptedMagic0 || bytes[1] != kEncryptedMagic1) return std::nullopt;
  const std::uint8_t version = bytes[2];
  if ((version & 0xF0) != 0) return std::nullopt;
  const std::uint8_t kib = bytes[3];
  // 0 passes as a power of two: it encodes the largest size.
  if (kib != 0 && !std::has_single_bit(kib)) return std::nullopt;
  EncryptedHeaderInfo info{};
  info.version = version;
  info.blockSize = kib == 0 ? kLargestEncryptedBlockSize : std::uint32_t{kib} * 1024u;
  info.firstBlockSize = info.blockSize;
  if (version == 2) info.firstBlockSize -= static_cast<std::uint32_t>(kEncryptedPrefixSize);
  return info;
}

bool IsEncodableBlockSize(std::uint32_t blockSize) noexcept {
  if (blockSize == kLargestEncryptedBlockSize) return true;
  if (blockSize % 1024 != 0) return false;
  const std::uint32_t kib = blockSize / 1024;
  return kib >= 1 && kib <= 128 && std::has_single_bit(kib);
}

std::array<std::uint8_t, kEncryptedHeaderSize> MakeEncryptedHeader(
    std::uint32_t blockSize) noexcept {
  assert(IsEncodableBlockSize(blockSize) && "block size has no header encoding");
  const auto kib = static_cast<std::uint8_t>(
      blockSize == kLargestEncryptedBlockSize ? 0 : blockSize / 1024);
  return {kEncryptedMagic0, kEncryptedMagic1, kEncryptedFormatVersion, kib};
}

}  // namespace korvex
