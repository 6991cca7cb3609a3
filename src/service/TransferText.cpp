//===- service/TransferText.cpp - Pieces of file data requests ---------===//

#include "service/TransferText.h"

#include "foundation/LogMgr.h"
#include "service/RequestText.h"

#include <random>

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

std::string ChunkHeaders(std::uint64_t first, std::uint64_t outerEnd, std::uint64_t chunkEnd,
                         const std::string& streamId, std::uint32_t sequence) {
  return FillTemplate(
      "range:bytes=%1%-%2%\r\nx-korvex-range:bytes=%3%-%4%\r\nx-korvexws-idt-chunk-range:bytes=%5%-%6%\r\n"
      "x-korvexws-idt-stream-id:%7%\r\nx-korvexws-idt-chunk-sequence:%8%",
      first, outerEnd, first, outerEnd, first, chunkEnd, streamId, sequence);
}

}  // namespace korvex
