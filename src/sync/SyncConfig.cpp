#include "sync/SyncConfig.h"

#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>

#include "foundation/LogMgr.h"
#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/SystemError.h"
#include "platform/TextConversion.h"
#include "tasks/BinaryFileTaskStore.h"

namespace korvex {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kServicePathOffset = 522;
constexpr std::size_t kLocalIdOffset = 1048;
constexpr std::size_t kServiceIdOffset = 1056;

void PutU32(std::string& out, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}
void PutU64(std::string& out, std::size_t at, std::uint64_t value) {
  PutU32(out, at, static_cast<std::uint32_t>(value));
  PutU32(out, at + 4, static_cast<std::uint32_t>(value >> 32));
}
std::uint32_t U32At(std::string_view in, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
  return value;
}
std::uint64_t U64At(std::string_view in, std::size_t at) {
  return U32At(in, at) | (std::uint64_t{U32At(in, at + 4)} << 32);
}

void PutPath(std::string& out, std::size_t at, std::string_view path) {
  std::u16string units = Utf8ToUtf16(path);
  if (units.size() >= kSyncPathUnits) units.resize(kSyncPathUnits - 1);
  for (std::size_t i = 0; i < units.size(); ++i) {
    out[at + 2 * i] = static_cast<char>(units[i] & 0xFF);
    out[at + 2 * i + 1] = static_cast<char>(units[i] >> 8);
  }
}
std::string PathAt(std::string_view in, std::size_t at) {
  std::u16string units;
  for (std::size_t i = 0; i < kSyncPathUnits; ++i) {
    const auto unit = static_cast<char16_t>(static_cast<unsigned char>(in[at + 2 * i]) |
                                            (static_cast<unsigned char>(in[at + 2 * i + 1]) << 8));
    if (unit == 0) break;
    units.push_back(unit);
  }
  return Utf16ToUtf8(units);
}

std::string NameOf(std::string_view path) {
  while (path.size() > 1 && path.back() == '/') path.remove_suffix(1);
  const std::size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

}  // namespace

bool SyncSchedule::Matches(const std::tm& now) const noexcept {
  const std::int32_t pattern[5] = {now.tm_min, now.tm_hour, -1, -1, -1};
  const std::int32_t fields[5] = {minute, hour, reserved[0], reserved[1], reserved[2]};
  for (int i = 0; i < 5; ++i) {
    if (fields[i] != -1 && fields[i] != pattern[i]) return false;
  }
  return true;
}

bool IsValidSchedule(const SyncSchedule& s) noexcept {
  if (s.IsUnset()) return true;
  return s.hour >= 0 && s.hour <= 23 && s.minute >= 0 && s.minute <= 59 && s.reserved[0] == -1 &&
         s.reserved[1] == -1 && s.reserved[2] == -1;
}

SyncSchedule SyncSchedule::RandomDaily(std::uint32_t hourRandom, std::uint32_t minuteRandom) noexcept {
  SyncSchedule schedule;
  schedule.hour = static_cast<std::int32_t>(hourRandom % 18);
  if (schedule.hour < 9) schedule.hour += 9;
  schedule.minute = static_cast<std::int32_t>(minuteRandom % 60);
  return schedule;
}

std::string SyncFolder::LocalName() const { return NameOf(localPath); }
std::string SyncFolder::ServiceName() const { return NameOf(servicePath); }

bool FitsSyncPath(std::string_view path) { return Utf8ToUtf16(path).size() < kSyncPathUnits; }

std::string EncodeSyncConfig(const SyncConfig& config) {
  std::string out(kSyncScheduleBytes + config.folders.size() * (kSyncRecordBytes + kSyncBlockBytes), '\0');
  out += config.tail;
  const SyncSchedule& s = config.schedule;
  const std::int32_t schedule[5] = {s.minute, s.hour, s.reserved[0], s.reserved[1], s.reserved[2]};
  for (int i = 0; i < 5; ++i) PutU32(out, 4 * i, static_cast<std::uint32_t>(schedule[i]));
  std::size_t at = kSyncScheduleBytes;
  for (const SyncFolder& folder : config.folders) {
    PutPath(out, at, folder.localPath);
    PutPath(out, at + kServicePathOffset, folder.servicePath);
    PutU64(out, at + kLocalIdOffset, folder.localId);
    PutU64(out, at + kServiceIdOffset, folder.serviceId);
    at += kSyncRecordBytes;
    PutU32(out, at, static_cast<std::uint32_t>(folder.paused));
    PutU32(out, at + 4, static_cast<std::uint32_t>(folder.pausedCompanion));
    PutU64(out, at + 8, folder.lastRun);
    PutU32(out, at + 16, static_cast<std::uint32_t>(folder.reserved));
    at += kSyncBlockBytes;
  }
  return out;
}

SyncConfig DecodeSyncConfig(std::string_view bytes) {
  SyncConfig config;
  if (bytes.size() < kSyncScheduleBytes) return config;
  SyncSchedule& s = config.schedule;
  std::int32_t* fields[5] = {&s.minute, &s.hour, &s.reserved[0], &s.reserved[1], &s.reserved[2]};
  for (int i = 0; i < 5; ++i) *fields[i] = static_cast<std::int32_t>(U32At(bytes, 4 * i));
  if (!IsValidSchedule(s)) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "the daily time in sync.cfg (hour %d, minute %d, spare %d %d %d) is not a time of day; "
                  "read as not chosen",
                  s.hour, s.minute, s.reserved[0], s.reserved[1], s.reserved[2]);
    config.problem = text;
    s = SyncSchedule{};
  }
  std::size_t at = kSyncScheduleBytes;
  for (; bytes.size() - at >= kSyncRecordBytes + kSyncBlockBytes; at += kSyncRecordBytes + kSyncBlockBytes) {
    SyncFolder folder;
    folder.localPath = PathAt(bytes, at);
    folder.servicePath = PathAt(bytes, at + kServicePathOffset);
    folder.localId = U64At(bytes, at + kLocalIdOffset);
    folder.serviceId = U64At(bytes, at + kServiceIdOffset);
    const std::size_t block = at + kSyncRecordBytes;
    folder.paused = static_cast<std::int32_t>(U32At(bytes, block));
    folder.pausedCompanion = static_cast<std::int32_t>(U32At(bytes, block + 4));
    folder.lastRun = U64At(bytes, block + 8);
    folder.reserved = static_cast<std::int32_t>(U32At(bytes, block + 16));
    config.folders.push_back(std::move(folder));
  }
  config.tail = std::string(bytes.substr(at));
  return config;
}

