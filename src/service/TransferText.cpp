//===- service/TransferText.cpp - Pieces of file data requests ---------===//

#include "service/TransferText.h"

#include "foundation/LogMgr.h"
#include "service/RequestText.h"

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

std::string BlockRangeHeaders(std::uint64_t first, std::uint64_t end) {
  return FillTemplate("range:bytes=%1%-%2%\r\nx-korvex-range:bytes=%3%-%4%", first, end, first, end);
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
  out += "\r\n";
}

}  // namespace

// Built for every 32 KiB chunk: by hand, since a formatter costs dozens of
// allocations per call on the thread that keeps the chunks coming.
std::string ChunkHeaders(std::uint64_t first, std::uint64_t outerEnd, std::uint64_t chunkEnd,
                         const std::string& streamId, std::uint32_t sequence) {
  std::string headers;
  headers.reserve(224 + streamId.size());
  AppendRange(headers, "range", first, outerEnd);
  AppendRange(headers, "x-korvex-range", first, outerEnd);
  AppendRange(headers, "x-korvexws-idt-chunk-range", first, chunkEnd);
  headers += "x-korvexws-idt-stream-id:";
  headers += streamId;
  headers += "\r\nx-korvexws-idt-chunk-sequence:";
  AppendNumber(headers, sequence);
  return headers;
}

}  // namespace korvex
