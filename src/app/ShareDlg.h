//===- app/ShareDlg.h - Sharing one cloud folder with other users -*- C++ -*-===//
///
/// "Share Folder": the account's contacts to pick from (or a name typed in),
/// the rights to grant (administrator, upload and download, upload only,
/// download only), and the folder's present shares, each of which can be
/// given other rights or withdrawn. Every change is sent at once and the
/// list of shares read again, so the dialog always shows what the service
/// holds; a refusal is said inside the dialog.
///
//===----------------------------------------------------------------------===//
#pragma once

#include "platform/HResult.h"
#include "store/DataStore.h"

#include <QDialog>

#include <cstdint>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QTableWidget;

namespace korvex::app {

/// The rights a share grants, as the service's masks.
inline constexpr std::uint32_t kShareAdministrator = 0xFFFF;
inline constexpr std::uint32_t kShareUploadDownload = 0x8E0;
inline constexpr std::uint32_t kShareUpload = 0x8C0;
inline constexpr std::uint32_t kShareDownload = 0x8A0;

class CShareDlg : public QDialog {
  Q_OBJECT
 public:
  /// `store` is the cloud pane's; it must outlive the dialog.
  CShareDlg(DataStore& store, const ContainerInfo& folder, QWidget* parent = nullptr);

  /// Reads the contacts and the folder's shares.
  [[nodiscard]] HRESULT Reload();
  /// Shares with the picked contacts and the typed name, with the chosen rights.
  [[nodiscard]] HRESULT ShareWithChosen();
  /// Gives the selected share the rights chosen in its row.
  [[nodiscard]] HRESULT ChangeSelected();
  /// Withdraws the selected shares.
  [[nodiscard]] HRESULT StopSelected();

  [[nodiscard]] const std::vector<BuddyInfo>& Contacts() const noexcept { return contacts_; }
  [[nodiscard]] const std::vector<BuddyInfoEx>& Shares() const noexcept { return shares_; }
  /// Whether anything was changed on the service.
  [[nodiscard]] bool Changed() const noexcept { return changed_; }

 private:
  [[nodiscard]] HRESULT ReloadShares();
  void ShowShares();
  QComboBox* RightsBox(std::uint32_t privilege, QWidget* parent) const;
  HRESULT Report(HRESULT hr, const QString& what);
  [[nodiscard]] ContainerInfo WithRights(std::uint32_t privilege) const;

  DataStore& store_;
  ContainerInfo folder_;
  std::vector<BuddyInfo> contacts_;
  std::vector<BuddyInfoEx> shares_;
  QListWidget* contactList_;
  QLineEdit* typed_;
  QComboBox* rights_;
  QTableWidget* shareTable_;
  QLabel* problem_;
  bool changed_ = false;
};

}  // namespace korvex::app
