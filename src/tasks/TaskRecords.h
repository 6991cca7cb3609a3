//===- tasks/TaskRecords.h - Byte layouts of the task store files -*- C++ -*-===//
///
/// The family (".tsf") and task (".tsk") files keep unfinished transfers
/// across restarts, and installations of the older client left files in the
/// same layouts, so the byte layouts below are fixed: little-endian integers,
/// fixed text fields of 261 UTF-16LE code units (at most 260 plus a zero).
/// These functions only translate between bytes and plain records; files,
/// folders and live objects are the business of BinaryFileTaskStore.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/HResult.h"

namespace korvex {

/// Code units a text field holds, its terminator included.
inline constexpr std::size_t kStoredTextUnits = 261;
inline constexpr std::size_t kFamilyHeaderSize = 1902;
inline constexpr std::size_t kDirectoryTaskRecordSize = 1610;
/// A directory task record that also tells whether the task made its target
/// folder: the 1610 bytes, then one u32 (1 made, 0 found). Records of the
/// older size load as "found", so a cancel never removes such a folder.
inline constexpr std::size_t kDirectoryTaskRecordSizeWithOrigin = 1614;
inline constexpr std::size_t kFileTaskFixedSize = 2156;
inline constexpr std::size_t kPasswordFieldSize = 256;

/// One end of a task as stored: its address in its store and the back end's
/// 64-bit id (0 for none: the service's ids start at 1, local files have none).
struct StoredObject {
  std::string path;
  std::uint64_t id = 0;
  bool operator==(const StoredObject&) const = default;
};

/// Everything a family file holds. Text is UTF-8 here.
struct FamilyRecord {
  std::uint32_t id = 0;
  std::uint32_t state = 0;
  std::uint32_t canceling = 0;
  HRESULT lastError = S_OK;
  std::uint32_t conflictAnswer = 0;
  /// The word at offset 36: true when the service is the source. Written from
  /// `direction`; read back it decides which store is which.
  bool serviceIsSource = false;
  std::string sourcePath;
  std::string targetPath;
  /// In clear text here; the file holds it encrypted.
  std::array<std::uint8_t, kPasswordFieldSize> password{};
  std::optional<std::uint64_t> totalBytes;
  std::uint64_t doneBytes = 0;
  std::uint64_t createdAt = 0;
  std::uint64_t elapsedTotal = 0;
  std::uint32_t direction = 0;
  /// Service root of the family's private service store; empty for none.
  std::string serviceRoot;
  std::map<std::string, std::string> options;
  bool operator==(const FamilyRecord&) const = default;
};

/// A directory task (type 1) or directory synchronisation task (type 3).
struct DirectoryTaskRecord {
  std::uint32_t familyId = 0;
  std::uint32_t taskId = 0;
  std::uint32_t type = 1;
  StoredObject source;        ///< the source container
  StoredObject targetParent;  ///< the target container's parent
  StoredObject target;        ///< the target container
  std::uint32_t marker = 0;   ///< 0 create the target, 1 expand, 2 synchronise
  /// The task made the target folder (it did not exist before).
  bool createdTarget = false;
  bool operator==(const DirectoryTaskRecord&) const = default;
};

/// A file task (type 2). Crypt mode and header size are not stored: a file
/// task derives them again from its family's password and the ".lock" names.
struct FileTaskRecord {
  std::uint32_t familyId = 0;
  std::uint32_t taskId = 0;
  std::uint64_t fileSize = 0;
  std::uint64_t fileTime = 0;  ///< FILETIME of the last change
  StoredObject source;
  StoredObject targetParent;
  StoredObject target;
  std::uint32_t phase = 0;
  /// The service-side object's transfer token; empty while unknown.
  std::string transferToken;
  std::uint32_t blockCount = 0;
  std::uint32_t blockSize = 32768;
  /// Block n is bit (n mod 32) of word n / 32; ceil(blockCount / 32) words.
  std::vector<std::uint32_t> doneBlocks;
  /// The name a download writes under until it completes (in the target's
  /// folder); empty for uploads. Stored after the bitmap as one more text
  /// field of 261 units, only when not empty, so records without it keep
  /// their old size and older records load with it empty.
  std::string partialName;
  bool operator==(const FileTaskRecord&) const = default;
};

using TaskRecord = std::variant<DirectoryTaskRecord, FileTaskRecord>;

/// The layout version a family file was read from.
enum class FamilyLayout { kVersion0, kVersion1, kVersion2, kVersion3 };

/// Builds the version-3 family file. E_INVALIDARG when a text does not fit
/// its field (cutting a path would resume a transfer at the wrong place).
[[nodiscard]] HRESULT EncodeFamily(const FamilyRecord& record, std::string& bytes);
/// Reads any of the four family layouts. E_FAIL for a file of another size,
/// a wrong magic or header size, an unknown version or a short tail; `layout`
/// (optional) tells which layout it was.
[[nodiscard]] HRESULT DecodeFamily(std::string_view bytes, FamilyRecord& record,
                                   FamilyLayout* layout = nullptr);

/// E_INVALIDARG for a text that does not fit, or a bitmap whose length does
/// not match the block count.
[[nodiscard]] HRESULT EncodeTask(const TaskRecord& record, std::string& bytes);
/// Reads a task file. E_FAIL unless the first word equals the length, the
/// type's layout and length agree, and the bitmap matches the block count;
/// E_NOTIMPL for a type that is not 1, 2 or 3 (left alone by loaders).
[[nodiscard]] HRESULT DecodeTask(std::string_view bytes, TaskRecord& record);

/// Family and task ids of either record.
[[nodiscard]] std::uint32_t FamilyIdOf(const TaskRecord& record) noexcept;
[[nodiscard]] std::uint32_t TaskIdOf(const TaskRecord& record) noexcept;

}  // namespace korvex
