//===- update/FileVersion.cpp - Four-part file versions -------------------===//

#include "update/FileVersion.h"

#include <boost/format.hpp>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fstream>
#include <vector>

#include "platform/SystemError.h"
#include "platform/VersionMarker.h"

namespace korvex {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Longest version text a marker can hold: four five-digit parts and dots.
constexpr std::size_t kMaxVersionText = 4 * 5 + 3;

// The version text right after the prefix at `at`, if it ends in a NUL as
// the compiled-in marker does.
bool VersionAfterPrefix(std::string_view data, std::size_t at, FileVersion& version) {
  const std::size_t start = at + kVersionMarkerPrefix.size();
  const std::size_t end = data.find('\0', start);
  if (end == std::string_view::npos || end - start > kMaxVersionText) return false;
  return ParseVersion(data.substr(start, end - start), version);
}

}  // namespace

bool ParseVersion(std::string_view text, FileVersion& version) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  FileVersion packed = 0;
  const char* p = text.data();
  const char* const end = text.data() + text.size();
  for (int part = 0; part < 4; ++part) {
    if (part > 0) {
      if (p == end || *p != '.') return false;
      ++p;
    }
    unsigned value = 0;
    const auto [next, error] = std::from_chars(p, end, value);
    if (error != std::errc() || next == p || value > 0xFFFFu) return false;
    packed = (packed << 16) | value;
    p = next;
  }
  if (p != end) return false;
  version = packed;
  return true;
}

bool FindVersionMarker(std::string_view data, FileVersion& version) {
  for (std::size_t at = data.find(kVersionMarkerPrefix); at != std::string_view::npos;
       at = data.find(kVersionMarkerPrefix, at + 1)) {
    if (VersionAfterPrefix(data, at, version)) return true;
  }
  return false;
}

std::string FormatVersion(FileVersion version) {
  return (boost::format("%1%.%2%.%3%.%4%") % (version >> 48) % ((version >> 32) & 0xFFFF) %
          ((version >> 16) & 0xFFFF) % (version & 0xFFFF))
      .str();
}

HRESULT QueryFileVersion(const std::filesystem::path& file, FileVersion& version) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return HResultFromErrno(errno != 0 ? errno : ENOENT);
  // Chunks overlap by one marker's length, so a marker cut by a chunk
  // boundary is found whole in the next chunk.
  constexpr std::size_t kChunk = 1 << 20;
  const std::size_t overlap = kVersionMarkerPrefix.size() + kMaxVersionText + 1;
  std::vector<char> buffer(kChunk + overlap);
  std::size_t kept = 0;
  for (;;) {
    in.read(buffer.data() + kept, static_cast<std::streamsize>(kChunk));
    const std::size_t got = static_cast<std::size_t>(in.gcount());
    const std::string_view data(buffer.data(), kept + got);
    if (FindVersionMarker(data, version)) return S_OK;
    if (got < kChunk) break;
    kept = std::min(overlap, data.size());
    std::copy(data.end() - static_cast<std::ptrdiff_t>(kept), data.end(), buffer.begin());
  }
  if (in.bad()) return HResultFromErrno(EIO);
  return E_FAIL;
}

}  // namespace korvex
