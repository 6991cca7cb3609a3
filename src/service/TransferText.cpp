//===- service/TransferText.cpp - Pieces of file data requests ---------===//

#include "service/TransferText.h"

#include "foundation/LogMgr.h"

#include <charconv>
#include <random>
#include <string_view>

namespace korvex {

const std::string* TransferToken(const ItemInfo& item) {
  const auto* token = boost::any_cast<std::string>(&item.extraTag);
  if (!token) LogMgr::Get().Warn("KorvexDataStoreRemote", "No transfer token for %s", item.uri.c_str());
  return token;
}

int RandomValue() {
  thread_local std::minstd_rand generator{std::random_device{}()};
  return std::uniform_int_distribution<int>(0, 32767)(generator);
}

namespace {

void AppendNumber(std::string& out, std::uint64_t value) {
  char digits[20];
  const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, end);
}

void AppendRange(std::string& out, std::string_view name, std::uint64_t first, std::uint64_t last) {
  out += name;
  out += ":bytes=";
  AppendNumber(out, first);
  out += '-';
  AppendNumber(out, last);
}

/// The outer range, which block and chunk requests both carry twice.
std::string OuterRanges(std::uint64_t first, std::uint64_t end, std::size_t room) {
  std::string headers;
  headers.reserve(room);
  AppendRange(headers, "range", first, end);
  headers += "\r\n";
  AppendRange(headers, "x-korvex-range", first, end);
  return headers;
}

}  // namespace

std::string BlockRangeHeaders(std::uint64_t first, std::uint64_t end) { return OuterRanges(first, end, 96); }

// Built for every 32 KiB chunk: by hand, since a formatter costs dozens of
// allocations per call on the thread that keeps the chunks coming.
std::string ChunkHeaders(std::uint64_t first, std::uint64_t outerEnd, std::uint64_t chunkEnd,
                         const std::string& streamId, std::uint32_t sequence) {
  std::string headers = OuterRanges(first, outerEnd, 224 + streamId.size());
  headers += "\r\n";
  AppendRange(headers, "x-korvexws-idt-chunk-range", first, chunkEnd);
  headers += "\r\nx-korvexws-idt-stream-id:";
  headers += streamId;
  headers += "\r\nx-korvexws-idt-chunk-sequence:";
  AppendNumber(headers, sequence);
  return headers;
}

}  // namespace korvex
