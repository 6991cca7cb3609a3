//===- sync/SyncConfig.h - The backup folder pairs and their schedule -*- C++ -*-===//
///
/// What "sync.cfg" holds: one daily schedule and the list of backup folder
/// pairs. The file is binary, little-endian, and shared with earlier
/// versions of the client, so its layout is fixed to the byte:
///
///   0      20    schedule: five i32 (minute, hour, three fields kept at -1)
///   20     1072  per pair: local path (261 UTF-16 units, NUL-padded),
///                service path (261 units at 522), 4 unused bytes (1044),
///                local id u64 (1048), service id u64 (1056), 8 zero (1064)
///   +1072  20    the pair's block of five i32, right after its record
///
/// The pair's block carries what this client adds to a pair: the paused
/// flag and its companion value, and the FILETIME of the pair's last run.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <array>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/HResult.h"

namespace korvex {

/// The time of day at which the backup runs. A field of -1 matches any
/// value; all -1 means that no time has been chosen yet.
struct SyncSchedule {
  std::int32_t minute = -1;
  std::int32_t hour = -1;
  /// Never compared with the clock; kept as read.
  std::array<std::int32_t, 3> reserved{-1, -1, -1};

  [[nodiscard]] bool IsUnset() const noexcept {
    return std::int64_t{minute} + hour + reserved[0] + reserved[1] + reserved[2] == -5;
  }
  /// Whether the schedule matches the local time `now` (minute and hour).
  [[nodiscard]] bool Matches(const std::tm& now) const noexcept;
  /// The daily time made of two random numbers: hour 9 to 17, any minute.
  [[nodiscard]] static SyncSchedule RandomDaily(std::uint32_t hourRandom, std::uint32_t minuteRandom) noexcept;
  bool operator==(const SyncSchedule&) const = default;
};

/// Unset, or a time of day (00:00 to 23:59) with the spare fields at -1.
[[nodiscard]] bool IsValidSchedule(const SyncSchedule& schedule) noexcept;

/// One backup folder pair.
struct SyncFolder {
  /// A file-system path of a local folder, without a trailing "/".
  std::string localPath;
  /// The service folder's path below the root of the user's own disk
  /// ("/Backup/Docs/"); a store of that disk puts its root's name before it.
  std::string servicePath;
  std::uint64_t localId = 0;
  std::uint64_t serviceId = 0;
  /// Non-zero: the pair is skipped by every run.
  std::int32_t paused = 0;
  /// Set together with `paused`, for older clients that read this one.
  std::int32_t pausedCompanion = 0;
  /// FILETIME at which the pair's last backup run began; 0 for never.
  std::uint64_t lastRun = 0;
  /// The block's fifth value, kept as read.
  std::int32_t reserved = 0;

  [[nodiscard]] std::string LocalName() const;
  [[nodiscard]] std::string ServiceName() const;
  bool operator==(const SyncFolder&) const = default;
};

struct SyncConfig {
  SyncSchedule schedule;
  std::vector<SyncFolder> folders;
  /// Bytes after the last whole pair (what a newer client may have added),
  /// written back unchanged.
  std::string tail;
  /// What was wrong with the file as read, for the user; empty when nothing.
  std::string problem;
};

inline constexpr std::size_t kSyncScheduleBytes = 20;
inline constexpr std::size_t kSyncRecordBytes = 1072;
inline constexpr std::size_t kSyncBlockBytes = 20;
/// Path fields hold 261 UTF-16 units, the last one always NUL.
inline constexpr std::size_t kSyncPathUnits = 261;

/// A path longer than the file's path fields hold (ERROR_FILENAME_EXCED_RANGE).
inline constexpr HRESULT HR_SYNC_PATH_TOO_LONG = HResultFromWin32(206);

/// Whether `path` fits a path field (at most 260 UTF-16 units).
[[nodiscard]] bool FitsSyncPath(std::string_view path);

/// The file's bytes for `config`. Paths that do not fit are cut (callers
/// refuse them before, see FitsSyncPath).
[[nodiscard]] std::string EncodeSyncConfig(const SyncConfig& config);
/// Reads `bytes`: fewer than 20 give the default config; pairs are read
/// until one is cut short. A schedule that is not a time of day (or whose
/// spare fields are not -1, which no clock would ever match) is read as
/// "no time chosen" and said in `problem`. Local folders are not checked
/// here.
[[nodiscard]] SyncConfig DecodeSyncConfig(std::string_view bytes);

/// "<app data>/KorvexDataSMB/<account>/sync.cfg".
[[nodiscard]] std::filesystem::path SyncConfigPath(std::string_view account);
/// Reads the file; pairs whose local folder is gone are dropped from the
/// answer and, when `absent` is given, put there. A missing or unreadable
/// file gives the default config.
[[nodiscard]] SyncConfig LoadSyncConfig(const std::filesystem::path& path, std::vector<SyncFolder>* absent = nullptr);
/// Replaces the file atomically, creating its folder; failures are logged.
[[nodiscard]] HRESULT SaveSyncConfig(const std::filesystem::path& path, const SyncConfig& config);

/// `path` with a leading "~" made the home folder, and without trailing "/"
/// (except for "/" itself).
[[nodiscard]] std::string ExpandLocalPath(std::string_view path);

}  // namespace korvex
