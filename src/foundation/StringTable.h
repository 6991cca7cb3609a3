//===- foundation/StringTable.h - User-interface texts ----------*- C++ -*-===//
///
/// Every text the user sees exists in English and Simplified Chinese under
/// one id; the language chosen at start-up picks the table. Ids that the
/// service protocol or stored data already fix (the privilege labels, the
/// login hints) keep their numbers; the others are named below.
///
/// Texts with "%1%" placeholders are boost::format templates; texts with
/// "%s" or "%08X" are printf templates (boost::format accepts both).
///
//===----------------------------------------------------------------------===//
#pragma once

#include "foundation/Language.h"

#include <cstdint>
#include <span>
#include <string_view>

namespace korvex {

enum StringId : unsigned {
  // Labels of a shared folder's rights, shown behind its name.
  kIdsPrivilegeUpload = 560,
  kIdsPrivilegeDownload = 561,
  kIdsPrivilegeUploadDownload = 562,
  kIdsPrivilegeAdministrator = 563,
  kIdsPrivilegeNull = 2376,

  // Login; 613 and 614 take the service's domain name as "%1%".
  kIdsLoginNoHttpsPrefix = 613,
  kIdsLoginDomainRequired = 614,
  kIdsLoginUserMissing = 620,
  kIdsLoginNoService = 621,
  kIdsLoginServiceExpired = 622,
  kIdsLoginNotActivated = 623,
  kIdsLoginFailed = 624,
  kIdsLoginDomainHint = 625,
  kIdsLoginAccessCodeHint = 626,
  kIdsLoginNameTooLong = 627,
  kIdsLoginNoSession = 628,
  kIdsLoginNameRequired = 629,
  kIdsLoginCodeRequired = 630,

  // Root names of the panes.
  kIdsRootMyCloud = 700,
  kIdsRootDesktop = 701,
  kIdsRootVezoSpace = 702,
  kIdsRootMyBackup = 703,
  kIdsRootMyFolder = 704,
  kIdsRootShareForMe = 705,
  kIdsRootMyUploading = 706,
  kIdsRootMyDisk = 707,

  // Options and exit.
  kIdsLanguageSettingTitle = 720,
  kIdsLanguageChanged = 721,
  kIdsLanguageChinese = 722,
  kIdsLanguageEnglish = 723,
  kIdsExitConfirm = 724,
  kIdsSetDefaultPassword = 725,
  kIdsAutoRunFailed = 726,
  // Settings: "%1%" is the hive file, "%2%" where its text was kept.
  kIdsSettingsSetAside = 729,

  // Self-update.
  kIdsUpdateChecking = 740,
  kIdsUpdateFound = 741,
  kIdsUpdateSucceeded = 742,
  kIdsUpdateFailedCode = 743,
  kIdsUpdateFailedPrivilege = 744,
  kIdsUpdateTitle = 745,
};

struct UiStringEntry {
  unsigned id;
  std::string_view english;
  std::string_view chinese;
};

/// The text of `id` in the current language (English while unset); empty
/// for an unknown id.
[[nodiscard]] std::string_view UiString(unsigned id) noexcept;

/// The text of `id` in `language` (English for kLanguageUnset).
[[nodiscard]] std::string_view UiString(unsigned id, LanguageId language) noexcept;

/// The whole table in ascending id order.
[[nodiscard]] std::span<const UiStringEntry> UiStringEntries() noexcept;

/// The label of a shared folder's rights mask: administrator for 0xFFFF and
/// 0xFBFB, then upload/download, upload, download by their bits, else the
/// "no permission state" text.
[[nodiscard]] unsigned PrivilegeLabelId(std::uint32_t privilege) noexcept;

}  // namespace korvex
