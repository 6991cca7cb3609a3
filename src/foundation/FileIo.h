//===- foundation/FileIo.h - Whole reads and all-or-nothing writes -*- C++ -*-===//
///
/// Decryption and encryption of whole files must never leave a half-written
/// result where the user expects a file: output goes to a hidden sibling of
/// the target and only a complete, flushed file is renamed over it. Reads are
/// "fill the buffer unless the file ends", which plain read(2) does not
/// promise.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

#include "platform/HResult.h"

namespace korvex {

/// A file opened for reading; statuses are 0x8007xxxx from errno.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  /// Opens `path` (a directory is refused with access denied).
  [[nodiscard]] HRESULT Open(const std::filesystem::path& path);

  /// Reads until `length` bytes or the end of the file; `*got` says how many.
  [[nodiscard]] HRESULT Read(void* buffer, std::size_t length, std::size_t* got);

  /// As Read, from `offset` without moving the file position.
  [[nodiscard]] HRESULT ReadAt(std::uint64_t offset, void* buffer, std::size_t length,
                               std::size_t* got);

  /// Moves the file position back to the start.
  [[nodiscard]] HRESULT Rewind();

  /// The file's size in bytes.
  [[nodiscard]] HRESULT Size(std::uint64_t* size) const;

 private:
  int fd_ = -1;
};

/// Writes `target` through a temporary sibling in the same folder. Commit
/// flushes and renames it over the target; destruction without a successful
/// Commit removes the sibling and leaves any earlier target untouched.
class SiblingFileWriter {
 public:
  SiblingFileWriter() = default;
  ~SiblingFileWriter();
  SiblingFileWriter(const SiblingFileWriter&) = delete;
  SiblingFileWriter& operator=(const SiblingFileWriter&) = delete;

  /// Creates the sibling: with the permission bits of an existing target,
  /// else mode 0666 less the umask, like a plain create.
  [[nodiscard]] HRESULT Open(const std::filesystem::path& target);

  [[nodiscard]] HRESULT Write(const void* data, std::size_t length);

  /// Makes the written bytes the content of the target.
  [[nodiscard]] HRESULT Commit();

  /// Removes the sibling; nothing of it stays behind.
  void Discard() noexcept;

  /// The sibling's path while open (tests check that it is gone).
  [[nodiscard]] const std::filesystem::path& TempPath() const noexcept { return temp_; }

 private:
  int fd_ = -1;
  std::filesystem::path target_;
  std::filesystem::path temp_;
};

}  // namespace korvex
