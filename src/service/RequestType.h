//===- service/RequestType.h - Kinds of service requests ---------*- C++ -*-===//
///
/// Every request the service back end sends carries one of these types in
/// its context; the completion routine dispatches on it and failure logs
/// print its name. The numbers never leave the process.
///
//===----------------------------------------------------------------------===//
#pragma once

#include <cstdint>
#include <string_view>

namespace korvex {

enum RequestType : std::int32_t {
  hrtListSubContainersAndItemCount = 0,
  hrtListSubItems = 1,
  hrtOpenItem = 2,
  hrtReadItem = 3,
  hrtCreateItem = 4,
  hrtWriteItem = 5,
  hrtCompleteItem = 6,
  hrtRenameItem = 7,
  hrtDeleteItem = 8,
  hrtCopyItem = 9,
  hrtMoveItem = 10,
  hrtCreateContainer = 11,
  hrtDeleteContainer = 12,
  hrtRenameContainer = 13,
  hrtMoveContainer = 14,
  hrtShareContainer = 15,
  hrtDelShareContainer = 16,
  hrtUnShareContainer = 17,
  hrtGetBuddyList = 18,
  hrtListSharedBuddy = 19,
  hrtEditPrivileges = 20,
  hrtCreateLink = 21,
  hrtGetLink = 22,
  hrtSendLink = 23,
  hrtRemoveLink = 24,
  hrtChangeLink = 25,
  hrtListAccessCodes = 26,
  hrtCreateAccessCode = 27,
  hrtDeleteAccessCodes = 28,
  hrtEditAccessCode = 29,
  hrtSendAccessCode = 30,
  hrtTransferLog = 31,
  hrtMd5Sum = 32,
  hrtOpenStream = 33,
  hrtCloseStream = 34,
  hrtReadChunk = 35,
  hrtWriteChunk = 36,
  // What the windows show besides the files: not store operations, but
  // answered by the same completion routine.
  hrtCountFiles = 37,
  hrtGetSpace = 38,
  hrtGetPicturePreview = 39,
  hrtGetVideoPreview = 40,
};

/// The name failure logs print for `type`. Copying a file and the link and
/// access-code requests have no name of their own in the logs and print
/// "INVALID", as does any value outside the table.
[[nodiscard]] std::string_view RequestTypeName(std::int32_t type) noexcept;

/// The sort key of the file listing for the caller's sort value 1..10
/// ("title", "titledesc", "size", ...); empty for any other value.
[[nodiscard]] std::string_view SortKeyName(std::int32_t sortValue) noexcept;

}  // namespace korvex