std::filesystem::path SyncConfigPath(std::string_view account) {
  return paths::AppDataDir() / "KorvexDataSMB" / BinaryFileTaskStore::FolderNameForAccount(account) / "sync.cfg";
}

std::string ExpandLocalPath(std::string_view path) {
  std::string expanded(path);
  if (path == "~" || path.starts_with("~/")) expanded = paths::HomeDir().string() + std::string(path.substr(1));
  while (expanded.size() > 1 && expanded.back() == '/') expanded.pop_back();
  return expanded;
}

SyncConfig LoadSyncConfig(const std::filesystem::path& path, std::vector<SyncFolder>* absent) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  SyncConfig config = DecodeSyncConfig(bytes);
  std::erase_if(config.folders, [absent](const SyncFolder& folder) {
    std::error_code ec;
    if (fs::is_directory(ExpandLocalPath(folder.localPath), ec)) return false;
    if (absent != nullptr) absent->push_back(folder);
    return true;
  });
  return config;
}

HRESULT SaveSyncConfig(const std::filesystem::path& path, const SyncConfig& config) {
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec) {
    const HRESULT hr = HResultFromErrno(ec.value());
    LogMgr::Get().Error("SyncService", "SHPathPrepareForWrite %s error 0x%08X", path.parent_path().c_str(),
                        static_cast<std::uint32_t>(hr));
    return hr;
  }
  const HRESULT hr = WriteFileAtomically(path, EncodeSyncConfig(config));
  if (Failed(hr))
    LogMgr::Get().Error("BinaryFileTaskStore", "CreateFile %s error %d", path.c_str(), static_cast<int>(hr & 0xFFFF));
  return hr;
}

}  // namespace korvex
