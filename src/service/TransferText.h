//===- service/TransferText.h - Pieces of file data requests ----*- C++ -*-===//
///
/// What the block and stream requests share: the transfer token an item
/// carries, the "random" value against caches, and the range headers.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "store/ObjectInfo.h"

#include <cstdint>
#include <string>

namespace korvex {

/// The transfer token in the item's `extraTag` (a std::string), or null
/// (logged) when the item carries none.
[[nodiscard]] const std::string* TransferToken(const ItemInfo& item);

/// A fresh value from 0 to 32767 for each request, so that no cache in
/// between answers a data request from an earlier one.
[[nodiscard]] int RandomValue();

[[nodiscard]] constexpr std::uint64_t JoinOffset(std::uint32_t low, std::uint32_t high) noexcept {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

/// "range:bytes=first-end\r\nx-korvex-range:bytes=first-end". Uploads give
/// an exclusive end, downloads an inclusive one.
[[nodiscard]] std::string BlockRangeHeaders(std::uint64_t first, std::uint64_t end);

/// The block range headers with `outerEnd`, then the chunk's own inclusive
/// range ("x-korvexws-idt-chunk-range:bytes=first-chunkEnd"), the stream id
/// as it is and the sequence in decimal.
[[nodiscard]] std::string ChunkHeaders(std::uint64_t first, std::uint64_t outerEnd, std::uint64_t chunkEnd,
                                       const std::string& streamId, std::uint32_t sequence);

}  // namespace korvex
