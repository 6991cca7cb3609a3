//===- app/CloudMenus.cpp - Which cloud commands a view offers ------------===//

#include "app/CloudMenus.h"

#include <algorithm>
#include <array>

namespace korvex::app {
namespace {

constexpr std::uint32_t kRightDownload = 0x20;
constexpr std::uint32_t kRightUpload = 0x40;

bool Administers(std::uint32_t mask) { return mask == kPrivilegeAll || mask == 0xFBFB; }
bool Reads(std::uint32_t mask) { return Administers(mask) || (mask & kRightDownload) != 0; }
bool Adds(std::uint32_t mask) { return Administers(mask) || (mask & kRightUpload) != 0; }

constexpr std::array kFullMenu{kCmdDownload, kCmdDownloadTo, kCmdPreview,    kCmdDelete,   kCmdRename,
                               kCmdCopy,     kCmdMove,       kCmdCreateLink, kCmdManageLink, kCmdSendLink,
                               kCmdUploadCode, kCmdNewFolder, kCmdPaste,     kCmdShareFolder};
constexpr std::array kBasicMenu{kCmdDownload, kCmdDownloadTo, kCmdDelete,    kCmdRename,
                                kCmdMove,     kCmdUploadCode, kCmdNewFolder, kCmdPaste};

bool Carries(CloudMenu menu, int command) {
  const auto has = [command](const auto& table) {
    return std::find(table.begin(), table.end(), command) != table.end();
  };
  switch (menu) {
    case CloudMenu::kFull: return has(kFullMenu);
    case CloudMenu::kNoUploadCode:
      return command != kCmdUploadCode && command != kCmdShareFolder && has(kFullMenu);
    case CloudMenu::kBasic: return has(kBasicMenu);
    case CloudMenu::kNone: return false;
  }
  return false;
}

}  // namespace

CloudRights RightsIn(const ContainerInfo& viewRoot, const ContainerInfo& here,
                     const std::vector<std::shared_ptr<ObjectInfo>>& entries) {
  CloudRights rights;
  rights.read = Reads(here.privilege);
  rights.add = Adds(here.privilege);
  rights.modify = Administers(here.privilege);
  // Links and codes are made on the owner's files only; the service
  // refuses them on what others share.
  rights.own = viewRoot.kind != kContainerShared && viewRoot.kind != kContainerVezo;
  // The shares view lists each share with its own mask; the share itself
  // is its owner's, so the recipient neither renames nor deletes it.
  const bool shareTops = here.uri == viewRoot.uri && viewRoot.kind == kContainerShared;
  // A selection is judged entry by entry: a folder by its own mask, a file
  // by the folder that holds it.
  if (!entries.empty()) {
    rights.read = rights.modify = true;
    for (const auto& entry : entries) {
      const std::uint32_t mask = entry->kind == kObjectContainer
                                     ? static_cast<const ContainerInfo&>(*entry).privilege
                                     : here.privilege;
      rights.read = rights.read && Reads(mask);
      rights.modify = rights.modify && Administers(mask) && !shareTops;
    }
  }
  return rights;
}

bool Offers(CloudMenu menu, const CloudRights& rights, int command) {
  if (command == kCmdUpload) return rights.add;
  if (!Carries(menu, command)) return false;
  switch (command) {
    case kCmdDownload:
    case kCmdDownloadTo:
    case kCmdPreview:
    case kCmdCopy: return rights.read;
    case kCmdDelete:
    case kCmdRename:
    case kCmdMove: return rights.modify;
    case kCmdNewFolder:
    case kCmdPaste: return rights.add;
    case kCmdCreateLink:
    case kCmdManageLink:
    case kCmdSendLink: return rights.own && rights.read;
    case kCmdUploadCode:
    case kCmdShareFolder: return rights.own && rights.modify;
  }
  return false;
}

}  // namespace korvex::app
