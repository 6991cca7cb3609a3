//===- service/RequestType.cpp - Kinds of service requests ------------===//

#include "service/RequestType.h"

#include <array>

namespace korvex {

std::string_view RequestTypeName(std::int32_t type) noexcept {
  static constexpr std::array<std::string_view, 41> kNames = {
      "hrtListSubContainersAndItemCount",
      "hrtListSubItems",
      "hrtOpenItem",
      "hrtReadItem",
      "hrtCreateItem",
      "hrtWriteItem",
      "hrtCompleteItem",
      "hrtRenameItem",
      "hrtDeleteItem",
      "INVALID",  // copy
      "hrtMoveItem",
      "hrtCreateContainer",
      "hrtDeleteContainer",
      "hrtRenameContainer",
      "hrtMoveContainer",
      "hrtShareContainer",
      "hrtDelShareContainer",
      "hrtUnShareContainer",
      "hrtGetBuddyList",
      "hrtListSharedBuddy",
      "hrtEditPrivileges",
      "INVALID", "INVALID", "INVALID", "INVALID", "INVALID",  // links
      "INVALID", "INVALID", "INVALID", "INVALID", "INVALID",  // access codes
      "hrtTransferLog",
      "hrtMd5Sum",
      "hrtOpenStream",
      "hrtCloseStream",
      "hrtReadChunk",
      "hrtWriteChunk",
      "hrtCountFiles",
      "hrtGetSpace",
      "hrtGetPicturePreview",
      "hrtGetVideoPreview",
  };
  if (type < 0 || static_cast<std::size_t>(type) >= kNames.size()) return "INVALID";
  return kNames[static_cast<std::size_t>(type)];
}

std::string_view SortKeyName(std::int32_t sortValue) noexcept {
  static constexpr std::array<std::string_view, 10> kKeys = {
      "title",      "titledesc",      "size",     "sizedesc",     "modifytime",
      "modifytimedesc", "filetype", "filetypedesc", "share", "sharedesc",
  };
  if (sortValue < 1 || sortValue > 10) return {};
  return kKeys[static_cast<std::size_t>(sortValue - 1)];
}

}  // namespace korvex
