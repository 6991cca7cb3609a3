//===- app/CloudMenus.h - Which cloud commands a view offers ----*- C++ -*-===//
///
/// The cloud pane carries one of three item menus by view (the own disk the
/// full one, the folders shared with the user the one without upload codes,
/// the backup view the short one), and within that menu only the commands
/// that the rights of the folder shown allow: a read-only share offers
/// neither delete nor upload. The rights masks are the service's: 0xFFFF
/// and 0xFBFB administer, bit 0x20 downloads, bit 0x40 uploads.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "store/ObjectInfo.h"

#include <memory>
#include <vector>

namespace korvex::app {

/// Command identifiers of the cloud pane's item menus.
enum CloudCommand : int {
  kCmdNone = 0,
  kCmdUpload = 32799,
  kCmdDownload = 32801,
  kCmdDelete = 32802,
  kCmdRename = 32804,
  kCmdNewFolder = 32805,
  kCmdMove = 32833,
  kCmdPreview = 32835,
  kCmdCopy = 32860,
  kCmdDownloadTo = 32866,
  kCmdCreateLink = 32868,
  kCmdManageLink = 32870,
  kCmdSendLink = 32884,
  kCmdUploadCode = 32901,
  /// Paste goes with copy and move; sharing a folder with the own folders'
  /// commands (the upload codes).
  kCmdPaste = 1,
  kCmdShareFolder = 2,
};

enum class CloudMenu {
  kNone,          ///< the top, the access-code folder: no item commands
  kFull,          ///< the own disk
  kNoUploadCode,  ///< folders of other users
  kBasic,         ///< download, move, delete, rename, upload codes, new folder
};

/// What the user may do in one folder of a view.
struct CloudRights {
  bool read = false;    ///< download, preview, copy from
  bool add = false;     ///< new folders, uploads, paste into
  bool modify = false;  ///< delete, rename, move away
  bool own = false;     ///< links, upload codes, sharing
};

/// The rights in `here` (a folder of the view rooted at `viewRoot`) over
/// the selected `entries`: a selected folder carries its own mask, and
/// the tops of other users' shares are never the recipient's to modify.
[[nodiscard]] CloudRights RightsIn(const ContainerInfo& viewRoot, const ContainerInfo& here,
                                   const std::vector<std::shared_ptr<ObjectInfo>>& entries);

/// Whether `menu` carries `command` and `rights` allow it. Upload is no
/// item command: any folder with the right to add takes it.
[[nodiscard]] bool Offers(CloudMenu menu, const CloudRights& rights, int command);

}  // namespace korvex::app
